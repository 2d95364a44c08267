#include "conduit/sync_manager_calls.h"

#include <dlfcn.h>

#include <string>

namespace wayfetch {
namespace {

template <typename Function>
bool look_up(Function& slot, const char* name) {
  // The host is the executable: its dynamic list exports exactly these.
  slot = reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
  return slot != nullptr;
}

}  // namespace

bool SyncManagerCalls::resolve() {
  bool all = look_up(read_clock, "SyncReadSysDateTime");
  all = look_up(find, "SyncFindDbByTypeCreator") && all;
  all = look_up(open, "SyncOpenDatabase") && all;
  all = look_up(read_record, "SyncReadRecordByIndex") && all;
  all = look_up(close, "SyncCloseDatabase") && all;
  all = look_up(create, "SyncCreateDatabase") && all;
  all = look_up(write_record, "SyncWriteRecord") && all;
  all = look_up(remove, "SyncDeleteDatabase") && all;
  all = look_up(position_map, "SyncReadPositionXMap") && all;
  all = look_up(add_log_entry, "SyncAddLogEntry") && all;
  all = look_up(yield, "SyncYieldCycles") && all;
  if (!all) *this = SyncManagerCalls{};
  return all;
}

void SyncManagerCalls::log(std::string_view line) const {
  if (add_log_entry == nullptr) return;
  const std::string text(line);
  add_log_entry(text.c_str());
}

}  // namespace wayfetch
