#include "imaging/bitmap.h"

#include "imaging/graphics_exception.h"

namespace wayfetch {

namespace {

// No picture we build comes near this; a larger request is a bug or a hostile
// size that slipped past the decoders' limits, and must not wrap int32 row
// arithmetic below.
constexpr int64_t max_bitmap_bytes = int64_t{1} << 30;

}  // namespace

Bitmap::Bitmap(int32_t width, int32_t height, int32_t bit_count) {
  if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24) {
    throw EInvalidBitCount();
  }
  if (width < 0 || height < 0) throw EGraphicsException("Invalid bitmap size");
  const int64_t row_bits = int64_t{width} * bit_count;
  const int64_t row_bytes = (row_bits + 31) / 32 * 4;
  if (row_bytes * height > max_bitmap_bytes) throw EGraphicsException("Bitmap too large");
  width_ = width;
  height_ = height;
  bit_count_ = bit_count;
  row_bytes_ = static_cast<int32_t>(row_bytes);
  if (bit_count <= 8) palette_.resize(size_t{1} << bit_count);
  pixels_.assign(static_cast<size_t>(row_bytes * height), 0);
}

uint8_t* Bitmap::row(int32_t y) {
  if (y < 0 || y >= height_) throw ESubscriptOutOfRange();
  return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(row_bytes_);
}

const uint8_t* Bitmap::row(int32_t y) const {
  if (y < 0 || y >= height_) throw ESubscriptOutOfRange();
  return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(row_bytes_);
}

PaletteEntry& Bitmap::palette_entry(int32_t index) {
  if (index < 0 || index >= palette_size()) throw ESubscriptOutOfRange();
  return palette_[static_cast<size_t>(index)];
}

const PaletteEntry& Bitmap::palette_entry(int32_t index) const {
  if (index < 0 || index >= palette_size()) throw ESubscriptOutOfRange();
  return palette_[static_cast<size_t>(index)];
}

uint8_t Bitmap::index_at(const uint8_t* row, int32_t x, int32_t bit_count) {
  switch (bit_count) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
      return (x & 1) != 0 ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default:
      return row[x];
  }
}

}  // namespace wayfetch
