// A private folder for the files a fuzz target works on (in memory when
// /dev/shm is writable), removed with everything in it when the process
// ends; and writing the fuzzer's bytes to a file there.
#ifndef WAYFETCH_FUZZ_SCRATCH_FOLDER_H
#define WAYFETCH_FUZZ_SCRATCH_FOLDER_H

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace wayfetch::fuzzing {

// The folder, made at the first call; `prefix` names it. Never destroyed,
// so that the exit handler can still use it.
inline const std::string& scratch_folder(const char* prefix) {
  static const std::string* folder = [prefix] {
    std::string pattern =
        (access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/") + std::string(prefix) + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    auto* made = new std::string(pattern);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(*folder, ignored);
    });
    return made;
  }();
  return *folder;
}

inline void write_file(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace wayfetch::fuzzing

#endif
