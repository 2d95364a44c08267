// Waitable objects and the one way the program waits for several at once.
//
// Linux has no call that waits for a thread's end, an event and a semaphore
// together. Every waitable object here is built so that one mechanism serves
// them all: each object answers "take me if you can" without blocking
// (try_take) and, where it can, names a file descriptor that poll(2) reports
// readable while the object is signalled. A wait tries the objects, and when
// none (wait_any) or not all (wait_all) could be taken it sleeps in poll(2)
// on their descriptors until something changes or the time runs out, then
// tries again. Because the descriptors stay readable for as long as the
// object is signalled, a change between the try and the poll is never missed.
//
// Operations that lower an object's state (taking a semaphore count or a
// mutex, resetting an event) run under one process-wide lock, the take lock;
// operations that raise it (release, set, a thread's end) do not need it.
// wait_all takes its objects one by one under that lock and gives back what
// it took when one of them is not available, so inside this process it takes
// all of them at one instant or none, and no count is lost or kept.
//
// Objects shared with other processes by name are the exception: a named
// semaphore has no descriptor, so waits that include one try it again after
// short sleeps (1 ms, doubling up to 16 ms), and other processes can see the
// counts that wait_all takes and gives back. docs/waiting.md has the details.
//
// Thread-safe: any thread may wait on or signal any object. An object must
// outlive every wait that includes it.
#ifndef WAYFETCH_PLATFORM_WAITABLE_H
#define WAYFETCH_PLATFORM_WAITABLE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

namespace wayfetch::platform {

// A wait ended without taking anything because the time ran out.
inline constexpr int32_t wait_timeout = -1;
// A wait could not be carried out: an empty list, a null or repeated object
// (wait_all), or a failing system call.
inline constexpr int32_t wait_failed = -2;
// The largest count of a semaphore.
inline constexpr int64_t semaphore_max_count = 0x7FFFFFFF;

class Waitable {
 public:
  virtual ~Waitable() = default;
  Waitable(const Waitable&) = delete;
  Waitable& operator=(const Waitable&) = delete;

  // The descriptor poll(2) reports readable while the object is signalled,
  // or -1 when the object must be tried again after a sleep instead.
  virtual int descriptor() const = 0;
  // Takes the object if it is signalled and says whether it did: consumes a
  // semaphore count, takes a mutex, leaves an event as it is. Never blocks.
  // REQUIRES: the take lock is held.
  virtual bool try_take() = 0;
  // Undoes one successful try_take. REQUIRES: the take lock is held.
  virtual void give_back() = 0;
  // Waits for this object alone; true when it was taken within the time.
  // Objects with a faster single wait than the common loop override it.
  virtual bool wait(int32_t timeout_ms);

  // The lock under which objects are taken, given back and reset.
  static std::mutex& take_lock();

 protected:
  Waitable() = default;
};

// An event with manual reset: once set it stays signalled, and every wait
// succeeds, until it is reset. Created non-signalled.
class EventObject : public Waitable {
 public:
  virtual void set() = 0;
  virtual void reset() = 0;
};

// A counting semaphore: each wait takes one count, each release adds one.
class SemaphoreObject : public Waitable {
 public:
  // Adds one count; false (nothing added) when the count is at its maximum
  // or the system refuses.
  virtual bool release() = 0;
};

// A mutex owned by the thread that took it; that thread may take it again,
// and it is free once released as often as it was taken.
class MutexObject : public Waitable {
 public:
  // False when the calling thread does not own the mutex.
  virtual bool release() = 0;
};

// Objects private to this process. Each returns nullptr when the system
// refuses a descriptor (or, for the semaphore, when `initial` is outside
// 0..semaphore_max_count).
std::unique_ptr<EventObject> create_event();
std::unique_ptr<SemaphoreObject> create_semaphore(int64_t initial);
std::unique_ptr<MutexObject> create_mutex();

// Waits until one object can be taken and takes it; returns its index (the
// lowest index when several are signalled), wait_timeout or wait_failed.
// `timeout_ms` -1 waits without limit, 0 only tries.
int32_t wait_for_any(std::span<Waitable* const> objects, int32_t timeout_ms);
// Waits until every object can be taken and takes them all at once; returns
// 0, wait_timeout or wait_failed.
int32_t wait_for_all(std::span<Waitable* const> objects, int32_t timeout_ms);

}  // namespace wayfetch::platform

#endif
