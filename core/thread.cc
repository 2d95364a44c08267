#include "core/thread.h"

#include <atomic>

namespace wayfetch {
namespace {

std::atomic<uint32_t> last_thread_id{0};

}  // namespace

void Thread::set_task(std::unique_ptr<Task> task) {
  task_ = std::move(task);
  routine_ = nullptr;
  argument_ = nullptr;
}

void Thread::set_routine(Routine routine, void* argument) {
  task_.reset();
  routine_ = routine;
  argument_ = argument;
}

bool Thread::start() {
  if ((task_ == nullptr && routine_ == nullptr) || done_ != nullptr) return true;
  done_ = platform::create_event();
  if (done_ == nullptr) return true;
  // Numbered before the thread runs, so the routine may read its own id.
  // Numbers stay non-negative after wrapping, so -1 keeps meaning "none".
  thread_id_ = static_cast<int32_t>((last_thread_id.fetch_add(1, std::memory_order_relaxed) + 1) &
                                    0x7FFFFFFF);
  exit_code_ = 0;
  if (!os_thread_.start(&Thread::entry, this)) {
    done_.reset();
    thread_id_ = -1;
    return true;
  }
  return false;
}

void Thread::entry(void* self) {
  auto* thread = static_cast<Thread*>(self);
  if (thread->task_ != nullptr) {
    thread->exit_code_ = thread->task_->run();
  } else {
    void* argument = thread->argument_ != nullptr ? thread->argument_ : thread;
    thread->exit_code_ = thread->routine_(argument);
  }
  // Setting the event publishes the exit code and the task's results.
  thread->done_->set();
}

bool Thread::wait(int32_t timeout_ms) {
  return done_ != nullptr && done_->wait(timeout_ms);
}

void Thread::close() {
  if (done_ == nullptr) return;
  os_thread_.join();
  done_.reset();
  thread_id_ = -1;
}

}  // namespace wayfetch
