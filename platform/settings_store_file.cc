#include "platform/settings_store_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/file_replacement.h"
#include "platform/user_folders.h"

namespace wayfetch::platform {
namespace {

std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string describe(const std::string& what, const std::string& path, int error_number) {
  return what + " " + path + ": " + std::strerror(error_number);
}

// A descriptor closed when it goes out of scope; closing also drops a flock.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool write_all(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

FileSettingsStore::FileSettingsStore(std::string path) : path_(std::move(path)) {}

FileSettingsStore::FileSettingsStore() : FileSettingsStore(default_path()) {}

std::string FileSettingsStore::default_path() {
  std::string folder = user_config_folder();
  if (folder.empty()) return "";
  return folder + "/" + std::string(program_folder_name) + "/settings";
}

SettingsStatus FileSettingsStore::read_text(std::string& out) const {
  out.clear();
  if (path_.empty()) {
    return SettingsStatus::failure(SettingsError::unreadable, "no folder for the settings");
  }
  // O_NONBLOCK: opening a FIFO put in the file's place must not hang us; a
  // regular file ignores the flag.
  Descriptor file(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) {
    if (errno == ENOENT) return {};
    return SettingsStatus::failure(SettingsError::unreadable,
                                   describe("cannot open", path_, errno));
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return SettingsStatus::failure(SettingsError::unreadable, "not a regular file: " + path_);
  }
  if (info.st_size > max_file_size) {
    return SettingsStatus::failure(SettingsError::unreadable, "larger than 4 MB: " + path_);
  }
  out.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (true) {
    // One byte more than the size said, to notice a file that grew.
    if (done == out.size()) out.resize(done + 4096);
    ssize_t n = ::read(file.get(), out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      out.clear();
      return SettingsStatus::failure(SettingsError::unreadable,
                                     describe("cannot read", path_, errno));
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    if (done > static_cast<std::size_t>(max_file_size)) {
      out.clear();
      return SettingsStatus::failure(SettingsError::unreadable, "larger than 4 MB: " + path_);
    }
  }
  out.resize(done);
  return {};
}

SettingsStatus FileSettingsStore::write_text(const std::string& text) const {
  FileReplacement replacement(path_);
  if (!replacement.ready()) {
    return SettingsStatus::failure(SettingsError::write_failed,
                                   describe("cannot create a file beside", path_, errno));
  }
  bool written = false;
  {
    Descriptor file(::open(replacement.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    written = file.get() >= 0 && write_all(file.get(), text);
  }
  if (!written || !replacement.commit()) {
    return SettingsStatus::failure(SettingsError::write_failed,
                                   describe("cannot write", replacement.target(), errno));
  }
  return {};
}

SettingsStatus FileSettingsStore::read_all(SettingsData& out) {
  std::string text;
  SettingsStatus status = read_text(text);
  out = status.ok() ? SettingsData::parse(text) : SettingsData();
  return status;
}

SettingsStatus FileSettingsStore::update(const Edit& edit) {
  if (path_.empty()) {
    return SettingsStatus::failure(SettingsError::write_failed, "no folder for the settings");
  }
  if (!make_folders(folder_of(path_))) {
    return SettingsStatus::failure(SettingsError::write_failed,
                                   describe("cannot make the folder of", path_, errno));
  }
  std::string lock_path = path_ + ".lock";
  Descriptor lock(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) {
    return SettingsStatus::failure(SettingsError::write_failed,
                                   describe("cannot open", lock_path, errno));
  }
  int locked;
  do {
    locked = ::flock(lock.get(), LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    return SettingsStatus::failure(SettingsError::write_failed,
                                   describe("cannot lock", lock_path, errno));
  }
  std::string old_text;
  SettingsStatus status = read_text(old_text);
  if (!status.ok()) return status;
  SettingsData data = SettingsData::parse(old_text);
  if (!edit(data)) return {};
  std::string new_text = data.format();
  if (new_text == old_text) return {};
  return write_text(new_text);
}

}  // namespace wayfetch::platform
