// Thread: one task run on its own operating-system thread.
//
// A Thread runs its routine with its argument, which is the Thread itself
// unless another is given, so that task classes derived from Thread receive
// themselves (see member_routine) and keep their inputs and results in their
// own fields. Its handle (see core/sync.h) is signalled once the routine has
// returned and can be waited for together with events and semaphores.
//
// Ownership: the Thread owns its OS thread and always joins it, in close()
// or in the destructor, so no thread outlives its Thread. A task class that
// derives from Thread must make sure the thread has ended (wait or close)
// before its own fields are destroyed: ~Thread runs after them.
//
// Thread safety: start, wait, close and the destructor belong to one
// controlling thread; handle() may be waited for by any thread while the
// Thread is started and not closed.
#ifndef WAYFETCH_CORE_THREAD_H
#define WAYFETCH_CORE_THREAD_H

#include <cstdint>
#include <memory>

#include "core/sync.h"
#include "platform/threads.h"

namespace wayfetch {

class Thread {
 public:
  // A routine receives the argument and returns the thread's exit code.
  using Routine = uint32_t (*)(void* argument);

  Thread() = default;
  // `argument` nullptr stands for this Thread.
  explicit Thread(Routine routine, void* argument = nullptr)
      : routine_(routine), argument_(argument) {}
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // Waits for a thread that still runs.
  virtual ~Thread() { close(); }

  // Sets what start() runs; `argument` nullptr stands for this Thread.
  void set_routine(Routine routine, void* argument = nullptr) {
    routine_ = routine;
    argument_ = argument;
  }

  // Starts the routine on a new thread. Returns true when the thread was NOT
  // started: no routine, already started and not closed, or the system
  // refused a thread (the caller may try again later).
  [[nodiscard]] bool start();
  // True once the thread has ended, waiting at most `timeout_ms` (-1 = no
  // limit); false when not started.
  bool wait(int32_t timeout_ms = -1);
  // Waits for the thread to end and lets it go; the Thread may then be
  // started again. Does nothing when not started.
  void close();

  // Signalled when the routine has returned; nullptr when not started.
  WaitHandle handle() const { return done_.get(); }
  // A number unique in this process, -1 when not started.
  int32_t thread_id() const { return thread_id_; }
  // What the routine returned; meaningful once wait() returned true.
  uint32_t exit_code() const { return exit_code_; }

  // A routine that calls `Method` (a member function without arguments that
  // returns uint32_t) on the task it receives, for derived task classes:
  //   Download() : Thread(&Thread::member_routine<&Download::run>) {}
  template <auto Method>
  static uint32_t member_routine(void* argument) {
    using Task = typename MethodClass<decltype(Method)>::type;
    return (static_cast<Task*>(static_cast<Thread*>(argument))->*Method)();
  }

 private:
  template <typename>
  struct MethodClass;
  template <typename Class>
  struct MethodClass<uint32_t (Class::*)()> {
    using type = Class;
  };

  static void entry(void* self);

  Routine routine_ = nullptr;
  void* argument_ = nullptr;
  std::unique_ptr<platform::EventObject> done_;
  platform::OsThread os_thread_;
  int32_t thread_id_ = -1;
  uint32_t exit_code_ = 0;  // written by the thread before `done_` is set
};

}  // namespace wayfetch

#endif
