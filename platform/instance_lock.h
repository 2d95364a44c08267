// InstanceLock: the one running instance of a program per user, as a lock
// file that holds the instance's process id.
//
// The instance takes an exclusive flock on the file without waiting and,
// once it listens for requests, writes its id into it (publish). Another
// process asks probe_instance_lock() whether somebody holds the lock and
// reads the id; the id is trusted only while the lock is held, so a file
// left by an ended process names nobody. The descriptor is close-on-exec
// and the kernel drops the lock however the holder ends; the file itself is
// never removed (a second process could otherwise lock a fresh file while
// the first still holds the old one).
//
// Not thread-safe; one object per lock file per process. Failures return
// `failed` or false.
#ifndef WAYFETCH_PLATFORM_INSTANCE_LOCK_H
#define WAYFETCH_PLATFORM_INSTANCE_LOCK_H

#include <cstdint>
#include <string>
#include <string_view>

namespace wayfetch::platform {

class InstanceLock {
 public:
  enum class Result {
    locked,  // this object holds the lock now; the file is emptied
    busy,    // another process holds it
    failed,  // the file could not be opened or locked (`error_text` says why)
  };

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock on `path` (created with mode 0600) without waiting and
  // empties the file. A second call while locked answers `locked`.
  [[nodiscard]] Result try_lock(const std::string& path);
  // Replaces the file's content with `content`; false when not locked or the
  // write failed.
  bool publish(std::string_view content);
  void unlock();
  bool held() const { return fd_ >= 0; }
  const std::string& error_text() const { return error_text_; }

 private:
  int fd_ = -1;
  std::string error_text_;
};

// What another process sees of a lock file.
struct LockHolder {
  bool held = false;    // somebody holds the lock now
  std::string content;  // the file's content (at most 64 bytes) while held
};

// Looks at the lock file at `path` without creating it. A missing or
// unreadable file is not held. The look itself holds a shared lock for a
// moment, so a process taking the lock at that instant may find it busy and
// must try again.
LockHolder probe_instance_lock(const std::string& path);

}  // namespace wayfetch::platform

#endif
