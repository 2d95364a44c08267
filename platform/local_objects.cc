// Events, semaphores and mutexes private to this process, on eventfd(2).
//
// An eventfd is readable while its counter is above zero, which is exactly
// "signalled" for all three: an event keeps a counter of 1 while set, a
// semaphore (EFD_SEMAPHORE mode, where each read takes one) keeps its count,
// a mutex keeps 1 while nobody owns it. Reads and writes are non-blocking;
// waiting is left to poll(2) in waitable.cc.
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/waitable.h"

namespace wayfetch::platform {
namespace {

bool add_one(int fd) {
  uint64_t one = 1;
  ssize_t n;
  do {
    n = ::write(fd, &one, sizeof one);
  } while (n < 0 && errno == EINTR);
  return n == sizeof one;
}

// Takes one count in semaphore mode, or the whole counter otherwise.
bool take(int fd) {
  uint64_t value = 0;
  ssize_t n;
  do {
    n = ::read(fd, &value, sizeof value);
  } while (n < 0 && errno == EINTR);
  return n == sizeof value;
}

class LocalEvent final : public EventObject {
 public:
  explicit LocalEvent(int fd) : fd_(fd) {}
  ~LocalEvent() override { ::close(fd_); }

  int descriptor() const override { return fd_; }
  // The flag, not the descriptor, is the event's state: it gives waiters a
  // proper acquire of whatever the setter wrote before setting.
  bool try_take() override { return signalled_.load(std::memory_order_acquire); }
  void give_back() override {}

  void set() override {
    std::lock_guard lock(mutex_);
    if (signalled_.load(std::memory_order_relaxed)) return;
    signalled_.store(true, std::memory_order_release);
    add_one(fd_);
  }
  void reset() override {
    // Under the take lock, so that no wait_all sees this event set while it
    // is half-way through taking its other objects.
    std::lock_guard take_guard(take_lock());
    std::lock_guard lock(mutex_);
    if (!signalled_.load(std::memory_order_relaxed)) return;
    signalled_.store(false, std::memory_order_relaxed);
    take(fd_);
  }

 private:
  int fd_;
  std::mutex mutex_;  // keeps the flag and the counter in step
  std::atomic<bool> signalled_{false};
};

class LocalSemaphore final : public SemaphoreObject {
 public:
  LocalSemaphore(int fd, int64_t initial) : fd_(fd), count_(initial) {}
  ~LocalSemaphore() override { ::close(fd_); }

  int descriptor() const override { return fd_; }
  bool try_take() override {
    if (!take(fd_)) return false;
    count_.fetch_sub(1, std::memory_order_acq_rel);
    return true;
  }
  void give_back() override {
    count_.fetch_add(1, std::memory_order_acq_rel);
    add_one(fd_);
  }
  bool release() override {
    // The shadow count can only run ahead of the descriptor's, so a release
    // is refused at the maximum at the latest, never below it.
    if (count_.fetch_add(1, std::memory_order_acq_rel) >= semaphore_max_count || !add_one(fd_)) {
      count_.fetch_sub(1, std::memory_order_acq_rel);
      return false;
    }
    return true;
  }

 private:
  int fd_;
  std::atomic<int64_t> count_;
};

class LocalMutex final : public MutexObject {
 public:
  explicit LocalMutex(int fd) : fd_(fd) {}
  ~LocalMutex() override { ::close(fd_); }

  // Not readable while owned, also for the owner: the owner's own waits
  // succeed on their first try and never reach poll.
  int descriptor() const override { return fd_; }
  bool try_take() override {
    std::thread::id me = std::this_thread::get_id();
    if (owner_.load(std::memory_order_acquire) == me) {
      ++depth_;
      return true;
    }
    if (!take(fd_)) return false;
    owner_.store(me, std::memory_order_release);
    depth_ = 1;
    return true;
  }
  void give_back() override { release(); }
  bool release() override {
    if (owner_.load(std::memory_order_acquire) != std::this_thread::get_id()) return false;
    if (--depth_ > 0) return true;
    owner_.store(std::thread::id(), std::memory_order_release);
    add_one(fd_);
    return true;
  }

 private:
  int fd_;
  std::atomic<std::thread::id> owner_{};
  int64_t depth_ = 0;  // touched only by the owner
};

}  // namespace

std::unique_ptr<EventObject> create_event() {
  int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return nullptr;
  return std::make_unique<LocalEvent>(fd);
}

std::unique_ptr<SemaphoreObject> create_semaphore(int64_t initial) {
  if (initial < 0 || initial > semaphore_max_count) return nullptr;
  int fd = eventfd(static_cast<unsigned>(initial), EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
  if (fd < 0) return nullptr;
  return std::make_unique<LocalSemaphore>(fd, initial);
}

std::unique_ptr<MutexObject> create_mutex() {
  int fd = eventfd(1, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
  if (fd < 0) return nullptr;
  return std::make_unique<LocalMutex>(fd);
}

}  // namespace wayfetch::platform
