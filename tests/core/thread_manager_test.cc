#include "core/thread_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "core/error_log.h"
#include "core/string.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

// What the tasks of one test share: how many run at once, how many are gone.
struct Board {
  Board() { all_open.create(); }
  Event all_open;  // opens every gate at once
  std::atomic<int32_t> running{0};
  std::atomic<int32_t> most_running{0};
  std::atomic<int32_t> destroyed{0};
};

// A task that runs until its gate opens. Its destructor relies on the
// Thread having joined it: nothing here waits.
class GatedTask : public Task {
 public:
  GatedTask(Board& board, int32_t number) : board_(board), number_(number) { gate_.create(); }
  ~GatedTask() override { ++board_.destroyed; }
  void open() { gate_.set(); }
  int32_t number() const { return number_; }

  uint32_t run() override {
    int32_t now = ++board_.running;
    int32_t most = board_.most_running;
    while (now > most && !board_.most_running.compare_exchange_weak(most, now)) {
    }
    wait_any({gate_.handle(), board_.all_open.handle()}, -1);
    --board_.running;
    return 0;
  }

 private:
  Board& board_;
  int32_t number_;
  Event gate_;
};

class ThreadManagerTest : public ::testing::Test {
 protected:
  // Adds `count` gated tasks numbered from 0 and keeps pointers to them.
  void add_tasks(ThreadManager& manager, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      auto thread = std::make_unique<Thread>(std::make_unique<GatedTask>(board_, i));
      tasks_.push_back(thread->task_as<GatedTask>());
      threads_.push_back(thread.get());
      manager.add(std::move(thread));
    }
  }
  // The number of the task next_finished returns, or -1 for none.
  static int32_t number_of(const std::unique_ptr<Thread>& task) {
    return task ? task->task_as<GatedTask>()->number() : -1;
  }

  Board board_;
  std::vector<GatedTask*> tasks_;
  std::vector<Thread*> threads_;  // the Threads that run tasks_
};

TEST_F(ThreadManagerTest, TwelveTasksRunAtMostNineAtATime) {
  ThreadManager manager;
  add_tasks(manager, 12);
  for (int32_t k = 0; k < 12; ++k) {
    tasks_[static_cast<std::size_t>(k)]->open();
    std::unique_ptr<Thread> finished = manager.next_finished();
    ASSERT_EQ(number_of(finished), k);
    // Call k started tasks 0 .. 8 + k, in the order added; 0 .. k came back.
    int32_t expected = std::min(9 + k, 12);
    for (int32_t i = k + 1; i < 12; ++i) {
      EXPECT_EQ(threads_[static_cast<std::size_t>(i)]->handle() != nullptr, i < expected)
          << "task " << i << " after call " << k;
    }
    EXPECT_LE(manager.in_flight(), 9);
  }
  EXPECT_LE(board_.most_running.load(), 9);
  EXPECT_EQ(manager.next_finished(), nullptr);
  EXPECT_EQ(manager.warning, 22);
  EXPECT_EQ(manager.error, 0);
  EXPECT_EQ(manager.task_count(), 0);
}

TEST_F(ThreadManagerTest, EmptyManagerWarnsWithoutLogging) {
  testing::TempDir dir;
  std::string path = dir.file("error_log.txt");
  ErrorLog log(String(path.c_str()), true);
  ScopedErrorSink install(&log);
  ThreadManager manager;
  EXPECT_EQ(manager.next_finished(), nullptr);
  EXPECT_EQ(manager.warning, 22);
  EXPECT_EQ(manager.error, 0);
  log.flush();
  EXPECT_EQ(testing::read_bytes(path), "\xFF\xFE");  // byte-order mark only

  manager.add(nullptr);
  EXPECT_EQ(manager.error, 52);
  EXPECT_EQ(manager.task_count(), 0);
  log.flush();
  EXPECT_NE(testing::read_bytes(path), "\xFF\xFE");  // errors are logged
}

TEST_F(ThreadManagerTest, PurgeRemovesConsecutiveFinishedTasks) {
  ThreadManager manager;
  add_tasks(manager, 4);
  manager.schedule();
  tasks_[1]->open();
  tasks_[2]->open();
  std::unique_ptr<Thread> first = manager.wait_next();
  std::unique_ptr<Thread> second = manager.wait_next();
  EXPECT_EQ(std::min(number_of(first), number_of(second)), 1);
  EXPECT_EQ(std::max(number_of(first), number_of(second)), 2);
  EXPECT_EQ(manager.task_count(), 4);
  manager.purge();
  EXPECT_EQ(manager.task_count(), 2);
  // The running tasks' indexes followed the removal: 3 and then 0 come back.
  tasks_[3]->open();
  EXPECT_EQ(number_of(manager.next_finished()), 3);
  tasks_[0]->open();
  EXPECT_EQ(number_of(manager.next_finished()), 0);
  EXPECT_EQ(manager.next_finished(), nullptr);
  EXPECT_EQ(manager.error, 0);
}

TEST_F(ThreadManagerTest, TaskThatCannotStartIsTriedAgain) {
  ThreadManager manager;
  auto owned = std::make_unique<Thread>();  // no routine: start refuses
  Thread* stubborn = owned.get();
  manager.add(std::move(owned));
  EXPECT_EQ(manager.next_finished(), nullptr);
  EXPECT_EQ(manager.warning, 22);
  EXPECT_EQ(manager.in_flight(), 1);  // still admitted
  stubborn->set_routine([](void*) -> uint32_t { return 5; });
  std::unique_ptr<Thread> finished = manager.next_finished();
  ASSERT_EQ(finished.get(), stubborn);
  EXPECT_EQ(finished->exit_code(), 5u);
  EXPECT_EQ(finished->handle(), nullptr);  // closed by the manager
}

// A manager that admits one task at a time, newest first.
class OneAtATime : public ThreadManager {
 public:
  void schedule() override {
    if (in_flight() > 0) return;
    for (int32_t i = task_count() - 1; i >= 0; --i) {
      if (task_state(i) == task_waiting) {
        set_task_state(i, task_admitted);
        return;
      }
    }
  }
};

TEST_F(ThreadManagerTest, DerivedManagerReplacesTheAdmissionPolicy) {
  OneAtATime manager;
  add_tasks(manager, 5);
  for (GatedTask* task : tasks_) task->open();
  for (int32_t expected = 4; expected >= 0; --expected) {
    EXPECT_EQ(number_of(manager.next_finished()), expected);
  }
  EXPECT_EQ(board_.most_running.load(), 1);
}

TEST_F(ThreadManagerTest, DestructorWaitsForRunningTasks) {
  std::thread opener;
  {
    ThreadManager manager;
    add_tasks(manager, 12);
    tasks_[0]->open();
    ASSERT_EQ(number_of(manager.next_finished()), 0);  // 1..8 keep running
    opener = std::thread([this] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      board_.all_open.set();
    });
  }
  opener.join();
  // Every task ended before it was destroyed; none is left behind.
  EXPECT_EQ(board_.running.load(), 0);
  EXPECT_EQ(board_.destroyed.load(), 12);
}

}  // namespace
}  // namespace wayfetch
