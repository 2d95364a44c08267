#include "platform/waitable.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/wait_support.h"

namespace wayfetch::platform {
namespace {

// Objects without a descriptor are tried again after these sleeps: short at
// first so that a quick signal is seen quickly, then longer to spare the CPU.
constexpr int32_t first_retry_ms = 1;
constexpr int32_t last_retry_ms = 16;
// Under a test's clock the time left is not real time: the clock is looked
// at again after at most this many real milliseconds.
constexpr int32_t test_clock_slice_ms = 2;

// How long to sleep before the next try: the time left when every object
// can wake the poll, else the next retry step (within the time left).
int32_t next_sleep(const Deadline& deadline, bool pollable_only, int32_t& retry_ms) {
  int32_t left = deadline.remaining_ms();
  if (!deadline.unlimited() && !deadline.on_system_clock()) {
    return std::min(left, test_clock_slice_ms);
  }
  if (pollable_only) return left;
  int32_t slice = retry_ms;
  retry_ms = std::min(retry_ms * 2, last_retry_ms);
  return left < 0 ? slice : std::min(left, slice);
}

// Sleeps until a descriptor is readable or `ms` passed. False when poll
// fails (a signal only shortens the sleep) or a descriptor is not open.
bool sleep_on(std::vector<pollfd>& fds, int32_t ms) {
  int result = ::poll(fds.data(), fds.size(), ms);
  if (result < 0) return errno == EINTR;
  return std::none_of(fds.begin(), fds.end(),
                      [](const pollfd& p) { return (p.revents & POLLNVAL) != 0; });
}

}  // namespace

Deadline::Deadline(int32_t timeout_ms)
    : clock_(current_clock()),
      unlimited_(timeout_ms < 0),
      end_(clock_.steady_time() + std::chrono::milliseconds(std::max(timeout_ms, 0))) {}

int32_t Deadline::remaining_ms() const {
  if (unlimited_) return -1;
  auto left = end_ - clock_.steady_time();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int32_t>(std::min<int64_t>(ms, INT32_MAX));
}

bool is_readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

bool poll_readable(int fd, int32_t timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  int result = ::poll(&p, 1, timeout_ms);
  if (result < 0) return errno == EINTR;
  return (p.revents & POLLNVAL) == 0;
}

std::mutex& Waitable::take_lock() {
  static std::mutex lock;
  return lock;
}

bool Waitable::wait(int32_t timeout_ms) {
  Waitable* self = this;
  return wait_for_any(std::span<Waitable* const>(&self, 1), timeout_ms) == 0;
}

int32_t wait_for_any(std::span<Waitable* const> objects, int32_t timeout_ms) {
  if (objects.empty()) return wait_failed;
  std::vector<pollfd> fds;
  fds.reserve(objects.size());
  bool pollable_only = true;
  for (Waitable* object : objects) {
    if (object == nullptr) return wait_failed;
    int fd = object->descriptor();
    if (fd < 0) {
      pollable_only = false;
    } else {
      fds.push_back({fd, POLLIN, 0});
    }
  }
  Deadline deadline(timeout_ms);
  int32_t retry_ms = first_retry_ms;
  while (true) {
    {
      std::lock_guard lock(Waitable::take_lock());
      for (std::size_t i = 0; i < objects.size(); ++i) {
        if (objects[i]->try_take()) return static_cast<int32_t>(i);
      }
    }
    // The descriptors are level-triggered: whatever was signalled after the
    // tries above is still readable when poll looks, so nothing is missed.
    if (deadline.remaining_ms() == 0) return wait_timeout;
    if (!sleep_on(fds, next_sleep(deadline, pollable_only, retry_ms))) return wait_failed;
  }
}

int32_t wait_for_all(std::span<Waitable* const> objects, int32_t timeout_ms) {
  if (objects.empty()) return wait_failed;
  std::vector<Waitable*> sorted(objects.begin(), objects.end());
  std::sort(sorted.begin(), sorted.end());
  if (sorted.front() == nullptr ||
      std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
    return wait_failed;  // the same object twice cannot be "all signalled" in one instant
  }
  Deadline deadline(timeout_ms);
  int32_t retry_ms = first_retry_ms;
  std::vector<pollfd> fds(1);
  while (true) {
    std::size_t blocker = objects.size();
    {
      // All or nothing under the take lock: nobody in this process can take
      // or reset anything between our first take and our give-backs.
      std::lock_guard lock(Waitable::take_lock());
      for (std::size_t i = 0; i < objects.size(); ++i) {
        if (!objects[i]->try_take()) {
          blocker = i;
          while (i > 0) objects[--i]->give_back();
          break;
        }
      }
    }
    if (blocker == objects.size()) return 0;
    if (deadline.remaining_ms() == 0) return wait_timeout;
    // Sleep on the object that was missing; once it is signalled, try all
    // again (another may have been taken meanwhile, and is then slept on).
    int fd = objects[blocker]->descriptor();
    fds.resize(fd >= 0 ? 1 : 0);
    if (fd >= 0) fds[0] = {fd, POLLIN, 0};
    if (!sleep_on(fds, next_sleep(deadline, fd >= 0, retry_ms))) return wait_failed;
  }
}

}  // namespace wayfetch::platform
