#include "imaging/picture_input.h"

#include <algorithm>
#include <cstring>

namespace wayfetch {

namespace {

// A non-null pointer for empty memory input, so that is_open() holds.
constexpr uint8_t no_bytes[1] = {0};

}  // namespace

PictureInput::PictureInput(const std::string& path) {
  file_ = std::fopen(path.c_str(), "rb");
}

PictureInput::PictureInput(const uint8_t* data, size_t size)
    : data_(data != nullptr ? data : no_bytes), size_(data != nullptr ? size : 0) {}

PictureInput::~PictureInput() {
  if (file_ != nullptr) std::fclose(file_);
}

size_t PictureInput::read(uint8_t* buffer, size_t count) noexcept {
  if (file_ != nullptr) return std::fread(buffer, 1, count, file_);
  if (data_ == nullptr) return 0;
  const size_t n = std::min(count, size_ - position_);
  if (n > 0) std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

bool PictureInput::rewind() noexcept {
  if (file_ != nullptr) return std::fseek(file_, 0, SEEK_SET) == 0;
  position_ = 0;
  return data_ != nullptr;
}

}  // namespace wayfetch
