#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/named_objects.h"

namespace wayfetch::platform {
namespace {

// The scoped name "<scope>-<name>" under which objects and semaphores are
// made; "" when there is no runtime folder to scope them by.
std::string scoped(std::string_view name) {
  std::string folder = runtime_folder();
  if (folder.empty() || name.empty()) return "";
  return runtime_scope(folder) + "-" + std::string(name);
}

// The shm_open name, "" when the name cannot be made.
std::string object_path(std::string_view name) {
  std::string full = named_object_name(scoped(name));
  return full.empty() ? full : "/" + full;
}

std::string mark_path(std::string_view name, MarkRole role) {
  std::string folder = runtime_folder();
  std::string safe = named_object_name(name);
  if (folder.empty() || safe.empty()) return "";
  return folder + "/" + safe + (role == MarkRole::creator ? ".creator" : ".opener");
}

class LinuxMapping final : public SharedMapping {
 public:
  LinuxMapping(uint8_t* data, std::size_t size, uint64_t identity)
      : data_(data), size_(size), identity_(identity) {}
  ~LinuxMapping() override {
    if (data_ != nullptr) ::munmap(data_, size_);
  }
  uint8_t* data() const override { return data_; }
  std::size_t size() const override { return size_; }
  uint64_t identity() const override { return identity_; }

 private:
  uint8_t* data_;
  std::size_t size_;
  uint64_t identity_;
};

// Maps all `size` bytes of `fd` (nothing when empty) and closes `fd`.
std::unique_ptr<SharedMapping> map_whole(int fd, std::size_t size, uint64_t identity) {
  void* data = nullptr;
  if (size > 0) {
    data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) data = nullptr;
  }
  ::close(fd);
  if (size > 0 && data == nullptr) return nullptr;
  return std::make_unique<LinuxMapping>(static_cast<uint8_t*>(data), size, identity);
}

class LinuxMark final : public HeldMark {
 public:
  explicit LinuxMark(int fd) : fd_(fd) {}
  ~LinuxMark() override { ::close(fd_); }  // lets go of the flock

  bool set_identity(uint64_t identity) override {
    return ::pwrite(fd_, &identity, sizeof identity, 0) == sizeof identity &&
           ::ftruncate(fd_, sizeof identity) == 0;
  }

 private:
  int fd_;
};

int retry_eintr_flock(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

class LinuxSharedMemory final : public SharedMemorySystem {
 public:
  SharedResult create_mapping(std::string_view name, std::size_t size,
                              std::unique_ptr<SharedMapping>& out) override {
    out.reset();
    std::string path = object_path(name);
    if (path.empty() || size == 0) return SharedResult::failed;
    int fd = ::shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return errno == EEXIST ? SharedResult::exists : SharedResult::failed;
    // Reserving the pages now turns a full /dev/shm into a failed create
    // instead of a SIGBUS at the first write into the ring.
    struct stat info {};
    if (::posix_fallocate(fd, 0, static_cast<off_t>(size)) != 0 || ::fstat(fd, &info) != 0) {
      ::close(fd);
      ::shm_unlink(path.c_str());
      return SharedResult::failed;
    }
    out = map_whole(fd, size, static_cast<uint64_t>(info.st_ino));
    if (out == nullptr) {
      ::shm_unlink(path.c_str());
      return SharedResult::failed;
    }
    return SharedResult::ok;
  }

  SharedResult open_mapping(std::string_view name, std::size_t max_size,
                            std::unique_ptr<SharedMapping>& out) override {
    out.reset();
    std::string path = object_path(name);
    if (path.empty()) return SharedResult::failed;
    int fd = ::shm_open(path.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) return errno == ENOENT ? SharedResult::missing : SharedResult::failed;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
      ::close(fd);
      return SharedResult::failed;
    }
    // /dev/shm is open to every user: an object someone else planted under
    // our name is never used.
    if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0 || info.st_size < 0 ||
        static_cast<uint64_t>(info.st_size) > max_size) {
      ::close(fd);
      return SharedResult::invalid;
    }
    out = map_whole(fd, static_cast<std::size_t>(info.st_size), static_cast<uint64_t>(info.st_ino));
    return out != nullptr ? SharedResult::ok : SharedResult::failed;
  }

  bool remove_mapping(std::string_view name) override {
    std::string path = object_path(name);
    return !path.empty() && ::shm_unlink(path.c_str()) == 0;
  }

  std::unique_ptr<SemaphoreObject> create_semaphore(std::string_view name,
                                                    int64_t initial) override {
    std::string full = scoped(name);
    return full.empty() ? nullptr : create_new_named_semaphore(full, initial);
  }
  std::unique_ptr<SemaphoreObject> open_semaphore(std::string_view name) override {
    std::string full = scoped(name);
    return full.empty() ? nullptr : open_existing_named_semaphore(full);
  }
  bool remove_semaphore(std::string_view name) override {
    std::string full = scoped(name);
    return !full.empty() && remove_named_semaphore(full);
  }

  SharedResult take_mark(std::string_view name, MarkRole role,
                         std::unique_ptr<HeldMark>& out) override {
    out.reset();
    std::string path = mark_path(name, role);
    if (path.empty()) return SharedResult::failed;
    // A holder that lets go removes the name first, so a lock taken on a
    // file that is no longer at `path` is worthless: try the new one.
    for (int attempt = 0; attempt < 8; ++attempt) {
      int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
      if (fd < 0) return SharedResult::failed;
      if (retry_eintr_flock(fd, LOCK_EX | LOCK_NB) != 0) {
        bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? SharedResult::busy : SharedResult::failed;
      }
      struct stat held {};
      struct stat named {};
      if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
          held.st_ino == named.st_ino && held.st_dev == named.st_dev && S_ISREG(held.st_mode)) {
        out = std::make_unique<LinuxMark>(fd);
        return SharedResult::ok;
      }
      ::close(fd);
    }
    return SharedResult::failed;
  }

  MarkProbe probe_mark(std::string_view name, MarkRole role) override {
    MarkProbe probe;
    std::string path = mark_path(name, role);
    if (path.empty()) return probe;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return probe;
    probe.present = true;
    uint64_t identity = 0;
    if (::pread(fd, &identity, sizeof identity, 0) == sizeof identity) probe.identity = identity;
    // A shared lock is refused only while an exclusive holder is alive;
    // closing the descriptor gives a granted one back.
    probe.held = retry_eintr_flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return probe;
  }

  void remove_mark(std::string_view name, MarkRole role) override {
    std::string path = mark_path(name, role);
    if (!path.empty()) ::unlink(path.c_str());
  }
};

}  // namespace

SharedMemorySystem& system_shared_memory() {
  static LinuxSharedMemory system;
  return system;
}

std::string runtime_scope(std::string_view folder) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : folder) {
    hash ^= c;
    hash *= 16777619u;
  }
  static constexpr char hex[] = "0123456789abcdef";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = hex[hash & 0xF];
    hash >>= 4;
  }
  return out;
}

}  // namespace wayfetch::platform
