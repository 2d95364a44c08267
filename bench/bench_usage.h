// The command lines of the timed programs: "--help" prints how to call the
// program, and a folder argument that names no folder is refused with that
// text, instead of ending in an uncaught filesystem exception.
#ifndef WAYFETCH_BENCH_BENCH_USAGE_H
#define WAYFETCH_BENCH_BENCH_USAGE_H

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace wayfetch::bench {

// True, after printing `usage` to standard output, when an argument is
// "--help" or "-h".
inline bool asked_for_help(int argc, char** argv, const char* usage) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(usage, stdout);
      return true;
    }
  }
  return false;
}

// True when `folder` names a folder; otherwise says so and prints `usage`
// to standard error.
inline bool is_folder_argument(const char* folder, const char* usage) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return true;
  std::fprintf(stderr, "'%s' is not a folder\n%s", folder, usage);
  return false;
}

// Exit code for a wrong command line.
inline constexpr int usage_exit = 2;

}  // namespace wayfetch::bench

#endif
