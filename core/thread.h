// Thread: one task run on its own operating-system thread.
//
// What runs is a Task object the Thread owns (derive from Task, keep inputs
// and results in its fields, and read them through task_as<T>() once the
// thread has ended), or a plain routine with an argument, which is the
// Thread itself unless another is given. The handle (see core/sync.h) is
// signalled once the work has returned and can be waited for together with
// events and semaphores.
//
// Ownership and lifetime: the Thread owns its OS thread and its task, and
// always joins the thread, in close() or in its destructor, before the task
// is destroyed; so no task can outlive its own fields, and no derived
// destructor has to remember anything. A Thread is final: tasks are
// composed into it, never derived from it.
//
// Thread safety: start, wait, close, set_task/set_routine and the destructor
// belong to one controlling thread; handle() may be waited for by any thread
// while the Thread is started and not closed. The task's fields belong to
// the running thread until the handle is signalled.
#ifndef WAYFETCH_CORE_THREAD_H
#define WAYFETCH_CORE_THREAD_H

#include <cstdint>
#include <memory>
#include <utility>

#include "core/sync.h"
#include "platform/threads.h"

namespace wayfetch {

// Work for a Thread.
class Task {
 public:
  virtual ~Task() = default;
  // Runs on the thread; returns the thread's exit code.
  virtual uint32_t run() = 0;
};

class Thread final {
 public:
  // A routine receives the argument and returns the thread's exit code.
  using Routine = uint32_t (*)(void* argument);

  // Nothing to run: start() refuses until a task or routine is set.
  Thread() = default;
  explicit Thread(std::unique_ptr<Task> task) : task_(std::move(task)) {}
  // `argument` nullptr stands for this Thread.
  explicit Thread(Routine routine, void* argument = nullptr)
      : routine_(routine), argument_(argument) {}
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // Waits for a thread that still runs, then destroys the task.
  ~Thread() { close(); }

  // Sets what start() runs, replacing the task or routine set before.
  // REQUIRES: not started (or closed).
  void set_task(std::unique_ptr<Task> task);
  void set_routine(Routine routine, void* argument = nullptr);

  // The task (nullptr when running a routine or nothing). Its fields may be
  // read once wait() returned true.
  Task* task() const { return task_.get(); }
  template <typename T>
  T* task_as() const {
    return dynamic_cast<T*>(task_.get());
  }

  // Starts the work on a new thread. Returns true when the thread was NOT
  // started: nothing to run, already started and not closed, or the system
  // refused a thread (the caller may try again later).
  [[nodiscard]] bool start();
  // True once the thread has ended, waiting at most `timeout_ms` (-1 = no
  // limit); false when not started.
  bool wait(int32_t timeout_ms = -1);
  // Waits for the thread to end and lets it go; the Thread may then be
  // started again. Does nothing when not started.
  void close();

  // Signalled when the work has returned; nullptr when not started.
  WaitHandle handle() const { return done_.get(); }
  // A number unique in this process, -1 when not started.
  int32_t thread_id() const { return thread_id_; }
  // What the work returned; meaningful once wait() returned true.
  uint32_t exit_code() const { return exit_code_; }

 private:
  static void entry(void* self);

  std::unique_ptr<Task> task_;
  Routine routine_ = nullptr;
  void* argument_ = nullptr;
  std::unique_ptr<platform::EventObject> done_;
  platform::OsThread os_thread_;
  int32_t thread_id_ = -1;
  uint32_t exit_code_ = 0;  // written by the thread before `done_` is set
};

}  // namespace wayfetch

#endif
