// ThreadManager: runs a set of tasks (Threads, each holding its Task) with a
// bounded number in flight and hands finished tasks back one at a time.
//
// A caller adds its tasks, then calls next_finished() repeatedly: each call
// forgets the tasks returned before (purge), admits waiting tasks by the
// admission policy (schedule), starts what was admitted and returns one task
// that has finished (wait_next), or nullptr with warning 22 when nothing is
// left running. The base policy admits tasks in the order added while fewer
// than 9 are admitted or running; a derived manager replaces schedule() with
// its own rules, using the protected task lists.
//
// Task states: 1 waiting (added) -> 0 admitted -> 2 running -> 3 finished
// (returned) -> removed by the next purge. A task whose thread cannot be
// started stays admitted and is tried again at the next wait_next.
//
// Ownership: the manager owns a task from add() until wait_next() returns it
// to the caller. Its destructor waits for every task still running, so no
// thread outlives it, and then destroys the tasks it still owns.
//
// Errors (in its ErrorState): 52 a null task added; 51 inconsistent lists (a
// task missing from the list, running lists of different lengths, a wait
// result outside them); 53 a failed wait; warning 22 (never written to the
// log) when asked to wait with nothing running. On an error the manager
// returns nullptr and keeps its lists.
//
// Thread safety: one controlling thread uses the manager; only the tasks run
// in parallel. Tasks report through their own fields, which the controlling
// thread reads (Thread::task_as) after wait_next returned them.
#ifndef WAYFETCH_CORE_THREAD_MANAGER_H
#define WAYFETCH_CORE_THREAD_MANAGER_H

#include <cstdint>
#include <memory>

#include "core/error_state.h"
#include "core/storage.h"
#include "core/sync.h"
#include "core/thread.h"

namespace wayfetch {

class ThreadManager : public ErrorState {
 public:
  static constexpr int32_t task_admitted = 0;
  static constexpr int32_t task_waiting = 1;
  static constexpr int32_t task_running = 2;
  static constexpr int32_t task_finished = 3;
  // The base policy's limit of tasks admitted or running at once.
  static constexpr int32_t max_in_flight = 9;

  ThreadManager() = default;
  ThreadManager(const ThreadManager&) = delete;
  ThreadManager& operator=(const ThreadManager&) = delete;
  virtual ~ThreadManager();

  // Appends a task in state 1; a null task raises error 52 and adds nothing.
  void add(std::unique_ptr<Thread> task);
  // purge, schedule, wait_next.
  virtual std::unique_ptr<Thread> next_finished();
  // Admission policy: turns waiting tasks (state 1) into admitted ones (0).
  virtual void schedule();
  // Starts the admitted tasks and waits without time limit for one running
  // task to finish; returns it (the caller owns it now) or nullptr.
  std::unique_ptr<Thread> wait_next();
  // Forgets the tasks already returned (state 3).
  void purge();

  // Number of tasks in the list (returned ones count until purged).
  int32_t task_count() const { return tasks_.size(); }
  // Tasks admitted or running.
  int32_t in_flight() const;

 protected:
  // The task at `i`, nullptr when out of range or already returned.
  Thread* task(int32_t i) const {
    return i >= 0 && i < tasks_.size() ? tasks_.get(i).get() : nullptr;
  }
  int32_t task_state(int32_t i) const { return task_states_.get(i); }
  void set_task_state(int32_t i, int32_t state) {
    if (i >= 0 && i < task_states_.size()) task_states_.at(i) = state;
  }

 private:
  bool start_admitted();

  Storage<std::unique_ptr<Thread>> tasks_;  // in the order added
  Storage<int32_t> task_states_;            // parallel to tasks_
  Storage<WaitHandle> running_handles_;     // what wait_next waits for
  Storage<int32_t> running_tasks_;          // task index of each running handle
};

}  // namespace wayfetch

#endif
