// Clock: the program's one source of time, so that tests can set it.
//
// A clock gives two times: the wall time, as the program's file time (100 ns
// units since 1601-01-01 00:00:00 UTC, the value web/timestamp.h holds),
// for timestamps, schedules and dates; and a steady time that never goes
// back, for time-outs, deadlines and sleeps. The system clock reads
// std::chrono::system_clock and std::chrono::steady_clock. A FakeClock
// stands still until a test moves it, and its sleeps move it instead of
// waiting.
//
// The clock in use is process-wide: current_clock() is the system clock
// unless a ScopedClock installed another. Timestamp::now(), the date
// formatter (platform/date_format.h), the waits' time-outs (platform/
// waitable.h), sleeps (platform/threads.h) and the web connector's request
// watchdog read it. With a fake clock installed, a wait with a time limit
// looks at the clock every few real milliseconds and ends once the fake
// time has passed its limit: a test that installs one moves it.
//
// Thread safety: every clock may be read by any thread. Install a clock
// before the threads that read it start, and end its scope after they
// stopped; the clock must outlive its scope.
#ifndef WAYFETCH_PLATFORM_CLOCK_H
#define WAYFETCH_PLATFORM_CLOCK_H

#include <atomic>
#include <chrono>
#include <cstdint>

namespace wayfetch::platform {

class Clock {
 public:
  using SteadyTime = std::chrono::steady_clock::time_point;

  virtual ~Clock() = default;
  // Now, in 100 ns units since 1601-01-01 00:00:00 UTC.
  virtual uint64_t file_time() const = 0;
  // Now on a clock that never goes back (its zero means nothing).
  virtual SteadyTime steady_time() const = 0;
  // Suspends the calling thread for `duration` of steady time (a zero or
  // negative duration yields the processor).
  virtual void sleep_for(std::chrono::milliseconds duration) const = 0;
  // Whether the steady time is std::chrono::steady_clock's, which the
  // system's own timed waits (CLOCK_MONOTONIC) measure.
  virtual bool is_system() const { return false; }
};

// The system's clock.
const Clock& system_clock();
// The clock in use: the system's unless a ScopedClock installed another.
const Clock& current_clock();

// Makes `clock` the clock in use for this object's lifetime, then restores
// the one before. Scopes nest and end in the reverse order of beginning.
class ScopedClock {
 public:
  explicit ScopedClock(const Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  const Clock* previous_;
};

// A clock for tests: both times stand still until advance() or a sleep
// moves them together. Thread-safe.
class FakeClock : public Clock {
 public:
  // 2001-03-08 18:28:44 UTC, a Thursday, unless given.
  static constexpr uint64_t default_file_time = 126'285'497'240'000'000;

  explicit FakeClock(uint64_t file_time = default_file_time) : file_time_(file_time) {}

  uint64_t file_time() const override { return file_time_.load(); }
  SteadyTime steady_time() const override {
    return SteadyTime(std::chrono::nanoseconds(steady_nanoseconds_.load()));
  }
  // Moves both times by `duration` and yields, so other threads run.
  void sleep_for(std::chrono::milliseconds duration) const override;

  // Moves both times forward by `duration` (a negative one moves nothing).
  void advance(std::chrono::nanoseconds duration) const;
  // Sets the wall time alone, as a user changing the system time would.
  void set_file_time(uint64_t file_time) { file_time_.store(file_time); }

 private:
  mutable std::atomic<uint64_t> file_time_;
  // Starts at an hour so that deadlines computed back from now stay positive.
  mutable std::atomic<int64_t> steady_nanoseconds_{int64_t{3600} * 1'000'000'000};
};

}  // namespace wayfetch::platform

#endif
