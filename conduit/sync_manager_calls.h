// SyncManagerCalls: the Sync Manager operations of the HotSync host that
// loaded the conduit (conduit/sync_manager.h).
//
// The host exports them by name from its executable. The conduit looks them
// up with the dynamic loader when a HotSync starts instead of linking them,
// so that the library also loads into a process that is no host (a tool
// asking its name, a test): OpenConduit then fails cleanly.
//
// A plain set of function pointers; copy it freely. The host serialises the
// calls themselves; the conduit makes them all from the thread that called
// OpenConduit.
#ifndef WAYFETCH_CONDUIT_SYNC_MANAGER_CALLS_H
#define WAYFETCH_CONDUIT_SYNC_MANAGER_CALLS_H

#include <cstdint>
#include <string_view>

#include "conduit/sync_manager.h"

namespace wayfetch {

struct SyncManagerCalls {
  decltype(&SyncReadSysDateTime) read_clock = nullptr;
  decltype(&SyncFindDbByTypeCreator) find = nullptr;
  decltype(&SyncOpenDatabase) open = nullptr;
  decltype(&SyncReadRecordByIndex) read_record = nullptr;
  decltype(&SyncCloseDatabase) close = nullptr;
  decltype(&SyncCreateDatabase) create = nullptr;
  decltype(&SyncWriteRecord) write_record = nullptr;
  decltype(&SyncDeleteDatabase) remove = nullptr;
  decltype(&SyncReadPositionXMap) position_map = nullptr;
  decltype(&SyncAddLogEntry) add_log_entry = nullptr;
  decltype(&SyncYieldCycles) yield = nullptr;

  // Looks every operation up in the running process. False, with every
  // pointer null, when one of them is missing.
  bool resolve();

  // One line of the HotSync log (cut by the host to 1023 bytes).
  void log(std::string_view line) const;
};

}  // namespace wayfetch

#endif
