// Lock rules written on the declarations, checked by clang's -Wthread-safety
// (the fuzz preset builds with clang; g++ ignores them), and the two plain
// locks that carry them.
//
// A field shared between threads names the lock that guards it
// (WAYFETCH_GUARDED_BY(mutex_)); an operation that must be called with a
// lock held says so (WAYFETCH_REQUIRES). The standard library's mutexes are
// not annotated in libstdc++, so shared fields are guarded by the wrappers
// below, whose operations are.
#ifndef WAYFETCH_PLATFORM_THREAD_ANNOTATIONS_H
#define WAYFETCH_PLATFORM_THREAD_ANNOTATIONS_H

#include <mutex>
#include <shared_mutex>

#if defined(__clang__)
#define WAYFETCH_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define WAYFETCH_THREAD_ANNOTATION(x)
#endif

#define WAYFETCH_CAPABILITY(x) WAYFETCH_THREAD_ANNOTATION(capability(x))
#define WAYFETCH_SCOPED_CAPABILITY WAYFETCH_THREAD_ANNOTATION(scoped_lockable)
#define WAYFETCH_GUARDED_BY(x) WAYFETCH_THREAD_ANNOTATION(guarded_by(x))
#define WAYFETCH_PT_GUARDED_BY(x) WAYFETCH_THREAD_ANNOTATION(pt_guarded_by(x))
#define WAYFETCH_REQUIRES(...) WAYFETCH_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define WAYFETCH_REQUIRES_SHARED(...) \
  WAYFETCH_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
#define WAYFETCH_ACQUIRE(...) WAYFETCH_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define WAYFETCH_ACQUIRE_SHARED(...) \
  WAYFETCH_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define WAYFETCH_RELEASE(...) WAYFETCH_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define WAYFETCH_RELEASE_SHARED(...) \
  WAYFETCH_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define WAYFETCH_TRY_ACQUIRE(...) WAYFETCH_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define WAYFETCH_EXCLUDES(...) WAYFETCH_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define WAYFETCH_NO_THREAD_SAFETY_ANALYSIS WAYFETCH_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace wayfetch::platform {

// A std::mutex the analysis knows. Not recursive.
class WAYFETCH_CAPABILITY("mutex") PlainMutex {
 public:
  void lock() WAYFETCH_ACQUIRE() { mutex_.lock(); }
  void unlock() WAYFETCH_RELEASE() { mutex_.unlock(); }
  // For std::condition_variable_any and the like.
  std::mutex& native() { return mutex_; }

 private:
  std::mutex mutex_;
};

// Holds a PlainMutex for one scope.
class WAYFETCH_SCOPED_CAPABILITY PlainLock {
 public:
  explicit PlainLock(PlainMutex& mutex) WAYFETCH_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~PlainLock() WAYFETCH_RELEASE() { mutex_.unlock(); }
  PlainLock(const PlainLock&) = delete;
  PlainLock& operator=(const PlainLock&) = delete;

 private:
  PlainMutex& mutex_;
};

// A std::shared_mutex the analysis knows: many readers or one writer.
class WAYFETCH_CAPABILITY("mutex") ReadWriteMutex {
 public:
  void lock() WAYFETCH_ACQUIRE() { mutex_.lock(); }
  void unlock() WAYFETCH_RELEASE() { mutex_.unlock(); }
  void lock_shared() WAYFETCH_ACQUIRE_SHARED() { mutex_.lock_shared(); }
  void unlock_shared() WAYFETCH_RELEASE_SHARED() { mutex_.unlock_shared(); }

 private:
  std::shared_mutex mutex_;
};

// Holds a ReadWriteMutex shared (reading) for one scope.
class WAYFETCH_SCOPED_CAPABILITY ReadLock {
 public:
  explicit ReadLock(ReadWriteMutex& mutex) WAYFETCH_ACQUIRE_SHARED(mutex) : mutex_(mutex) {
    mutex_.lock_shared();
  }
  ~ReadLock() WAYFETCH_RELEASE() { mutex_.unlock_shared(); }
  ReadLock(const ReadLock&) = delete;
  ReadLock& operator=(const ReadLock&) = delete;

 private:
  ReadWriteMutex& mutex_;
};

// Holds a ReadWriteMutex exclusively (writing) for one scope.
class WAYFETCH_SCOPED_CAPABILITY WriteLock {
 public:
  explicit WriteLock(ReadWriteMutex& mutex) WAYFETCH_ACQUIRE(mutex) : mutex_(mutex) {
    mutex_.lock();
  }
  ~WriteLock() WAYFETCH_RELEASE() { mutex_.unlock(); }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  ReadWriteMutex& mutex_;
};

}  // namespace wayfetch::platform

#endif
