#include "core/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "core/sync.h"

namespace wayfetch {
namespace {

// A task that reports through its own fields.
class SquareTask : public Task {
 public:
  explicit SquareTask(uint32_t input) : input_(input) {}
  uint32_t result() const { return result_; }
  uint32_t run() override {
    result_ = input_ * input_;
    return input_ + 1;
  }

 private:
  uint32_t input_;
  uint32_t result_ = 0;
};

uint32_t count_up(void* argument) {
  static_cast<std::atomic<int>*>(argument)->fetch_add(1);
  return 7;
}

TEST(ThreadTest, TaskReportsThroughItsFields) {
  Thread task(std::make_unique<SquareTask>(12));
  EXPECT_EQ(task.handle(), nullptr);
  EXPECT_EQ(task.thread_id(), -1);
  EXPECT_FALSE(task.wait());
  ASSERT_FALSE(task.start());  // false = started
  EXPECT_GE(task.thread_id(), 0);
  EXPECT_TRUE(task.start());  // already started
  EXPECT_TRUE(task.wait());
  EXPECT_EQ(task.task_as<SquareTask>()->result(), 144u);
  EXPECT_EQ(task.exit_code(), 13u);
  task.close();
  EXPECT_EQ(task.handle(), nullptr);
  ASSERT_FALSE(task.start());  // closed threads may start again
  EXPECT_TRUE(task.wait(5000));
}

TEST(ThreadTest, RoutineWithItsOwnArgument) {
  std::atomic<int> counter{0};
  Thread none;
  EXPECT_TRUE(none.start());  // no routine
  Thread thread(&count_up, &counter);
  ASSERT_FALSE(thread.start());
  thread.close();  // close waits for the routine
  EXPECT_EQ(counter.load(), 1);
  EXPECT_EQ(thread.exit_code(), 7u);
}

TEST(ThreadTest, HandleIsWaitableWithEvents) {
  Event go;
  ASSERT_TRUE(go.create());
  static Event* gate = nullptr;
  gate = &go;
  Thread thread([](void*) -> uint32_t { return gate->wait(-1) ? 0 : 1; });
  Event other;
  ASSERT_TRUE(other.create());
  ASSERT_FALSE(thread.start());
  EXPECT_EQ(wait_any({other.handle(), thread.handle()}, 20), -1);
  go.set();
  EXPECT_EQ(wait_any({other.handle(), thread.handle()}, -1), 1);
  EXPECT_EQ(wait_all({thread.handle(), go.handle()}, 0), 0);  // a thread's end stays signalled
  EXPECT_EQ(thread.exit_code(), 0u);
}

TEST(SyncTest, WrappersWithoutHandleDoNothing) {
  Mutex mutex;
  Event event;
  Semaphore semaphore;
  CriticalSection section;
  EXPECT_FALSE(mutex.wait(-1));
  EXPECT_FALSE(event.wait(-1));
  EXPECT_FALSE(semaphore.wait(-1));
  EXPECT_FALSE(mutex.release());
  EXPECT_FALSE(semaphore.release());
  event.set();
  event.reset();
  section.enter();
  section.leave();
  EXPECT_EQ(wait_any({event.handle()}, 0), -1);
  EXPECT_FALSE(mutex.create("shared"));  // named mutexes are not offered
  EXPECT_TRUE(mutex.create());
  EXPECT_TRUE(mutex.wait(0));
  EXPECT_TRUE(mutex.release());
}

TEST(SyncTest, CriticalSectionSerialises) {
  CriticalSection section;
  section.init();
  int64_t total = 0;
  auto add = [&] {
    for (int i = 0; i < 20000; ++i) {
      CriticalSection::Guard outer(section);
      CriticalSection::Guard inner(section);  // the owner may enter again
      ++total;
    }
  };
  std::thread a(add);
  std::thread b(add);
  a.join();
  b.join();
  EXPECT_EQ(total, 40000);
}

TEST(SyncTest, SleepSleeps) {
  auto start = std::chrono::steady_clock::now();
  sleep(15);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
}

}  // namespace
}  // namespace wayfetch
