// Bitmap: a device-independent picture as the handheld's BMP records hold it.
//
// Bit count 1, 4, 8 or 24. Pictures of up to 8 bits carry a palette of
// 2^bit count entries (blue, green, red); 24-bit pictures have none and store
// each pixel as blue, green, red. Rows are stored bottom-up, as in a BMP file:
// row(0) is the bottom row of the picture. Each row is padded with zero bytes
// to a multiple of 4 bytes. Sub-byte pixels are packed from the high bits
// down (the leftmost pixel of a 1-bit row is bit 7 of its first byte).
//
// Failures throw (see docs/bmp_record_format.md for the file it becomes):
// an unsupported bit count EInvalidBitCount, a row or palette entry outside
// the picture ESubscriptOutOfRange, a negative or absurd size
// EGraphicsException. A Bitmap owns its pixels; copy and move are by value.
// Not thread-safe; distinct bitmaps may be used from distinct threads.
#ifndef WAYFETCH_IMAGING_BITMAP_H
#define WAYFETCH_IMAGING_BITMAP_H

#include <cstdint>
#include <vector>

namespace wayfetch {

struct PaletteEntry {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  bool operator==(const PaletteEntry&) const = default;
};

class Bitmap {
 public:
  // An empty 24-bit bitmap of 0 x 0 pixels.
  Bitmap() = default;
  // A bitmap of `width` x `height` pixels, all bytes 0 (palette entries black).
  Bitmap(int32_t width, int32_t height, int32_t bit_count);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t bit_count() const { return bit_count_; }
  bool empty() const { return width_ == 0 || height_ == 0; }
  // Bytes per stored row, padded to a multiple of 4.
  int32_t row_bytes() const { return row_bytes_; }
  // Entries of the palette: 2^bit count up to 8 bits, 0 for 24 bits.
  int32_t palette_size() const { return static_cast<int32_t>(palette_.size()); }

  // Row `y` counted from the bottom (stored order).
  uint8_t* row(int32_t y);
  const uint8_t* row(int32_t y) const;
  // Row `y` counted from the top of the picture.
  uint8_t* row_from_top(int32_t y) { return row(height_ - 1 - y); }
  const uint8_t* row_from_top(int32_t y) const { return row(height_ - 1 - y); }

  PaletteEntry& palette_entry(int32_t index);
  const PaletteEntry& palette_entry(int32_t index) const;
  const std::vector<PaletteEntry>& palette() const { return palette_; }

  // All stored rows, bottom row first (row_bytes() x height() bytes).
  const std::vector<uint8_t>& pixels() const { return pixels_; }

  // The palette index of pixel `x` of a stored row (bit counts 1, 4, 8).
  static uint8_t index_at(const uint8_t* row, int32_t x, int32_t bit_count);

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t bit_count_ = 24;
  int32_t row_bytes_ = 0;
  std::vector<PaletteEntry> palette_;
  std::vector<uint8_t> pixels_;
};

}  // namespace wayfetch

#endif
