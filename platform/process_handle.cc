#include "platform/process_handle.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string_view>

namespace wayfetch::platform {

bool ProcessHandle::open(int32_t id) {
  close();
  if (id <= 0) return false;
  // glibc 2.36 has no wrappers for these on every target: the raw calls.
  const long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(id), 0);
  if (fd < 0) return false;
  fd_ = static_cast<int>(fd);
  return true;
}

void ProcessHandle::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool ProcessHandle::wait_ended(int32_t timeout_ms) {
  if (fd_ < 0) return false;
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    pollfd entry{fd_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left < 0 ? 0 : left));
    if (ready > 0) return true;  // a pidfd becomes readable when the process ends
    if (ready == 0) return false;
    if (errno != EINTR) return false;
  }
}

bool ProcessHandle::send_signal(int signal_number) {
  if (fd_ < 0) return false;
  return ::syscall(SYS_pidfd_send_signal, fd_, signal_number, nullptr, 0) == 0;
}

std::string process_program_file(int32_t id) {
  if (id <= 0) return {};
  const std::string link = "/proc/" + std::to_string(id) + "/exe";
  char buffer[4096];
  const ssize_t got = ::readlink(link.c_str(), buffer, sizeof buffer);
  if (got <= 0 || static_cast<std::size_t>(got) >= sizeof buffer) return {};
  std::string path(buffer, static_cast<std::size_t>(got));
  constexpr std::string_view deleted = " (deleted)";
  if (path.ends_with(deleted)) path.resize(path.size() - deleted.size());
  return path;
}

int32_t current_process_id() {
  return static_cast<int32_t>(::getpid());
}

}  // namespace wayfetch::platform
