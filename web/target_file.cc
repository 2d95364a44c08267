#include "web/target_file.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "core/ascii.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

// Pieces handed to the file and read from local files.
constexpr int32_t piece_size = 4096;

}  // namespace

bool TargetFileSink::begin(int32_t status, int64_t declared_length, bool& keep_body) {
  keep_body = false;
  if (status != 200) return true;
  written_ = 0;
  failed_ = false;
  if (!target_.truncate(0)) return fail();
  // A declared length above the limit is refused before any byte is read.
  if (declared_length > limit_) return fail();
  keep_body = true;
  return true;
}

bool TargetFileSink::write(const char* data, std::size_t size) {
  if (failed_) return false;
  if (static_cast<int64_t>(size) > limit_ - written_) return fail();
  while (size > 0) {
    int32_t piece = static_cast<int32_t>(std::min<std::size_t>(size, piece_size));
    if (target_.write(data, piece) != piece) return fail();
    data += piece;
    size -= static_cast<std::size_t>(piece);
    written_ += piece;
  }
  return true;
}

bool TargetFileSink::fail() {
  // Whatever part of the body arrived is worthless: the file is left empty.
  failed_ = true;
  target_.truncate(0);
  return false;
}

LocalReadResult read_local_file(const std::string& path, TargetFileSink& sink,
                                const platform::HttpStop* stop) {
  // Opening a FIFO for reading waits for a writer, and a device may never
  // end: only regular files are read.
  if (!platform::is_regular_file(path)) {
    std::error_code error;
    return std::filesystem::exists(path, error) ? LocalReadResult::not_regular
                                                : LocalReadResult::cannot_open;
  }
  File source;
  if (!source.open(path, File::read_existing)) return LocalReadResult::cannot_open;
  int64_t size = source.size();
  bool keep = false;
  if (!sink.begin(200, size, keep)) return LocalReadResult::write_failed;
  std::array<char, piece_size> buffer;
  for (;;) {
    // A large file on slow storage must not outlast abort_all or the watchdog.
    if (stop != nullptr && stop->raised()) return LocalReadResult::stopped;
    int32_t got = source.read(buffer.data(), piece_size);
    if (got < 0) return LocalReadResult::read_failed;
    if (got == 0) break;
    if (!sink.write(buffer.data(), static_cast<std::size_t>(got))) {
      return LocalReadResult::write_failed;
    }
  }
  // A read that failed before the end is not taken for the whole file.
  if (sink.written() < size) return LocalReadResult::read_failed;
  return LocalReadResult::ok;
}

bool local_path_of(std::string_view url_path, std::string& path) {
  path.clear();
  for (std::size_t i = 0; i < url_path.size(); ++i) {
    char c = url_path[i];
    if (c == '%' && i + 2 < url_path.size()) {
      int high = ascii::hex_value(url_path[i + 1]);
      int low = ascii::hex_value(url_path[i + 2]);
      if (high >= 0 && low >= 0) {
        c = static_cast<char>(high * 16 + low);
        i += 2;
      }
    }
    if (c == '\0') return false;
    path.push_back(c);
  }
  return !path.empty();
}

}  // namespace wayfetch
