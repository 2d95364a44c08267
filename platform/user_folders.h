// Where the program keeps its files on Linux: the user's folders after the
// XDG base directory rules, the program file itself and the read-only files
// installed with it (docs/platform.md, "Folders").
//
// Environment values are read on every call, so tests can point them into a
// temporary folder. A relative or empty XDG_* value is ignored, as the XDG
// rules say. Thread-safe as long as nobody changes the environment at the
// same time. Failures return "" or false.
#ifndef WAYFETCH_PLATFORM_USER_FOLDERS_H
#define WAYFETCH_PLATFORM_USER_FOLDERS_H

#include <string>
#include <string_view>

namespace wayfetch::platform {

// The program's folder name under the user's XDG folders.
inline constexpr std::string_view program_folder_name = "lorvane-wayfetch";

// $HOME when it is absolute, else the home folder of the user's passwd entry.
std::string home_folder();
// $XDG_CONFIG_HOME when absolute, else home + "/.config".
std::string user_config_folder();
// $XDG_DATA_HOME when absolute, else home + "/.local/share".
std::string user_data_folder();
// The running program file's full path (/proc/self/exe).
std::string executable_path();
// A read-only file installed with the program: the first
// "<folder>/share/wayfetch/<name>" that is a regular file, trying the
// program file's folder and the three folders above it in turn. So an
// installed "<prefix>/bin/wayfetch" finds "<prefix>/share/wayfetch/", and a
// program or test in the build tree finds the build tree's
// "share/wayfetch/". "" when there is none.
std::string find_program_file(std::string_view name);
// Creates `path` and the folders above it that are missing, with mode 0700
// as the XDG rules ask. True when the folder exists afterwards.
bool make_folders(const std::string& path);

}  // namespace wayfetch::platform

#endif
