// ByteSource: a byte-at-a-time reader over a page or style-sheet file, for
// the readers that take what they need and leave the rest to their caller.
//
// FileByteSource reads an open File in blocks from its current position and,
// when released or destroyed, puts the file's position just after the last
// byte taken, so the next reader continues exactly there. MemoryByteSource
// reads bytes held in memory (the caller keeps them alive). A read error
// ends a source like its end does, and failed() then tells the two apart:
// a reader that saw -1 asks, so that a page cut short by a failing disk is
// refused rather than taken for the whole page. Not thread-safe.
#ifndef WAYFETCH_EBOOK_BYTE_SOURCE_H
#define WAYFETCH_EBOOK_BYTE_SOURCE_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace wayfetch {

class File;

class ByteSource {
 public:
  ByteSource() = default;
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;
  virtual ~ByteSource() = default;

  // The next byte (0-255), or -1 at the end of the input or after a read error.
  virtual int get() = 0;
  // True once reading failed (as opposed to reaching the end).
  virtual bool failed() const { return false; }
  // Takes a run of bytes up to (not including) the next `stop` byte, as far
  // as the source holds them at hand; valid until the next call. An empty
  // run says nothing about what follows: read on with get(). Lets copying
  // loops move text a block at a time instead of a byte at a time.
  virtual std::string_view take_run(char stop) {
    static_cast<void>(stop);
    return {};
  }
};

class MemoryByteSource : public ByteSource {
 public:
  explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
  int get() override {
    return at_ < bytes_.size() ? static_cast<unsigned char>(bytes_[at_++]) : -1;
  }
  std::string_view take_run(char stop) override {
    const std::size_t end = std::min(bytes_.find(stop, at_), bytes_.size());
    const std::string_view run = bytes_.substr(at_, end - at_);
    at_ = end;
    return run;
  }
  // Bytes taken so far.
  std::size_t position() const { return at_; }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

class FileByteSource : public ByteSource {
 public:
  // REQUIRES: `file` outlives this source and is not used while it reads.
  explicit FileByteSource(File& file) : file_(file) {}
  ~FileByteSource() override { release(); }

  int get() override;
  std::string_view take_run(char stop) override;
  bool failed() const override { return failed_; }
  // Puts the file's position just after the last byte taken.
  void release();

 private:
  // Reads the next block when the current one is used up; false at the end.
  bool fill();

  File& file_;
  std::array<uint8_t, 4096> block_{};
  int32_t filled_ = 0;
  int32_t at_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

}  // namespace wayfetch

#endif
