#include "program/single_instance.h"

#include <algorithm>
#include <chrono>
#include <csignal>

#include "core/sync.h"
#include "platform/named_objects.h"
#include "platform/process_handle.h"

namespace wayfetch {
namespace {

constexpr int32_t poll_ms = 20;

// The id a holder wrote: decimal digits only, positive; 0 otherwise.
int32_t parse_id(const std::string& content) {
  if (content.empty() || content.size() > 10) return 0;
  int64_t id = 0;
  for (char c : content) {
    if (c < '0' || c > '9') return 0;
    id = id * 10 + (c - '0');
  }
  return id > 0 && id <= INT32_MAX ? static_cast<int32_t>(id) : 0;
}

// Milliseconds on a steady clock, for the bounded waits below.
int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string SingleInstance::lock_path() {
  const std::string folder = platform::runtime_folder();
  return folder.empty() ? std::string() : folder + "/wayfetch.lock";
}

int32_t SingleInstance::find_running(int32_t wait_ms) {
  const std::string path = lock_path();
  if (path.empty()) return 0;
  const int64_t end = now_ms() + wait_ms;
  for (;;) {
    const platform::LockHolder holder = platform::probe_instance_lock(path);
    if (!holder.held) return 0;
    // A holder without an id is still opening its events.
    if (const int32_t id = parse_id(holder.content); id != 0) return id;
    if (now_ms() >= end) return 0;
    sleep(poll_ms);
  }
}

SingleInstance::Claim SingleInstance::claim() {
  const std::string path = lock_path();
  if (path.empty()) return Claim::failed;
  const int64_t end = now_ms() + request_wait_ms;
  for (;;) {
    switch (lock_.try_lock(path)) {
      case platform::InstanceLock::Result::locked:
        return Claim::first;
      case platform::InstanceLock::Result::failed:
        return Claim::failed;
      case platform::InstanceLock::Result::busy:
        break;
    }
    // Busy: an instance, one still starting, or another start looking at
    // the lock for a moment.
    running_id_ = find_running(static_cast<int32_t>(std::max<int64_t>(0, end - now_ms())));
    if (running_id_ != 0) return Claim::running;
    if (now_ms() >= end) return Claim::failed;
    sleep(poll_ms);
  }
}

bool SingleInstance::publish() {
  return lock_.publish(std::to_string(platform::current_process_id()));
}

bool SingleInstance::signal_and_wait(std::string_view name, int32_t wait_ms) {
  Event event;
  if (!event.create(name)) return false;
  event.set();
  // The event stays open (and so set) until the instance has reset it.
  const int64_t end = now_ms() + wait_ms;
  while (event.wait(0)) {
    if (now_ms() >= end) return false;
    sleep(poll_ms);
  }
  return true;
}

bool SingleInstance::end_running() {
  const int32_t id = find_running();
  if (id == 0) return false;
  // Open the process first: whatever the id means later, the handle stays
  // with this process. Then make sure it is the instance.
  platform::ProcessHandle process;
  if (!process.open(id)) return false;
  const platform::LockHolder holder = platform::probe_instance_lock(lock_path());
  if (!holder.held || parse_id(holder.content) != id) return false;
  const std::string program = platform::process_program_file(id);
  if (program.empty() || program != platform::process_program_file(platform::current_process_id()))
    return false;

  Event exit_event;
  if (exit_event.create(instance_names::exit_event)) exit_event.set();
  if (process.wait_ended(exit_wait_ms)) return true;
  process.send_signal(SIGTERM);
  if (process.wait_ended(terminate_wait_ms)) return true;
  process.send_signal(SIGKILL);
  return process.wait_ended(terminate_wait_ms);
}

}  // namespace wayfetch
