#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

namespace wayfetch::platform {

int open_flags_for(uint8_t code) {
  int flags = 0;
  switch (code & 0x03) {
    case 0:
    case 1:
      flags = O_RDONLY;
      break;
    case 2:
      flags = O_WRONLY;
      break;
    default:
      flags = O_RDWR;
      break;
  }
  switch (code & 0x1C) {
    case 4:  // create new: fail when it exists
      flags |= O_CREAT | O_EXCL;
      break;
    case 8:  // open existing
      break;
    case 12:  // open always
      flags |= O_CREAT;
      break;
    case 16:  // truncate existing: needs write access, as on the original system
      if ((code & 0x02) == 0) return -1;
      flags |= O_TRUNC;
      break;
    case 20:  // create always
      flags |= O_CREAT | O_TRUNC;
      break;
    default:
      return -1;
  }
  return flags | O_CLOEXEC;
}

int open_with_code(const std::string& path, uint8_t code, bool read_only_attribute) {
  int flags = open_flags_for(code);
  if (flags < 0 || path.empty()) return -1;
  mode_t mode = read_only_attribute ? 0444 : 0666;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // open(2) happily opens folders for reading; a file is wanted.
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string temporary_folder() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && tmpdir[0] != '\0') return tmpdir;
  return "/tmp";
}

int create_temporary_file(const std::string& prefix, std::string& path_out) {
  std::string pattern = temporary_folder();
  if (pattern.back() != '/') pattern += '/';
  pattern += prefix;
  pattern += "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    path_out.clear();
    return -1;
  }
  path_out.assign(name.data());
  return fd;
}

bool remove_file(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

std::string create_temporary_folder(const std::string& prefix) {
  std::string pattern = temporary_folder();
  if (pattern.back() != '/') pattern += '/';
  pattern += prefix;
  pattern += "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // mkdtemp makes the folder with mode 0700.
  if (::mkdtemp(name.data()) == nullptr) return "";
  return std::string(name.data());
}

bool remove_folder(const std::string& path) {
  if (path.empty()) return false;
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !error && !std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

bool is_regular_file(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool path_exists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

bool last_write_time(const std::string& path, uint64_t& file_time) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  // 1601 to 1970 in seconds; one stat answers both whether the file is there
  // and when it was written, which the due rule asks for every item.
  constexpr int64_t seconds_before_1970 = 11'644'473'600;
  const int64_t seconds = static_cast<int64_t>(info.st_mtim.tv_sec) + seconds_before_1970;
  file_time = seconds < 0 ? 0
                          : static_cast<uint64_t>(seconds) * 10'000'000 +
                                static_cast<uint64_t>(info.st_mtim.tv_nsec / 100);
  return true;
}

bool rename_path(const std::string& from, const std::string& to) {
  return !from.empty() && !to.empty() && ::rename(from.c_str(), to.c_str()) == 0;
}

bool use_default_permissions(const std::string& path) {
  // umask(2) can only be read by changing it, which races with other
  // threads creating files; the kernel reports it in the status file.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    constexpr std::string_view label = "Umask:";
    if (!line.starts_with(label)) continue;
    char* end = nullptr;
    const unsigned long mask = std::strtoul(line.c_str() + label.size(), &end, 8);
    if (end == line.c_str() + label.size()) return false;
    return ::chmod(path.c_str(), static_cast<mode_t>(0666 & ~mask)) == 0;
  }
  return false;
}

bool is_terminal(std::FILE* stream) {
  return stream != nullptr && ::isatty(::fileno(stream)) == 1;
}

namespace {

// The folder part of a path ("." when there is none).
std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string resolve_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string out(resolved);
  std::free(resolved);
  return out;
}

std::string create_file_beside(const std::string& target) {
  if (target.empty() || target.back() == '/') return "";
  std::size_t slash = target.rfind('/');
  std::string folder = folder_of(target);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string pattern = (folder == "/" ? "" : folder) + "/." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return "";
  struct stat info {};
  // A new file that cannot take the old one's bits keeps mkostemp's 0600:
  // still the owner's to use, so the save goes on.
  if (::stat(target.c_str(), &info) == 0) static_cast<void>(::fchmod(fd, info.st_mode & 07777));
  ::close(fd);
  return std::string(name.data());
}

bool replace_file(const std::string& from, const std::string& to) {
  // The new content reaches the disk before its name does: a file system may
  // otherwise commit the rename first, and a power loss then leaves an empty
  // file under the final name in place of the old one. A file whose content
  // cannot be made durable does not replace anything.
  int file = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) file = ::open(from.c_str(), O_WRONLY | O_CLOEXEC);  // a write-only copy
  if (file < 0) return false;
  const bool synced = ::fsync(file) == 0;
  ::close(file);
  if (!synced || ::rename(from.c_str(), to.c_str()) != 0) return false;
  // The rename itself lives in the folder: sync it so it survives a crash.
  int folder = ::open(folder_of(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

}  // namespace wayfetch::platform
