// HotSyncLogSink: where the conduit's errors and warnings go. The library
// has no error log of its own; while a HotSync runs, this sink is current
// (ScopedErrorSink) and every error or warning raised in the library becomes
// one line of the HotSync log with its message text, for example
// "Warning(communication): Could not create file for database loaded from
// device.". Records quote no file or address: context texts are not kept.
//
// The conduit makes every Sync Manager call from the thread that called
// OpenConduit (the owner). Records raised on other threads (the pipe
// connection's worker reports a lost connection) are kept until the owner
// calls flush(); the owner's own records and lines are written at once,
// after those kept before.
//
// Thread-safe for the sink operations; add() and flush() belong to the owner.
#ifndef WAYFETCH_CONDUIT_HOTSYNC_LOG_SINK_H
#define WAYFETCH_CONDUIT_HOTSYNC_LOG_SINK_H

#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "conduit/sync_manager_calls.h"
#include "core/error_sink.h"
#include "platform/thread_annotations.h"

namespace wayfetch {

class HotSyncLogSink final : public ErrorSink {
 public:
  // The calling thread becomes the owner. REQUIRES: `sync` outlives the sink.
  explicit HotSyncLogSink(const SyncManagerCalls& sync);

  void write_error(int32_t code, int32_t a, int32_t b) override;
  void write_warning(int32_t code, int32_t a, int32_t b) override;
  int32_t register_context(const String& text, int32_t retention, uint64_t serial) override;
  void release_context(int32_t slot, uint64_t serial) override;

  // Writes one line of the conduit's own, after the lines kept before.
  void add(std::string_view line);
  // Writes the lines raised on other threads.
  void flush();

 private:
  void record(std::string line);

  const SyncManagerCalls& sync_;
  const std::thread::id owner_;
  platform::PlainMutex mutex_;
  std::vector<std::string> pending_ WAYFETCH_GUARDED_BY(mutex_);
};

}  // namespace wayfetch

#endif
