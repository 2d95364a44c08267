#include "ebook/picture_pool.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace wayfetch {

int PicturePool::default_threads() {
  const auto cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(cores, 1, max_threads);
}

// Twice the threads: each thread can start its next picture while the
// writer has not yet taken its last one.
PicturePool::PicturePool(int threads, Convert convert)
    : convert_(std::move(convert)),
      thread_count_(static_cast<std::size_t>(std::clamp(threads, 1, max_threads))),
      window_(2 * thread_count_) {}

PicturePool::~PicturePool() {
  {
    platform::PlainLock lock(mutex_);
    stopping_ = true;
  }
  room_.notify_all();
  for (auto& thread : threads_) thread->close();
}

void PicturePool::add(const std::string& path) {
  std::size_t count = 0;
  {
    platform::PlainLock lock(mutex_);
    paths_.push_back(path);
    results_.emplace_back();
    count = paths_.size();
  }
  room_.notify_all();
  // A thread per picture until there are enough.
  if (!refused_ && threads_.size() < std::min(thread_count_, count)) {
    auto thread = std::make_unique<Thread>(&PicturePool::run, this);
    // start() answers true when the system refused the thread.
    if (thread->start()) {
      refused_ = true;
    } else {
      threads_.push_back(std::move(thread));
    }
  }
}

uint32_t PicturePool::run(void* pool) {
  static_cast<PicturePool*>(pool)->work();
  return 0;
}

PicturePool::Result PicturePool::convert_one(const std::string& path) {
  Result result;
  try {
    result.record = convert_(path);
  } catch (...) {
    // Thrown again by take(), on the writer's thread.
    result.failure = std::current_exception();
  }
  return result;
}

void PicturePool::work() {
  mutex_.lock();
  while (true) {
    while (!stopping_ && (next_ >= paths_.size() || next_ >= taken_ + window_)) {
      room_.wait(mutex_);
    }
    if (stopping_) break;
    const std::size_t index = next_++;
    const std::string path = paths_[index];
    mutex_.unlock();
    Result result = convert_one(path);
    mutex_.lock();
    results_[index] = std::move(result);
    converted_.notify_all();
  }
  mutex_.unlock();
}

bool PicturePool::is_next(const std::string& path) const {
  platform::PlainLock lock(mutex_);
  return taken_ < paths_.size() && paths_[taken_] == path;
}

PictureRecord PicturePool::take() {
  Result result;
  if (threads_.empty()) {
    // No thread could be started: convert here, as without a pool.
    std::string path;
    {
      platform::PlainLock lock(mutex_);
      path = paths_[taken_++];
      next_ = taken_;
    }
    result = convert_one(path);
  } else {
    platform::PlainLock lock(mutex_);
    const std::size_t index = taken_;
    while (!results_[index].record && !results_[index].failure) converted_.wait(mutex_);
    result = std::move(results_[index]);
    results_[index] = {};
    ++taken_;
  }
  room_.notify_all();
  if (result.failure) std::rethrow_exception(result.failure);
  return std::move(*result.record);
}

}  // namespace wayfetch
