// Many threads waiting on and signalling a shared set of events, semaphores,
// a mutex and each other's threads, with random time-outs. Afterwards every
// semaphore count must be accounted for: nothing lost, nothing taken twice.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/sync.h"
#include "core/thread.h"

namespace wayfetch {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t worker_count = 12;
constexpr int32_t semaphore_count = 6;
constexpr int32_t event_count = 4;
constexpr auto run_time = std::chrono::milliseconds(1200);

struct Shared {
  std::array<Semaphore, semaphore_count> semaphores;
  std::array<int64_t, semaphore_count> initial{};
  std::array<std::atomic<int64_t>, semaphore_count> released{};
  std::array<std::atomic<int64_t>, semaphore_count> taken{};
  std::array<Event, event_count> events;
  Event stop;
  Mutex mutex;
  int64_t guarded = 0;  // changed only while holding `mutex`
  std::atomic<int64_t> guarded_expected{0};
  std::atomic<int64_t> short_time_outs{0};
  std::atomic<int64_t> waits{0};
};

int64_t elapsed_ms(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

uint32_t child_routine(void*) {
  sleep(1);
  return 0;
}

class Worker : public Task {
 public:
  Worker(Shared& shared, uint32_t seed) : shared_(shared), random_(seed) {}

  uint32_t run() override { return loop(); }

 private:
  int32_t pick(int32_t n) { return std::uniform_int_distribution<int32_t>(0, n - 1)(random_); }
  int32_t random_time_out() {
    static constexpr std::array<int32_t, 5> choices = {0, 0, 1, 3, 8};
    return choices[static_cast<std::size_t>(pick(choices.size()))];
  }

  // A random set of distinct semaphores; their indexes go to `which`.
  void pick_semaphores(std::vector<WaitHandle>& handles, std::vector<int32_t>& which) {
    int32_t first = pick(semaphore_count);
    int32_t count = 1 + pick(3);
    for (int32_t k = 0; k < count; ++k) {
      int32_t s = (first + k * 2) % semaphore_count;
      handles.push_back(shared_.semaphores[static_cast<std::size_t>(s)].handle());
      which.push_back(s);
    }
  }

  void note_time_out(int32_t time_out, Clock::time_point start) {
    if (time_out > 0 && elapsed_ms(start) < time_out) ++shared_.short_time_outs;
  }

  void wait_for_any() {
    std::vector<WaitHandle> handles;
    std::vector<int32_t> which;
    pick_semaphores(handles, which);
    handles.push_back(shared_.events[static_cast<std::size_t>(pick(event_count))].handle());
    which.push_back(-1);
    int32_t time_out = random_time_out();
    if (pick(4) == 0) {
      handles.push_back(shared_.stop.handle());  // so that an unlimited wait ends
      which.push_back(-1);
      time_out = -1;
    }
    auto start = Clock::now();
    int32_t result = wait_any(handles, time_out);
    ++shared_.waits;
    if (result < 0) {
      note_time_out(time_out, start);
    } else if (which[static_cast<std::size_t>(result)] >= 0) {
      ++shared_.taken[static_cast<std::size_t>(which[static_cast<std::size_t>(result)])];
    }
  }

  void wait_for_all() {
    std::vector<WaitHandle> handles;
    std::vector<int32_t> which;
    pick_semaphores(handles, which);
    if (pick(3) == 0)
      handles.push_back(shared_.events[static_cast<std::size_t>(pick(event_count))].handle());
    int32_t time_out = random_time_out();
    auto start = Clock::now();
    int32_t result = wait_all(handles, time_out);
    ++shared_.waits;
    if (result < 0) {
      note_time_out(time_out, start);
      return;
    }
    for (int32_t s : which) ++shared_.taken[static_cast<std::size_t>(s)];
  }

  void wait_for_child() {
    Thread child(&child_routine);
    if (child.start()) return;
    int32_t s = pick(semaphore_count);
    WaitHandle semaphore = shared_.semaphores[static_cast<std::size_t>(s)].handle();
    if (pick(2) == 0) {
      if (wait_all({child.handle(), semaphore}, 10) == 0)
        ++shared_.taken[static_cast<std::size_t>(s)];
    } else if (wait_any({semaphore, child.handle()}, -1) == 0) {
      ++shared_.taken[static_cast<std::size_t>(s)];
    }
    ++shared_.waits;
    child.close();
  }

  void use_mutex() {
    bool through_any = pick(2) == 0;
    bool obtained = through_any ? wait_any({shared_.stop.handle(), shared_.mutex.handle()}, -1) == 1
                                : shared_.mutex.wait(-1);
    if (!obtained) return;
    ++shared_.guarded;
    ++shared_.guarded_expected;
    shared_.mutex.release();
  }

  uint32_t loop() {
    while (!shared_.stop.wait(0)) {
      switch (pick(8)) {
        case 0:
        case 1: {
          int32_t s = pick(semaphore_count);
          if (shared_.semaphores[static_cast<std::size_t>(s)].release()) {
            ++shared_.released[static_cast<std::size_t>(s)];
          }
          break;
        }
        case 2:
          wait_for_any();
          break;
        case 3:
          wait_for_all();
          break;
        case 4: {
          Event& event = shared_.events[static_cast<std::size_t>(pick(event_count))];
          if (pick(2) == 0) {
            event.set();
          } else {
            event.reset();
          }
          break;
        }
        case 5:
          wait_for_child();
          break;
        case 6:
          use_mutex();
          break;
        default:
          wait_for_any();
          break;
      }
    }
    return 0;
  }

  Shared& shared_;
  std::mt19937 random_;
};

TEST(WaitStressTest, CountsSurviveManyThreadsAndTimeOuts) {
  Shared shared;
  for (int32_t s = 0; s < semaphore_count; ++s) {
    shared.initial[static_cast<std::size_t>(s)] = s % 3;
    ASSERT_TRUE(shared.semaphores[static_cast<std::size_t>(s)].create(s % 3));
  }
  for (Event& event : shared.events) ASSERT_TRUE(event.create());
  ASSERT_TRUE(shared.stop.create());
  ASSERT_TRUE(shared.mutex.create());

  std::vector<std::unique_ptr<Thread>> workers;
  for (int32_t i = 0; i < worker_count; ++i) {
    workers.push_back(std::make_unique<Thread>(
        std::make_unique<Worker>(shared, 1000u + static_cast<uint32_t>(i))));
    ASSERT_FALSE(workers.back()->start());
  }
  sleep(static_cast<int32_t>(run_time.count()));
  shared.stop.set();
  std::vector<WaitHandle> ends;
  for (auto& worker : workers) ends.push_back(worker->handle());
  ASSERT_EQ(wait_all(ends, 60000), 0) << "workers did not stop";
  workers.clear();

  for (int32_t s = 0; s < semaphore_count; ++s) {
    auto index = static_cast<std::size_t>(s);
    int64_t left = 0;
    while (shared.semaphores[index].wait(0)) ++left;
    EXPECT_EQ(shared.initial[index] + shared.released[index].load(),
              shared.taken[index].load() + left)
        << "semaphore " << s;
  }
  EXPECT_EQ(shared.guarded, shared.guarded_expected.load());
  EXPECT_EQ(shared.short_time_outs.load(), 0);
  EXPECT_GT(shared.waits.load(), 1000);
  std::cout << "[ stress   ] " << shared.waits.load() << " waits, "
            << shared.guarded_expected.load() << " mutex sections\n";
}

}  // namespace
}  // namespace wayfetch
