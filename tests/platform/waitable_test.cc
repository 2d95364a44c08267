#include "platform/waitable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace wayfetch::platform {
namespace {

using Clock = std::chrono::steady_clock;

int32_t any(std::initializer_list<Waitable*> objects, int32_t timeout_ms) {
  return wait_for_any(std::span<Waitable* const>(objects.begin(), objects.size()), timeout_ms);
}
int32_t all(std::initializer_list<Waitable*> objects, int32_t timeout_ms) {
  return wait_for_all(std::span<Waitable* const>(objects.begin(), objects.size()), timeout_ms);
}
int64_t elapsed_ms(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

TEST(WaitableTest, EventStaysSignalledUntilReset) {
  auto event = create_event();
  ASSERT_NE(event, nullptr);
  EXPECT_FALSE(event->wait(0));
  event->set();
  event->set();
  EXPECT_TRUE(event->wait(0));
  EXPECT_TRUE(event->wait(-1));  // waiting does not reset
  event->reset();
  EXPECT_FALSE(event->wait(0));
  event->set();  // a set after a reset of a doubly-set event signals again
  EXPECT_TRUE(event->wait(0));
}

TEST(WaitableTest, SemaphoreCountsAndLimits) {
  EXPECT_EQ(create_semaphore(-1), nullptr);
  EXPECT_EQ(create_semaphore(semaphore_max_count + 1), nullptr);
  auto semaphore = create_semaphore(2);
  ASSERT_NE(semaphore, nullptr);
  EXPECT_TRUE(semaphore->wait(0));
  EXPECT_TRUE(semaphore->wait(0));
  EXPECT_FALSE(semaphore->wait(0));
  EXPECT_TRUE(semaphore->release());
  EXPECT_TRUE(semaphore->wait(0));

  auto full = create_semaphore(semaphore_max_count);
  ASSERT_NE(full, nullptr);
  EXPECT_FALSE(full->release());
  EXPECT_TRUE(full->wait(0));
  EXPECT_TRUE(full->release());
}

TEST(WaitableTest, MutexIsOwnedAndRecursive) {
  auto mutex = create_mutex();
  ASSERT_NE(mutex, nullptr);
  EXPECT_FALSE(mutex->release());  // not owned by us
  ASSERT_TRUE(mutex->wait(0));
  ASSERT_TRUE(mutex->wait(0));  // the owner may take it again
  auto other_takes = [&] {
    bool taken = false;
    std::thread other([&] {
      taken = mutex->wait(0);
      if (taken) {
        EXPECT_TRUE(mutex->release());
      } else {
        EXPECT_FALSE(mutex->release());
      }
    });
    other.join();
    return taken;
  };
  EXPECT_FALSE(other_takes());
  EXPECT_TRUE(mutex->release());
  EXPECT_FALSE(other_takes());  // still held once
  EXPECT_TRUE(mutex->release());
  EXPECT_TRUE(other_takes());
}

TEST(WaitableTest, WaitAnyTakesOnlyTheLowestSignalled) {
  auto first = create_semaphore(1);
  auto second = create_semaphore(1);
  auto event = create_event();
  EXPECT_EQ(any({event.get(), second.get(), first.get()}, 0), 1);
  EXPECT_FALSE(second->wait(0));  // the count went to the winner only
  EXPECT_TRUE(first->wait(0));
  event->set();
  EXPECT_EQ(any({first.get(), event.get()}, 0), 1);
  EXPECT_EQ(any({first.get(), second.get()}, 0), wait_timeout);
}

TEST(WaitableTest, BadListsFail) {
  auto event = create_event();
  event->set();
  EXPECT_EQ(any({}, 0), wait_failed);
  EXPECT_EQ(all({}, 0), wait_failed);
  EXPECT_EQ(any({event.get(), nullptr}, 0), wait_failed);
  EXPECT_EQ(all({nullptr, event.get()}, 0), wait_failed);
  EXPECT_EQ(all({event.get(), event.get()}, 0), wait_failed);
}

TEST(WaitableTest, WaitAllTakesAllOrNothing) {
  auto a = create_semaphore(1);
  auto b = create_semaphore(0);
  auto event = create_event();
  event->set();
  EXPECT_EQ(all({a.get(), event.get(), b.get()}, 0), wait_timeout);
  EXPECT_EQ(all({a.get(), event.get(), b.get()}, 15), wait_timeout);
  EXPECT_TRUE(a->wait(0));  // given back, not kept
  EXPECT_TRUE(a->release());
  EXPECT_TRUE(b->release());
  EXPECT_EQ(all({a.get(), event.get(), b.get()}, 0), 0);
  EXPECT_FALSE(a->wait(0));
  EXPECT_FALSE(b->wait(0));
  EXPECT_TRUE(event->wait(0));
}

// While a wait_all holds out for a missing object, the objects it already
// has signalled stay available to everyone else in the process.
TEST(WaitableTest, WaitAllNeverHoldsPartOfItsSet) {
  auto a = create_semaphore(1);
  auto b = create_semaphore(0);
  std::atomic<int32_t> result{99};
  std::thread waiter([&] { result = all({a.get(), b.get()}, -1); });
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TRUE(a->wait(0)) << "round " << i;
    ASSERT_TRUE(a->release());
  }
  EXPECT_EQ(result.load(), 99);
  ASSERT_TRUE(b->release());
  waiter.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_FALSE(a->wait(0));
  EXPECT_FALSE(b->wait(0));
}

TEST(WaitableTest, WaitsWakeOnSignalsFromOtherThreads) {
  auto event = create_event();
  auto semaphore = create_semaphore(0);
  auto start = Clock::now();
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    semaphore->release();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event->set();
  });
  EXPECT_EQ(any({event.get(), semaphore.get()}, -1), 1);
  EXPECT_EQ(all({event.get()}, 5000), 0);
  EXPECT_GE(elapsed_ms(start), 40);
  setter.join();
}

TEST(WaitableTest, TimeOutsAreNeverShort) {
  auto event = create_event();
  for (int32_t timeout : {1, 7, 30}) {
    auto start = Clock::now();
    EXPECT_EQ(any({event.get()}, timeout), wait_timeout);
    EXPECT_GE(elapsed_ms(start), timeout);
    start = Clock::now();
    EXPECT_EQ(all({event.get()}, timeout), wait_timeout);
    EXPECT_GE(elapsed_ms(start), timeout);
  }
}

}  // namespace
}  // namespace wayfetch::platform
