// UpdateRun: one run of the update job, on the application core's worker
// thread (config/application_core.h). Internal to the core.
//
// The steps, in order:
//   1. update_running(true); take the list lock; clear every failed flag and
//      failed-in-this-run mark;
//   2. status 10155 ("Starte das Update..."), 20002 at a HotSync;
//   3. create the conduit pipe (at a HotSync the connection waits for the
//      conduit); a pipe that cannot be started ends the run;
//   4. note the start time and show the estimates;
//   5. the due list: per eNews its due items and its rebuild flag (its
//      selection changed or an item is due); the run needs the web when any
//      item is due, and then starts a new section of the error log;
//   6. by the person's hand only (not the timer or a HotSync): the Windows
//      CE manager, and the EPOC tool when "web-when-pda-sync" is "no";
//   7. the connection (config/connection_policy.h); a needed connection
//      that cannot be had ends the run;
//   8. while connected: the templates of every eNews with a due item are
//      refreshed (template_refresh.cc);
//   9. the new-version check;
//  10. the e-books are announced to the conduit: per eNews its ".prc" with
//      state 6 (to be built: rebuild set and connected or nothing due), else
//      4 (exists) or 1 (missing); the handheld log copy "lorvbook_temp.mbl"
//      with state 3; a closing entry with state 7;
//  11. eNews to rebuild with nothing due are rendered and built from their
//      data on disk and reported (2 built, 4 not);
//  12. while connected: the due eNews are downloaded; each is rendered when
//      its data files are written and built when it is finished (and, for
//      the device type "ebm", handed to the eBookMan tool), then
//      reported; afterwards time-per-file and file-count are learned
//      (update_extraction.cc);
//  13. by the person's hand only: message 10168 naming the eNews that had
//      problems, or else (connected) notice 20003;
//  14. the conduit's queue ends;
//  15. the handheld log copy the conduit returned is merged into the
//      handheld log and, when connected and not stopped, the log is
//      uploaded;
//  16. status 25 with the run's time; the last synchronisation time;
//  17. clean-up on every path: the configuration is saved, the list lock
//      released, the pipe closed, the connector dropped, update_running(false).
// Failed eNews (a template missing after the refresh, rendering or
// building that failed) are reported with state 4 and skipped later.
//
// The Extractor's progress events come on this thread, which holds the list
// lock, so they change the list freely. Nothing here is thread-safe; the
// core's stop flag and connector are read through the core.
#ifndef WAYFETCH_CONFIG_UPDATE_RUN_H
#define WAYFETCH_CONFIG_UPDATE_RUN_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/application_core.h"
#include "config/conduit_channel.h"
#include "config/connection_policy.h"
#include "delivery/wayfetch_replicator.h"
#include "extraction/extractor.h"
#include "platform/file_replacement.h"
#include "rendering/picture_list.h"

namespace wayfetch {

// The states of the e-books the conduit is told about.
namespace conduit_state {
inline constexpr int32_t missing = 1;      // announced: no e-book yet
inline constexpr int32_t built = 2;        // reported: built in this run
inline constexpr int32_t log_copy = 3;     // where the conduit puts the log copy
inline constexpr int32_t not_built = 4;    // announced: exists; reported: not built
inline constexpr int32_t to_be_built = 6;  // announced: the run will build it
inline constexpr int32_t end_of_list = 7;  // the announcement's closing entry
}  // namespace conduit_state

class UpdateRun {
 public:
  UpdateRun(ApplicationCore& core, SyncMode mode);
  ~UpdateRun();
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

  // Runs steps 1-17.
  void execute();

 private:
  // What the run knows of one eNews (by list index).
  struct EnewsRun {
    std::vector<bool> due;  // per item
    bool any_due = false;
    bool rebuild = false;
    bool extracted = false;  // handed to the Extractor
    bool rendered = false;   // rendered in this run
    int32_t own_files = 0;   // files for the eNews itself in this run
    std::vector<int32_t> item_files;
    int32_t files = 0;  // all its files in this run
  };

  // ---- the sequence (update_run.cc) ----
  bool begin();
  void make_due_list();
  EnewsRun due_state(const ENews& enews, Timestamp now) const;
  void start_tools();
  bool prepare_connection();
  void announce();
  void tell_problems();
  void finish_delivery();
  void clean_up();
  void status(int32_t id);
  // Where the conduit puts its copy of the handheld log, absolute.
  std::string log_copy_path();
  bool stopped() const { return core_.stop_requested(); }

  // ---- the conduit (update_run.cc) ----
  // Reports eNews `i`'s e-book with `state`, writing status 15 meanwhile.
  void report(int32_t i, int32_t state);

  // ---- templates (template_refresh.cc) ----
  void refresh_templates();
  // Downloads `address` over `target` through a file beside it; for the
  // description, `enews` is checked to be the same eNews and updated.
  bool refresh_file(const String& address, const String& target, ENews* enews);
  // The downloaded description in `file` when it is one of `enews`.
  std::unique_ptr<ENews> checked_description(File& file, const String& address, const ENews& enews);

  // ---- rendering, building, extracting (update_extraction.cc) ----
  void rebuild_without_download();
  void extract();
  void learn(int64_t elapsed_ms);
  static void on_progress(void* self, int32_t identifier, ProgressEvent event, int32_t section,
                          PictureList* pictures);
  void progress(int32_t i, ProgressEvent event, int32_t section, PictureList* pictures);
  bool render(int32_t i, PictureList* pictures);
  bool build(int32_t i);

  ApplicationCore& core_;
  WayfetchConfiguration& config_;
  UpdateObserver& observer_;
  const SyncMode mode_;
  ConnectionPolicy policy_;
  ConduitChannel conduit_;
  std::vector<EnewsRun> enews_;
  // The handheld tools and log of this run, made once the list is locked.
  std::unique_ptr<WayfetchReplicator> replicator_;
  std::chrono::steady_clock::time_point start_;
  bool locked_ = false;
  bool conduit_open_ = false;
  bool needs_web_ = false;
  bool connected_ = false;
  std::vector<String> failed_addresses_;
};

}  // namespace wayfetch

#endif
