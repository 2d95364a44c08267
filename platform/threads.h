// Operating-system threads and sleeping.
//
// OsThread owns at most one joinable thread. A thread is always joined, by
// join() or by the destructor, so no thread outlives the object that started
// it and no thread resources leak (the one exception: a thread that joins
// itself is detached and frees its resources when it ends). Creation failures
// are return values, never exceptions. An OsThread is used by one
// controlling thread at a time.
#ifndef WAYFETCH_PLATFORM_THREADS_H
#define WAYFETCH_PLATFORM_THREADS_H

#include <cstdint>
#include <thread>

namespace wayfetch::platform {

class OsThread {
 public:
  using Entry = void (*)(void* argument);

  OsThread() = default;
  OsThread(const OsThread&) = delete;
  OsThread& operator=(const OsThread&) = delete;
  // Joins a thread that is still running.
  ~OsThread() { join(); }

  // Starts a thread running entry(argument) with the default stack size.
  // False when a thread is already held or the system refuses a new one.
  [[nodiscard]] bool start(Entry entry, void* argument);
  // Waits for the thread to end and releases it; does nothing without one.
  void join();
  bool running() const { return thread_.joinable(); }

 private:
  std::thread thread_;
};

// Suspends the calling thread for `ms` milliseconds of the clock in use
// (platform/clock.h; 0 yields the processor).
void sleep_ms(int32_t ms);

// Gives the calling thread the lowest scheduling priority (nice 19 for this
// thread alone: Linux keeps a nice value per thread). Threads it starts
// afterwards inherit it. False when the system refuses.
bool lower_current_thread_priority();

}  // namespace wayfetch::platform

#endif
