// FileLock: one writer at a time across processes, through an exclusive
// advisory lock (flock) on a lock file.
//
// try_lock opens (creating, mode 0600) the lock file and takes the lock
// without waiting; the descriptor is close-on-exec, so tools the holder
// starts (handheld tools, a browser) never keep the lock alive after it
// ends. The lock goes with the object (or the process, however it ends: the
// kernel drops it with the last descriptor). The file itself is never
// removed: removing it would let a second process lock a new file while the
// first still holds the old one.
//
// Not thread-safe; one object per lock file per process.
#ifndef WAYFETCH_PLATFORM_FILE_LOCK_H
#define WAYFETCH_PLATFORM_FILE_LOCK_H

#include <string>

namespace wayfetch::platform {

class FileLock {
 public:
  enum class Result {
    locked,  // this object holds the lock now
    busy,    // another open file description holds it
    failed,  // the file could not be opened or locked (`error_text` says why)
  };

  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock on `path` without waiting. A second call while locked
  // answers `locked` without doing anything.
  [[nodiscard]] Result try_lock(const std::string& path);
  // Releases the lock (nothing when not held).
  void unlock();
  bool held() const { return fd_ >= 0; }
  // The system's reason for the last `failed`.
  const std::string& error_text() const { return error_text_; }

 private:
  int fd_ = -1;
  std::string error_text_;
};

}  // namespace wayfetch::platform

#endif
