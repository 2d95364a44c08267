// SyncService: serves the Sync Manager operations of conduit/sync_manager.h
// to the conduit that runs, against a Handheld, with the handheld clock (the
// system clock moved by an offset) and the HotSync log.
//
// The exported C operations (hotsync/sync_exports.cc) reach the service
// through call(), which holds one process-wide lock for the whole operation:
// operations are serialised, and the service that serve() installs cannot go
// away under a running call. Outside begin_conduit() ... end_conduit() every
// call fails with sync_err_general; after cancel() with sync_err_cancelled,
// which SyncYieldCycles hands to the conduit as its signal to stop.
#ifndef WAYFETCH_HOTSYNC_SYNC_SERVICE_H
#define WAYFETCH_HOTSYNC_SYNC_SERVICE_H

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "conduit/sync_manager.h"
#include "hotsync/handheld.h"
#include "hotsync/hotsync_log.h"

namespace wayfetch::hotsync {

class SyncService {
 public:
  SyncService(Handheld& handheld, HotSyncLog& log, int64_t clock_offset_seconds)
      : handheld_(handheld), log_(log), clock_offset_(clock_offset_seconds) {}
  SyncService(const SyncService&) = delete;
  SyncService& operator=(const SyncService&) = delete;
  // Stops being the served service.
  ~SyncService();

  // Makes `service` the one the exported operations reach (nullptr: none).
  static void serve(SyncService* service);
  // Runs `operation` on the served service under the process-wide lock.
  template <typename Operation>
  static int32_t call(Operation operation) {
    std::lock_guard lock(mutex());
    if (current_ == nullptr || !current_->serving_) return sync_err_general;
    if (current_->cancelled_) return sync_err_cancelled;
    return operation(*current_);
  }

  // A conduit starts: its calls are served from now on.
  void begin_conduit();
  // The conduit has returned: calls fail again, and what it left open is
  // closed (created databases discarded).
  void end_conduit();
  // The host gives up on the conduit: every later call is refused, and what
  // it left open is closed (created databases discarded).
  void cancel();

  // The handheld clock now in seconds since 1904-01-01.
  uint32_t palm_now() const;

  // The operations, with the results of conduit/sync_manager.h.
  int32_t read_clock(SyncDateTime* clock) const;
  int32_t find(int32_t new_search, const char* type, const char* creator, SyncDatabaseInfo* info);
  int32_t add_log_entry(const char* text);
  Handheld& handheld() { return handheld_; }

 private:
  static std::mutex& mutex();
  static inline SyncService* current_ = nullptr;

  Handheld& handheld_;
  HotSyncLog& log_;
  const int64_t clock_offset_;
  bool serving_ = false;
  bool cancelled_ = false;
  // The listing under way: what it found and how much was reported.
  std::vector<SyncDatabaseInfo> found_;
  std::size_t reported_ = 0;
  bool searching_ = false;
};

}  // namespace wayfetch::hotsync

#endif
