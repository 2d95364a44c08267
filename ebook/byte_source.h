// ByteSource: a byte-at-a-time reader over a page or style-sheet file, for
// the readers that take what they need and leave the rest to their caller.
//
// FileByteSource reads an open File in blocks from its current position and,
// when released or destroyed, puts the file's position just after the last
// byte taken, so the next reader continues exactly there. MemoryByteSource
// reads bytes held in memory (the caller keeps them alive). Not thread-safe.
#ifndef WAYFETCH_EBOOK_BYTE_SOURCE_H
#define WAYFETCH_EBOOK_BYTE_SOURCE_H

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
};

class MemoryByteSource : public ByteSource {
 public:
  explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
  int get() override {
    return at_ < bytes_.size() ? static_cast<unsigned char>(bytes_[at_++]) : -1;
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
  // Puts the file's position just after the last byte taken.
  void release();

 private:
  File& file_;
  std::array<uint8_t, 4096> block_{};
  int32_t filled_ = 0;
  int32_t at_ = 0;
  bool ended_ = false;
};

}  // namespace wayfetch

#endif
