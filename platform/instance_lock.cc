#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wayfetch::platform {
namespace {

int flock_retrying(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

InstanceLock::~InstanceLock() {
  unlock();
}

InstanceLock::Result InstanceLock::try_lock(const std::string& path) {
  if (fd_ >= 0) return Result::locked;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error_text_ = std::strerror(errno);
    return Result::failed;
  }
  if (flock_retrying(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return Result::busy;
    error_text_ = std::strerror(error);
    return Result::failed;
  }
  // The id of an ended holder must not be read as ours until we publish.
  if (::ftruncate(fd, 0) != 0) {
    error_text_ = std::strerror(errno);
    ::close(fd);
    return Result::failed;
  }
  fd_ = fd;
  return Result::locked;
}

bool InstanceLock::publish(std::string_view content) {
  if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) return false;
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t wrote =
        ::pwrite(fd_, content.data() + done, content.size() - done, static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

void InstanceLock::unlock() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

LockHolder probe_instance_lock(const std::string& path) {
  LockHolder holder;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return holder;
  if (flock_retrying(fd, LOCK_SH | LOCK_NB) == 0) {
    ::close(fd);  // nobody holds it; closing drops our shared lock
    return holder;
  }
  if (errno != EWOULDBLOCK) {
    ::close(fd);
    return holder;
  }
  holder.held = true;
  char buffer[64];
  const ssize_t got = ::pread(fd, buffer, sizeof buffer, 0);
  if (got > 0) holder.content.assign(buffer, static_cast<std::size_t>(got));
  ::close(fd);
  return holder;
}

}  // namespace wayfetch::platform
