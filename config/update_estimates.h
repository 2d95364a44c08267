// The estimates of an update: how many files it will download, how long
// that takes and how large the e-books will be, and what the window shows
// of them.
//
// Over all eNews, at a given time:
// - files: for each eNews with at least one due item, its file-count plus
//   the file-count of each due item; the total is the progress bar's range;
// - time: each such eNews adds files x time-per-file milliseconds;
// - size: each eNews adds file-size x s / b bytes (b > 0), else
//   file-size x s / n (n > 0), else nothing, with n its items, s the
//   selected ones and b those selected in the last build.
// Everything is counted in 64 bits, so no eNews can make a figure wrap.
//
// EstimateDisplay keeps what was shown last, so that a text is handed to the
// observer only when it changed, and counts the update's progress: each
// downloaded file advances the bar by one and takes its eNews's
// time-per-file off the remaining time (never below 0).
//
// compute_estimates reads the list: call it under the list lock. The
// display is thread-safe (one lock over its fields); its observer calls are
// made on the caller's thread.
#ifndef WAYFETCH_CONFIG_UPDATE_ESTIMATES_H
#define WAYFETCH_CONFIG_UPDATE_ESTIMATES_H

#include <cstdint>
#include <string>

#include "config/update_observer.h"
#include "config/wayfetch_configuration.h"
#include "platform/thread_annotations.h"
#include "web/timestamp.h"

namespace wayfetch {

struct EstimateFigures {
  int64_t files = 0;
  int64_t time_ms = 0;
  int64_t size_bytes = 0;
  bool anything_due = false;
};

// The figures of one eNews, and of the whole list, at `now`.
EstimateFigures enews_estimates(const ENews& enews, Timestamp now);
EstimateFigures compute_estimates(const WayfetchConfiguration& config, Timestamp now);

// Minutes and seconds, the seconds not padded: 200 -> "3:20".
std::string minutes_seconds(int64_t seconds);
// (bytes + 1023) / 1024 followed by string 10132: 1025 -> "2 KB".
std::string kilobytes_text(int64_t bytes);

class EstimateDisplay {
 public:
  // Shows `figures`: the progress range and position 0, then the size and
  // the time (label and text), each only when it differs from what was
  // shown last. The remaining time starts from the figures.
  void show(const EstimateFigures& figures, UpdateObserver& observer);
  // One file downloaded for an eNews learned at `time_per_file_ms`.
  void file_downloaded(int64_t time_per_file_ms, UpdateObserver& observer);

  int64_t remaining_ms() const;

 private:
  // What changed and is to be handed to the observer.
  struct Changes {
    bool time = false;
    int32_t label = 0;
    std::string time_text;
    bool size = false;
    std::string size_text;
  };
  // Notes the time shown now in `changes` when it differs.
  void note_time(Changes& changes) WAYFETCH_REQUIRES(mutex_);
  static void hand_over(const Changes& changes, UpdateObserver& observer);

  mutable platform::PlainMutex mutex_;
  int64_t remaining_ms_ WAYFETCH_GUARDED_BY(mutex_) = 0;
  bool anything_due_ WAYFETCH_GUARDED_BY(mutex_) = false;
  int32_t position_ WAYFETCH_GUARDED_BY(mutex_) = 0;
  // What the window shows now; -1 and 0: nothing yet.
  int64_t shown_seconds_ WAYFETCH_GUARDED_BY(mutex_) = -1;
  int32_t shown_label_ WAYFETCH_GUARDED_BY(mutex_) = 0;
  int64_t shown_size_ WAYFETCH_GUARDED_BY(mutex_) = -1;
};

}  // namespace wayfetch

#endif
