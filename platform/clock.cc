#include "platform/clock.h"

#include <thread>

namespace wayfetch::platform {
namespace {

// 100 ns units from 1601-01-01 to 1970-01-01.
constexpr int64_t unix_epoch_file_time = 116'444'736'000'000'000;

class SystemClock final : public Clock {
 public:
  uint64_t file_time() const override {
    using Units = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
    auto since_1970 =
        std::chrono::floor<Units>(std::chrono::system_clock::now().time_since_epoch());
    return static_cast<uint64_t>(since_1970.count() + unix_epoch_file_time);
  }
  SteadyTime steady_time() const override { return std::chrono::steady_clock::now(); }
  void sleep_for(std::chrono::milliseconds duration) const override {
    if (duration.count() <= 0) {
      std::this_thread::yield();
      return;
    }
    std::this_thread::sleep_for(duration);
  }
  bool is_system() const override { return true; }
};

// nullptr: the system clock (which is made on first use, so that no
// initialisation order between files matters).
std::atomic<const Clock*> installed{nullptr};

}  // namespace

const Clock& system_clock() {
  static const SystemClock clock;
  return clock;
}

const Clock& current_clock() {
  const Clock* clock = installed.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : system_clock();
}

ScopedClock::ScopedClock(const Clock& clock)
    : previous_(installed.exchange(&clock, std::memory_order_acq_rel)) {}

ScopedClock::~ScopedClock() {
  installed.store(previous_, std::memory_order_release);
}

void FakeClock::sleep_for(std::chrono::milliseconds duration) const {
  advance(duration);
  std::this_thread::yield();
}

void FakeClock::advance(std::chrono::nanoseconds duration) const {
  if (duration.count() <= 0) return;
  steady_nanoseconds_.fetch_add(duration.count());
  file_time_.fetch_add(static_cast<uint64_t>(duration.count() / 100));
}

}  // namespace wayfetch::platform
