// Synchronisation wrappers: Mutex, Event, Semaphore, CriticalSection, and
// the waits on several of them at once.
//
// Each wrapper owns one object of platform/waitable.h (its handle), null until
// created; create() on a created wrapper replaces its object. A wait on a
// wrapper without a handle returns false at once; release/set/reset do
// nothing. Named events and semaphores are shared with other processes of
// the same user (platform/named_objects.h); names are UTF-8. How several
// objects are waited for together, and what that can promise, is in
// docs/waiting.md.
//
// Thread-safe: once created, any thread may wait on or signal a wrapper.
// Creating, closing and destroying a wrapper belong to its owner, and no
// wait may include a wrapper while it is closed or destroyed.
#ifndef WAYFETCH_CORE_SYNC_H
#define WAYFETCH_CORE_SYNC_H

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

#include "platform/thread_annotations.h"
#include "platform/waitable.h"

namespace wayfetch {

// What wait_any and wait_all wait on: a wrapper's or a Thread's handle().
using WaitHandle = platform::Waitable*;

// A mutex owned by the thread that obtained it; the owner may obtain it
// again and must release it as often. A thread must release it before it
// ends (an owner that ends keeps it owned). Fields it guards are marked
// WAYFETCH_GUARDED_BY(mutex) for clang's -Wthread-safety.
class WAYFETCH_CAPABILITY("mutex") Mutex {
 public:
  // Creates the mutex, not owned. Named mutexes are not offered (nothing in
  // the program shares one between processes): a non-empty name fails.
  bool create(std::string_view name = {});
  // False when the calling thread does not own the mutex.
  bool release() WAYFETCH_RELEASE();
  // True when obtained within `timeout_ms` (-1 = no limit).
  bool wait(int32_t timeout_ms) WAYFETCH_TRY_ACQUIRE(true);
  void close() { object_.reset(); }
  WaitHandle handle() const { return object_.get(); }

  // Timed lockable, for std::unique_lock: lock() does nothing without a handle.
  void lock() WAYFETCH_ACQUIRE() { wait(-1); }
  void unlock() WAYFETCH_RELEASE() { release(); }
  bool try_lock() WAYFETCH_TRY_ACQUIRE(true) { return wait(0); }
  template <typename Rep, typename Period>
  bool try_lock_for(const std::chrono::duration<Rep, Period>& time) WAYFETCH_TRY_ACQUIRE(true) {
    return wait(static_cast<int32_t>(std::chrono::ceil<std::chrono::milliseconds>(time).count()));
  }

 private:
  std::unique_ptr<platform::MutexObject> object_;
};

// Releases a Mutex the caller has obtained when the scope ends:
//   if (!mutex.wait(100)) return;
//   MutexRelease release(mutex);
class WAYFETCH_SCOPED_CAPABILITY MutexRelease {
 public:
  explicit MutexRelease(Mutex& mutex) WAYFETCH_REQUIRES(mutex) : mutex_(mutex) {}
  ~MutexRelease() WAYFETCH_RELEASE() { mutex_.release(); }
  MutexRelease(const MutexRelease&) = delete;
  MutexRelease& operator=(const MutexRelease&) = delete;

 private:
  Mutex& mutex_;
};

// An event with manual reset, created non-signalled. With a name it is
// created, or opened when another holder has it open.
class Event {
 public:
  bool create(std::string_view name = {});
  void set();
  void reset();
  // True when signalled within `timeout_ms` (-1 = no limit); leaves it set.
  bool wait(int32_t timeout_ms);
  void close() { object_.reset(); }
  WaitHandle handle() const { return object_.get(); }

 private:
  std::unique_ptr<platform::EventObject> object_;
};

// A counting semaphore with maximum count 0x7FFFFFFF. With a name it is
// created with `initial` counts, or opened with the count it has.
class Semaphore {
 public:
  bool create(int64_t initial, std::string_view name = {});
  // Adds one count; false at the maximum count or without a handle.
  bool release();
  // True when a count was taken within `timeout_ms` (-1 = no limit).
  bool wait(int32_t timeout_ms);
  void close() { object_.reset(); }
  WaitHandle handle() const { return object_.get(); }

  // Removes a named semaphore left by an ended process, so that the next
  // create() starts it afresh; holders keep theirs. False when none existed.
  static bool remove_name(std::string_view name);

 private:
  std::unique_ptr<platform::SemaphoreObject> object_;
};

// A lock for short sections inside this process; the owner may enter again
// and leaves as often. Not waitable with the others.
class WAYFETCH_CAPABILITY("mutex") CriticalSection {
 public:
  void init() { mutex_ = std::make_unique<std::recursive_mutex>(); }
  void enter() WAYFETCH_ACQUIRE() {
    if (mutex_) mutex_->lock();
  }
  void leave() WAYFETCH_RELEASE() {
    if (mutex_) mutex_->unlock();
  }

  // Holds the section for one scope.
  class WAYFETCH_SCOPED_CAPABILITY Guard {
   public:
    explicit Guard(CriticalSection& section) WAYFETCH_ACQUIRE(section) : section_(section) {
      section_.enter();
    }
    ~Guard() WAYFETCH_RELEASE() { section_.leave(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    CriticalSection& section_;
  };

 private:
  std::unique_ptr<std::recursive_mutex> mutex_;
};

// Waits until one handle is signalled and takes it (a semaphore count, a
// mutex); returns its index (the lowest when several are), or -1 on
// time-out or failure (an empty list, a null handle). -1 = no time limit.
int32_t wait_any(std::span<const WaitHandle> handles, int32_t timeout_ms);
inline int32_t wait_any(std::initializer_list<WaitHandle> handles, int32_t timeout_ms) {
  return wait_any(std::span<const WaitHandle>(handles.begin(), handles.size()), timeout_ms);
}
// Waits until all handles are signalled at once and takes them all; returns
// 0, or -1 on time-out or failure (also for a handle listed twice).
int32_t wait_all(std::span<const WaitHandle> handles, int32_t timeout_ms);
inline int32_t wait_all(std::initializer_list<WaitHandle> handles, int32_t timeout_ms) {
  return wait_all(std::span<const WaitHandle>(handles.begin(), handles.size()), timeout_ms);
}

// Suspends the calling thread for `ms` milliseconds.
void sleep(int32_t ms);

}  // namespace wayfetch

#endif
