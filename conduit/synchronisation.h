// Synchronisation: one HotSync of the conduit, from starting the program to
// the end of the pipe between them. It holds the pipe connection with its
// two queues, the list of the handheld's databases and the host's progress
// callback, and carries out what the program announces.
//
// run():
// 1. starts the program stored as "Wayfetch Exe" in the settings with
//    "-conduit", detached from the host (platform::launch_detached);
// 2. opens "Wayfetch_conduit_pipe" as the opening side and waits up to
//    15000 ms for the connection;
// 3. lists the handheld's log database (creator "LORV", type "LogF",
//    direction 1), then its e-books ("REAd", "TEXt", direction 0), their
//    modification dates moved to desktop time by the offset between the
//    desktop clock and the handheld clock;
// 4. waits for announcements in slices of 200 ms, yielding to the host after
//    each, at most 900000 ms at a time; the wait also ends as soon as the
//    connection has ended (the program died or went away);
// 5. handles the announcements in order (below), reporting to the program
//    each database it installed and the log copy it read back, state 2;
// 6. repeats from 4 until the program has ended its side;
// 7. while the connection lives: sends the handheld databases no
//    announcement named (state 0, so the program learns what the handheld
//    holds) and ends its side; then closes the connection.
// Result: 0; 16385 (sync_err_general) when the program cannot be started, the
// pipe does not connect or the handheld cannot be listed, and then nothing
// else is done.
//
// An announcement is a FileMessage: the desktop path, the direction (0 an
// e-book, 1 the handheld log), the state and the desktop file's time:
// - 0, 2 (built), 4 (not rebuilt), 5: the desktop file is opened as a Palm
//   database, only when it is a regular file, for its database name; when
//   that fails the announcement is skipped (and logged).
// - 1 (no desktop file) and 5: the handheld copy is deleted. Without a
//   desktop file the database name is the file name without its extension.
// - 3 (read back): the handheld database (for direction 1 the log database)
//   is copied into the announced path, written beside it and renamed when
//   complete; for direction 1 the copy is reported and the handheld database
//   deleted.
// - 4: nothing when the handheld copy exists and the desktop file is not
//   newer; else as 0 and 2: the handheld copy is replaced (deleted, then the
//   desktop file installed with its header and records).
// - 6, 7: nothing. Any other state or direction: skipped and logged.
// A handheld database an announcement found is handled, and not sent at the
// end; one installed joins the list as handled, so that a later announcement
// of the same book replaces it. A failed installation deletes the half-made
// database and writes a line to the HotSync log.
//
// Errors raised on the object, and so written to the HotSync log through the
// current sink: warning 50 (warnings::device_file) when a handheld database
// cannot be opened or its desktop copy not made; error 98 when the record
// buffer of a copy cannot be allocated.
//
// One thread: the one that called OpenConduit makes every Sync Manager call.
// The connection's worker is joined before run() returns.
#ifndef WAYFETCH_CONDUIT_SYNCHRONISATION_H
#define WAYFETCH_CONDUIT_SYNCHRONISATION_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "conduit/hotsync_log_sink.h"
#include "conduit/sync_manager_calls.h"
#include "core/error_state.h"
#include "delivery/message_queue.h"
#include "delivery/pipe_connection.h"

namespace wayfetch {

class PalmDatabase;

class Synchronisation : public ErrorState {
 public:
  static constexpr std::string_view pipe_name = "Wayfetch_conduit_pipe";
  static constexpr int32_t announcement_limit_ms = 900000;
  static constexpr int32_t slice_ms = 200;

  // REQUIRES: `sync` resolved; `sync` and `log` outlive the object.
  Synchronisation(const SyncManagerCalls& sync, HotSyncLogSink& log,
                  SyncProgressCallback progress_callback);
  Synchronisation(const Synchronisation&) = delete;
  Synchronisation& operator=(const Synchronisation&) = delete;

  int32_t run();

 private:
  // A database found on the handheld.
  struct DeviceEntry {
    SyncDatabaseInfo info{};
    int32_t direction = FileMessage::direction_ebook;
    uint64_t modified = 0;  // desktop file time
    bool handled = false;

    std::string name() const;
    std::unique_ptr<FileMessage> message() const;
  };

  enum class Wait { arrived, ended, timed_out, cancelled };

  // Steps of run().
  bool start_program();
  bool open_pipe();
  bool list_handheld();
  bool list(const char* type, const char* creator, int32_t direction, int64_t offset_seconds);
  Wait wait_for_announcements();
  void finish();

  // Announcements (announcement.cc).
  void handle(FileMessage& entry);
  DeviceEntry* find_device(int32_t direction, const std::string& name);
  // Adds a database installed in this HotSync to the handheld's list.
  DeviceEntry& remember(const PalmDatabase& installed, const FileMessage& entry);
  bool remove_from_handheld(DeviceEntry& device);
  bool install(PalmDatabase& desktop, const std::string& path);
  // The first failing result, or sync_ok.
  int32_t write_records(PalmDatabase& desktop, int32_t handle);
  bool copy_to_desktop(const DeviceEntry& device, const std::string& path);
  bool copy_records(const DeviceEntry& device, int32_t handle, const std::string& path);
  bool read_records(int32_t handle, PalmDatabase& copy);
  void report(const FileMessage& entry);

  void show_progress(std::string_view text);
  // Lets the host run; false once it has given up on the conduit.
  bool yield();

  const SyncManagerCalls& sync_;
  HotSyncLogSink& log_;
  SyncProgressCallback progress_;
  uint32_t steps_ = 0;
  bool cancelled_ = false;
  std::vector<DeviceEntry> devices_;
  MessageQueue outgoing_;
  MessageQueue incoming_;
  PipeConnection connection_;
};

}  // namespace wayfetch

#endif
