// Small helpers shared by the waitable objects of platform/ (not for the rest
// of the tree): deadlines on the monotonic clock and descriptor checks.
#ifndef WAYFETCH_PLATFORM_WAIT_SUPPORT_H
#define WAYFETCH_PLATFORM_WAIT_SUPPORT_H

#include <chrono>
#include <cstdint>

#include "platform/clock.h"

namespace wayfetch::platform {

// The end of a wait of `timeout_ms` (-1 = none) started now, on the clock in
// use (platform/clock.h).
class Deadline {
 public:
  explicit Deadline(int32_t timeout_ms);
  // Milliseconds left, rounded up so that a wait never ends early: -1 when
  // there is no limit, 0 once the time is up.
  int32_t remaining_ms() const;
  bool unlimited() const { return unlimited_; }
  // The end on std::chrono::steady_clock (CLOCK_MONOTONIC), for the system's
  // own timed waits; only meaningful when on_system_clock().
  std::chrono::steady_clock::time_point end() const { return end_; }
  bool on_system_clock() const { return clock_.is_system(); }

 private:
  const Clock& clock_;
  bool unlimited_;
  std::chrono::steady_clock::time_point end_;
};

// Whether poll(2) reports `fd` readable right now.
bool is_readable(int fd);

// Sleeps in poll(2) until `fd` is readable or `timeout_ms` (-1 = none) has
// passed; false only when poll fails for a reason other than a signal.
bool poll_readable(int fd, int32_t timeout_ms);

}  // namespace wayfetch::platform

#endif
