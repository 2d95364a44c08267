#include "config/update_estimates.h"

#include <algorithm>

#include "core/string_table.h"

namespace wayfetch {

EstimateFigures enews_estimates(const ENews& enews, Timestamp now) {
  EstimateFigures figures;
  int64_t files = enews.file_count;
  int64_t selected = 0;
  int64_t built = 0;
  for (int32_t k = 0; k < enews.item_count(); ++k) {
    const ENewsItem& item = enews.item(k);
    if (item.selected()) ++selected;
    if (item.selected_in_build) ++built;
    if (item.is_due(now)) {
      figures.anything_due = true;
      files += item.file_count;
    }
  }
  if (figures.anything_due) {
    figures.files = files;
    figures.time_ms = files * enews.time_per_file;
  }
  // Negative figures from a hand-edited config.xml count as nothing.
  const int64_t size = std::max<int64_t>(enews.file_size, 0);
  if (built > 0) {
    figures.size_bytes = size * selected / built;
  } else if (enews.item_count() > 0) {
    figures.size_bytes = size * selected / enews.item_count();
  }
  return figures;
}

EstimateFigures compute_estimates(const WayfetchConfiguration& config, Timestamp now) {
  EstimateFigures total;
  for (int32_t i = 0; i < config.count(); ++i) {
    const EstimateFigures one = enews_estimates(config.at(i), now);
    total.files += std::max<int64_t>(one.files, 0);
    total.time_ms += std::max<int64_t>(one.time_ms, 0);
    total.size_bytes += one.size_bytes;
    total.anything_due = total.anything_due || one.anything_due;
  }
  return total;
}

std::string minutes_seconds(int64_t seconds) {
  return std::to_string(seconds / 60) + ":" + std::to_string(seconds % 60);
}

std::string kilobytes_text(int64_t bytes) {
  return std::to_string((bytes + 1023) / 1024) + std::string(strings::text(strings::kilobytes));
}

void EstimateDisplay::show(const EstimateFigures& figures, UpdateObserver& observer) {
  Changes changes;
  {
    platform::PlainLock hold(mutex_);
    remaining_ms_ = figures.time_ms;
    anything_due_ = figures.anything_due;
    position_ = 0;
    if (figures.size_bytes != shown_size_) {
      shown_size_ = figures.size_bytes;
      changes.size = true;
      changes.size_text = kilobytes_text(figures.size_bytes);
    }
    note_time(changes);
  }
  // The bar's range is an int: a range past it shows as full.
  observer.progress_range(
      static_cast<int32_t>(std::min<int64_t>(figures.files, int64_t{INT32_MAX})));
  observer.progress_position(0);
  hand_over(changes, observer);
}

void EstimateDisplay::file_downloaded(int64_t time_per_file_ms, UpdateObserver& observer) {
  Changes changes;
  int32_t position = 0;
  {
    platform::PlainLock hold(mutex_);
    remaining_ms_ = std::max<int64_t>(remaining_ms_ - std::max<int64_t>(time_per_file_ms, 0), 0);
    position = ++position_;
    note_time(changes);
  }
  observer.progress_position(position);
  hand_over(changes, observer);
}

int64_t EstimateDisplay::remaining_ms() const {
  platform::PlainLock hold(mutex_);
  return remaining_ms_;
}

void EstimateDisplay::note_time(Changes& changes) {
  const int32_t label =
      anything_due_ ? strings::estimated_download_time : strings::nothing_to_download;
  // Whole seconds are what the window shows; -2 stands for the empty text.
  const int64_t seconds = anything_due_ ? remaining_ms_ / 1000 : -2;
  if (label == shown_label_ && seconds == shown_seconds_) return;
  shown_label_ = label;
  shown_seconds_ = seconds;
  changes.time = true;
  changes.label = label;
  changes.time_text = anything_due_ ? minutes_seconds(seconds) : std::string();
}

void EstimateDisplay::hand_over(const Changes& changes, UpdateObserver& observer) {
  if (changes.size) observer.size_estimate(changes.size_text);
  if (changes.time) observer.time_estimate(changes.label, changes.time_text);
}

}  // namespace wayfetch
