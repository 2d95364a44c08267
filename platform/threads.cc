#include "platform/threads.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

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

bool lower_current_thread_priority() {
  // PRIO_PROCESS with a thread id changes that thread only.
  const auto thread = static_cast<id_t>(syscall(SYS_gettid));
  return setpriority(PRIO_PROCESS, thread, 19) == 0;
}

}  // namespace wayfetch::platform
