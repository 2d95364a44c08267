// PictureInput: the bytes of one picture, from a file or from memory, as the
// decoders read them.
//
// The decoding libraries call read() from inside their C code, so it never
// throws: a read error reads as the end of the data. Owns the open file (if
// any) and closes it when destroyed; memory input is borrowed and must
// outlive the object. Not thread-safe.
#ifndef WAYFETCH_IMAGING_PICTURE_INPUT_H
#define WAYFETCH_IMAGING_PICTURE_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace wayfetch {

class PictureInput {
 public:
  // Opens the file at `path` for reading; is_open() tells whether it worked.
  explicit PictureInput(const std::string& path);
  // Reads `size` bytes at `data` (borrowed).
  PictureInput(const uint8_t* data, size_t size);
  ~PictureInput();
  PictureInput(const PictureInput&) = delete;
  PictureInput& operator=(const PictureInput&) = delete;

  bool is_open() const { return file_ != nullptr || data_ != nullptr; }

  // Copies up to `count` bytes into `buffer`; returns how many (0 at the end,
  // on a read error or when not open).
  size_t read(uint8_t* buffer, size_t count) noexcept;
  // Goes back to the first byte; false when that is impossible.
  bool rewind() noexcept;

 private:
  std::FILE* file_ = nullptr;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t position_ = 0;
};

}  // namespace wayfetch

#endif
