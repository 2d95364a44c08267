#include "platform/named_objects.h"

#include <fcntl.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/file_system.h"
#include "platform/wait_support.h"

namespace wayfetch::platform {
namespace {

constexpr std::size_t max_safe_name = 200;

bool is_safe(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

// The name with every unsafe byte written as %XX; "" when too long.
std::string escaped(std::string_view name) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (is_safe(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 0x0F];
    }
  }
  return out;
}

// A folder we created or own, used by nobody else.
bool private_folder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info {};
  return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

class NamedSemaphore final : public SemaphoreObject {
 public:
  explicit NamedSemaphore(sem_t* semaphore) : semaphore_(semaphore) {}
  ~NamedSemaphore() override { ::sem_close(semaphore_); }

  int descriptor() const override { return -1; }
  bool try_take() override {
    int result;
    do {
      result = ::sem_trywait(semaphore_);
    } while (result != 0 && errno == EINTR);
    return result == 0;
  }
  void give_back() override { ::sem_post(semaphore_); }
  bool release() override { return ::sem_post(semaphore_) == 0; }

  // Alone, the semaphore can be waited for exactly, without sleeps (on the
  // system clock: a test's clock is followed by the common loop).
  bool wait(int32_t timeout_ms) override {
    if (timeout_ms == 0) return try_take();
    Deadline deadline(timeout_ms);
    if (!deadline.unlimited() && !deadline.on_system_clock()) return Waitable::wait(timeout_ms);
    timespec end{};
    if (!deadline.unlimited()) {
      // sem_clockwait measures on CLOCK_MONOTONIC, as steady_clock does on Linux.
      auto since = deadline.end().time_since_epoch();
      auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
      end.tv_sec = static_cast<time_t>(seconds.count());
      end.tv_nsec = static_cast<long>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
    }
    while (true) {
      int result = deadline.unlimited() ? ::sem_wait(semaphore_)
                                        : ::sem_clockwait(semaphore_, CLOCK_MONOTONIC, &end);
      if (result == 0) return true;
      if (errno != EINTR) return false;
    }
  }

 private:
  sem_t* semaphore_;
};

class FifoEvent final : public EventObject {
 public:
  explicit FifoEvent(int fd) : fd_(fd) {}
  ~FifoEvent() override { ::close(fd_); }

  int descriptor() const override { return fd_; }
  bool try_take() override { return is_readable(fd_); }
  void give_back() override {}

  void set() override {
    if (is_readable(fd_)) return;  // already set; keep the FIFO from filling up
    char one = 1;
    // EAGAIN means the FIFO is full, which is set as well.
    while (::write(fd_, &one, 1) < 0 && errno == EINTR) {
    }
  }
  void reset() override {
    std::lock_guard take_guard(take_lock());
    std::array<char, 256> bytes{};
    while (true) {
      ssize_t n = ::read(fd_, bytes.data(), bytes.size());
      if (n > 0) continue;
      if (n < 0 && errno == EINTR) continue;
      break;  // empty (EAGAIN)
    }
  }

 private:
  int fd_;
};

}  // namespace

std::string named_object_name(std::string_view name) {
  if (name.empty()) return "";
  std::string safe = escaped(name);
  if (safe.size() > max_safe_name) return "";
  return "wayfetch-" + std::to_string(::geteuid()) + "-" + safe;
}

std::string runtime_folder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    std::string folder = std::string(runtime) + "/wayfetch";
    if (private_folder(folder)) return folder;
  }
  std::string folder = temporary_folder();
  if (folder.back() != '/') folder += '/';
  folder += "wayfetch-" + std::to_string(::geteuid());
  return private_folder(folder) ? folder : std::string();
}

std::unique_ptr<SemaphoreObject> open_named_semaphore(std::string_view name, int64_t initial) {
  std::string full = named_object_name(name);
  if (full.empty() || initial < 0 || initial > semaphore_max_count) return nullptr;
  sem_t* semaphore =
      ::sem_open(("/" + full).c_str(), O_CREAT, 0600, static_cast<unsigned>(initial));
  if (semaphore == SEM_FAILED) return nullptr;
  return std::make_unique<NamedSemaphore>(semaphore);
}

bool remove_named_semaphore(std::string_view name) {
  std::string full = named_object_name(name);
  return !full.empty() && ::sem_unlink(("/" + full).c_str()) == 0;
}

std::unique_ptr<EventObject> open_named_event(std::string_view name) {
  std::string full = named_object_name(name);
  std::string folder = runtime_folder();
  if (full.empty() || folder.empty()) return nullptr;
  std::string path = folder + "/" + full + ".event";
  if (::mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) return nullptr;
  // Opened for reading and writing, a FIFO never blocks the open and never
  // reports end-of-file: we are always our own writer.
  int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode) || info.st_uid != ::geteuid()) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<FifoEvent>(fd);
}

}  // namespace wayfetch::platform
