#include "core/thread_manager.h"

#include <span>
#include <utility>

namespace wayfetch {

ThreadManager::~ThreadManager() {
  // Join every task still running before the tasks (and what they use) go.
  for (auto& task : tasks_) {
    if (task) task->close();
  }
}

void ThreadManager::add(std::unique_ptr<Thread> task) {
  if (!task) {
    raise_error(errors::thread_manager_null_task);
    return;
  }
  int32_t n = tasks_.size();
  tasks_.at(n) = std::move(task);
  task_states_.at(n) = task_waiting;
  if (tasks_.size() != task_states_.size()) {
    // One list could not grow: drop the half-added entry so both stay parallel.
    if (tasks_.size() > n) tasks_.remove(n);
    if (task_states_.size() > n) task_states_.remove(n);
    raise_error(errors::thread_manager_unknown);
  }
}

int32_t ThreadManager::in_flight() const {
  int32_t count = 0;
  for (int32_t state : task_states_) {
    if (state == task_admitted || state == task_running) ++count;
  }
  return count;
}

void ThreadManager::schedule() {
  int32_t admitted = 0;
  for (int32_t i = 0; i < task_states_.size(); ++i) {
    int32_t state = task_states_.get(i);
    if (state != task_admitted && state != task_running) continue;
    if (task(i) == nullptr) {
      raise_error(errors::thread_manager_unknown);
      return;
    }
    ++admitted;
  }
  for (int32_t i = 0; i < task_states_.size() && admitted < max_in_flight; ++i) {
    if (task_states_.get(i) != task_waiting) continue;
    task_states_.at(i) = task_admitted;
    ++admitted;
  }
}

bool ThreadManager::start_admitted() {
  for (int32_t i = 0; i < task_states_.size(); ++i) {
    if (task_states_.get(i) != task_admitted) continue;
    Thread* thread = task(i);
    if (thread == nullptr) {
      raise_error(errors::thread_manager_unknown);
      return false;
    }
    // A refused start leaves the task admitted; the next call tries again.
    if (thread->start()) continue;
    int32_t slot = running_handles_.size();
    running_handles_.at(slot) = thread->handle();
    running_tasks_.at(slot) = i;
    task_states_.at(i) = task_running;
  }
  return true;
}

std::unique_ptr<Thread> ThreadManager::wait_next() {
  if (!start_admitted()) return nullptr;
  int32_t running = running_handles_.size();
  if (running != running_tasks_.size()) {
    raise_error(errors::thread_manager_unknown);
    return nullptr;
  }
  if (running == 0) {
    // An expected outcome at the end of every run: recorded, never logged.
    warning = warnings::nothing_to_wait_for;
    return nullptr;
  }
  int32_t result = wait_any(
      std::span<const WaitHandle>(running_handles_.begin(), static_cast<std::size_t>(running)), -1);
  if (result < 0) {
    raise_error(errors::wait_failed);
    return nullptr;
  }
  int32_t index = result < running ? running_tasks_.get(result) : -1;
  if (task(index) == nullptr || task_states_.get(index) != task_running) {
    raise_error(errors::thread_manager_unknown);
    return nullptr;
  }
  std::unique_ptr<Thread> finished = std::move(tasks_.at(index));
  finished->close();
  task_states_.at(index) = task_finished;
  running_handles_.remove(result);
  running_tasks_.remove(result);
  return finished;
}

void ThreadManager::purge() {
  for (int32_t i = tasks_.size() - 1; i >= 0; --i) {
    if (task_states_.get(i) != task_finished) continue;
    tasks_.remove(i);
    task_states_.remove(i);
    for (int32_t& running : running_tasks_) {
      if (running > i) --running;
    }
  }
}

std::unique_ptr<Thread> ThreadManager::next_finished() {
  purge();
  schedule();
  return wait_next();
}

}  // namespace wayfetch
