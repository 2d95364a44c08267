#include "platform/user_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/file_system.h"

namespace wayfetch::platform {
namespace {

// An environment value the XDG rules accept: set and absolute.
std::string absolute_variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

std::string parent_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool is_folder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string home_folder() {
  std::string home = absolute_variable("HOME");
  if (!home.empty()) return home;
  // getpwuid_r with a buffer of the size the system suggests.
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
    return "";
  }
  return found->pw_dir;
}

std::string user_config_folder() {
  std::string folder = absolute_variable("XDG_CONFIG_HOME");
  if (!folder.empty()) return folder;
  std::string home = home_folder();
  return home.empty() ? "" : home + "/.config";
}

std::string user_data_folder() {
  std::string folder = absolute_variable("XDG_DATA_HOME");
  if (!folder.empty()) return folder;
  std::string home = home_folder();
  return home.empty() ? "" : home + "/.local/share";
}

std::string executable_path() {
  std::vector<char> buffer(4096);
  ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return "";
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string find_program_file(std::string_view name) {
  if (name.empty()) return "";
  std::string folder = parent_of(executable_path());
  for (int level = 0; level < 4 && !folder.empty(); ++level) {
    std::string candidate = (folder == "/" ? "" : folder) + "/share/wayfetch/" + std::string(name);
    if (is_regular_file(candidate)) return candidate;
    if (folder == "/") break;
    folder = parent_of(folder);
  }
  return "";
}

bool make_folders(const std::string& path) {
  if (path.empty()) return false;
  if (is_folder(path)) return true;
  std::string parent = parent_of(path);
  if (!parent.empty() && parent != path && !make_folders(parent)) return false;
  // Another process may make it at the same moment: EEXIST is success
  // when what exists is a folder.
  return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && is_folder(path));
}

}  // namespace wayfetch::platform
