// Writing an answer's body into the caller's target file, and reading a
// local file addressed with "file:".
//
// The target file is emptied when a body begins and then receives it piece
// by piece. A short write (full disk, I/O error) or a body above the byte
// limit empties the file again and stops the transfer; the connector reports
// both with 104. Not thread-safe: one sink per transfer.
#ifndef WAYFETCH_WEB_TARGET_FILE_H
#define WAYFETCH_WEB_TARGET_FILE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "core/file.h"
#include "platform/http_transfer.h"

namespace wayfetch {

class TargetFileSink : public platform::HttpBodySink {
 public:
  TargetFileSink(File& target, int64_t limit) : target_(target), limit_(limit) {}

  // Keeps the body of a 200 answer only; other bodies are dropped and leave
  // the file as it is.
  bool begin(int32_t status, int64_t declared_length, bool& keep_body) override;
  bool write(const char* data, std::size_t size) override;

  // A write failed or the body was too long (the file is empty then).
  bool failed() const { return failed_; }
  int64_t written() const { return written_; }

 private:
  bool fail();

  File& target_;
  int64_t limit_;
  int64_t written_ = 0;
  bool failed_ = false;
};

enum class LocalReadResult {
  ok,
  cannot_open,  // missing or not readable
  not_regular,  // a folder, FIFO, device or socket: never opened, as reading may block
  write_failed,
  read_failed,
  stopped,  // `stop` was raised (or its deadline passed) before the end
};

// Copies the local file at `path` (already decoded) into the sink as the
// body of a 200 answer, looking at `stop` (may be null) between pieces.
LocalReadResult read_local_file(const std::string& path, TargetFileSink& sink,
                                const platform::HttpStop* stop = nullptr);

// The path of a file address: percent escapes decoded. False for a path that
// would name something else than it says (an escaped zero byte).
bool local_path_of(std::string_view url_path, std::string& path);

}  // namespace wayfetch

#endif
