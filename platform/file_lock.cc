#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wayfetch::platform {

FileLock::~FileLock() {
  unlock();
}

FileLock::Result FileLock::try_lock(const std::string& path) {
  if (fd_ >= 0) return Result::locked;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error_text_ = std::strerror(errno);
    return Result::failed;
  }
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return Result::busy;
    error_text_ = std::strerror(error);
    return Result::failed;
  }
  fd_ = fd;
  return Result::locked;
}

void FileLock::unlock() {
  if (fd_ < 0) return;
  // Closing the only descriptor of the open file description drops the lock.
  ::close(fd_);
  fd_ = -1;
}

}  // namespace wayfetch::platform
