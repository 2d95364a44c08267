#include "platform/threads.h"

#include <chrono>
#include <system_error>

#include "platform/clock.h"

namespace wayfetch::platform {

bool OsThread::start(Entry entry, void* argument) {
  if (thread_.joinable() || entry == nullptr) return false;
  try {
    thread_ = std::thread(entry, argument);
  } catch (const std::system_error&) {
    return false;  // out of threads or memory: the caller tries again later
  }
  return true;
}

void OsThread::join() {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    // A thread cannot wait for itself; it lets its resources go when it ends.
    thread_.detach();
    return;
  }
  thread_.join();
}

void sleep_ms(int32_t ms) {
  current_clock().sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace wayfetch::platform
