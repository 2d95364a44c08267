// WayfetchReplicator: the program's side of getting e-books onto handhelds
// and the handheld's reading log back.
//
// Palm handhelds are served by the conduit through the pipe (the update job
// drives it); the other families by their tools (delivery/device_tools.h):
// sync_windows_ce() asks the Windows CE manager to synchronise now,
// start_epoc_tool() starts the EPOC tool, send_to_ebookman() hands one e-book
// to the eBookMan tool. The handheld log: merge_returned_logs() merges the
// copies the conduit read back from the handheld into the desktop log, and
// upload_log() sends the log's counts to their report targets and empties it.
// Record layouts, order and reports: docs/handheld_log_format.md.
//
// The replicator takes its paths as values (ReplicatorSetup); the update job
// makes one per run from the configuration and the settings store.
//
// Merging: only the file the run announced (`returned_path`) is merged, and
// only from a file message of direction 1 in state 2; a message naming any
// other file is ignored, so a peer cannot make the program read or delete
// other files. The copy is untrusted: damaged records are skipped (counted
// by warning 48), counts whose report target the copy does not hold are
// kept as they are (warning 49). The log is written back by renaming a
// complete new file over it, so a merge that fails leaves the earlier log
// whole; the copy is deleted only once the log is written.
//
// Uploading: only targets whose address starts with "http:" or "https:" are
// posted to; any other is kept as if its send failed (warning 45), and a
// failed post is logged with warning 35. A target sent, or with nothing to
// send, is deleted with its counts; the log file is deleted when no send
// failed, else written back for the next run.
//
// Codes: error 98 when a record cannot be allocated (the merge then leaves
// log and copy as they were); error 6 (on the log's database) when the log
// cannot be opened or written. Errors 120 and 121 belong to the pipe
// (delivery/pipe_connection.h), warnings 46, 47 and 50 to the conduit.
// Error 125 reported a failed operation of the EPOC connection service,
// which has no Linux counterpart: nothing raises it here.
//
// Not thread-safe: one thread (the update run) uses a replicator.
#ifndef WAYFETCH_DELIVERY_WAYFETCH_REPLICATOR_H
#define WAYFETCH_DELIVERY_WAYFETCH_REPLICATOR_H

#include <cstdint>
#include <string>

#include "core/error_state.h"
#include "delivery/device_tools.h"
#include "delivery/message_queue.h"

namespace wayfetch {

class WebSource;

struct ReplicatorSetup {
  std::string log_path;       // the handheld log, "lorvbook.mbl"
  std::string returned_path;  // where the conduit puts its copy, "lorvbook_temp.mbl"
  std::string device_type;    // "ebm": finished e-books go to the eBookMan tool
  DeviceTools tools;
};

// What merging one copy did.
struct MergeResult {
  bool merged = false;  // the log was written and the copy deleted
  int32_t targets_added = 0;
  int32_t counts_added = 0;     // added to a count the log held
  int32_t counts_inserted = 0;  // new count records
  int32_t damaged = 0;          // records of the copy skipped
  int32_t unmapped = 0;         // counts whose target the copy does not hold
};

// What one upload did.
struct UploadResult {
  int32_t sent = 0;     // targets posted to (or with nothing to send) and deleted
  int32_t failed = 0;   // targets kept: the post failed
  int32_t refused = 0;  // targets kept: not a web address
  bool log_deleted = false;
};

class WayfetchReplicator : public ErrorState {
 public:
  static constexpr std::string_view ebookman_device = "ebm";
  // The state of a file message whose database the conduit copied to the
  // desktop (and, for the log, sent back).
  static constexpr int32_t returned_state = 2;

  explicit WayfetchReplicator(ReplicatorSetup setup) : setup_(std::move(setup)) {}

  const ReplicatorSetup& setup() const { return setup_; }

  // ---- tools; each returns whether its tool was started ----
  bool sync_windows_ce();
  bool start_epoc_tool();
  bool send_to_ebookman(const std::string& ebook_path);
  // Hands a finished e-book to the eBookMan tool when the device type is "ebm".
  bool hand_over_ebook(const std::string& ebook_path);

  // ---- the handheld log ----
  // Merges the copy named by every file message of direction 1 and state 2
  // whose path is `returned_path`, and destroys the messages. Returns how
  // many copies were merged.
  int32_t merge_returned_logs(MessageList messages);
  // The same for what `incoming` holds now (nothing is waited for).
  int32_t merge_returned_logs(MessageQueue& incoming);
  // Merges the file at `copy_path` into the log (no path check: callers
  // pass only a path they chose).
  MergeResult merge_copy(const std::string& copy_path);
  // Sends the log's reports through `web`. Call only when the run is
  // connected; a log that does not exist sends nothing.
  UploadResult upload_log(WebSource& web);

 private:
  ReplicatorSetup setup_;
};

}  // namespace wayfetch

#endif
