// One HotSync: every registered conduit, in priority order, is loaded and run
// against a handheld folder, and the HotSync log is printed at the end.
//
// For each registration the library is loaded (hotsync/conduit_library.h),
// its entry points GetConduitVersion, GetConduitInfo and OpenConduit looked
// up, and a thread of its own asks the version and name and calls
// OpenConduit with the progress callback and the properties (the
// registration's synchronisation type for this HotSync). The Sync Manager
// operations are served meanwhile (hotsync/sync_service.h). A conduit that
// has not returned within the time-out is abandoned: its later calls are
// refused, whatever it had open is discarded, the log is printed and
// run_hotsync returns exit_timeout without unloading the library or waiting
// for the thread. A registration's one-time synchronisation type (from a
// configuration with the temporary preference) is used up by the HotSync.
#ifndef WAYFETCH_HOTSYNC_HOTSYNC_SESSION_H
#define WAYFETCH_HOTSYNC_HOTSYNC_SESSION_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace wayfetch::hotsync {

inline constexpr int exit_ok = 0;
inline constexpr int exit_failed = 1;  // a conduit failed, or the host could not work
inline constexpr int exit_usage = 2;
inline constexpr int exit_timeout = 3;

// Who synchronises: the user's name and number and their desktop folder.
struct HotSyncUser {
  std::string name;
  uint32_t id = 0;
  std::string folder;
};

struct HotSyncOptions {
  std::string registry_path;
  std::string handheld;            // the folder
  int64_t clock_offset = 0;        // seconds added to the system clock
  int32_t timeout_seconds = 1200;  // per conduit, 1 to 2000000
  HotSyncUser user;
};

// Performs the HotSync; returns exit_ok when every conduit returned 0.
// Messages that are not part of the log go to `err`.
// REQUIRES: on exit_timeout a conduit thread still runs in the process: the
// caller ends the process with std::_Exit at once (no exit handlers, no
// static destructors, nothing unloaded under it).
int run_hotsync(const HotSyncOptions& options, std::FILE* out, std::FILE* err);

}  // namespace wayfetch::hotsync

#endif
