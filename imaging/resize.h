// Resizing pictures: a separable area-averaging filter.
//
// Each output pixel is the average of the source area it covers, every
// source pixel weighted by the share of it that lies inside; the weights of
// an output pixel sum to 1. This is the right filter for shrinking (every
// source pixel counts, no aliasing) and degrades to smooth nearest-neighbour
// when enlarging.
//
// RowResampler takes source rows one at a time, top row first, so a decoder
// can shrink a picture while it decodes and never hold it at full size.
// Objects are single-threaded; failures throw EGraphicsException.
#ifndef WAYFETCH_IMAGING_RESIZE_H
#define WAYFETCH_IMAGING_RESIZE_H

#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/picture_size.h"

namespace wayfetch {

class RowResampler {
 public:
  // REQUIRES: all sides positive.
  RowResampler(PictureSize source, PictureSize destination);

  PictureSize source() const { return source_; }
  PictureSize destination() const { return destination_; }

  // Adds the next source row: source().width pixels of blue, green, red.
  // Rows beyond source().height are ignored.
  void push_row(const uint8_t* bgr);
  int32_t rows_pushed() const { return next_row_; }

  // The 24-bit result. Rows never pushed count as black.
  Bitmap finish();

 private:
  void horizontal(const uint8_t* bgr);

  PictureSize source_;
  PictureSize destination_;
  bool same_size_ = false;
  int32_t next_row_ = 0;
  // Horizontal taps: output pixel x reads source pixels first_[x] ..
  // first_[x] + count_[x] - 1 with the weights starting at weight_start_[x].
  std::vector<int32_t> first_;
  std::vector<int32_t> count_;
  std::vector<int32_t> weight_start_;
  std::vector<float> weights_;
  std::vector<float> row_;          // one source row, resized horizontally
  std::vector<float> accumulator_;  // the output, top row first, 3 floats a pixel
  Bitmap direct_;                   // used instead when nothing is resized
};

// Writes row `y` (from the top) of `source` as blue, green, red bytes into
// `out` (3 x width bytes), looking up palette colours for 1, 4 and 8 bits.
void bitmap_row_to_bgr(const Bitmap& source, int32_t y, uint8_t* out);

// `destination` = 24-bit `source` resized to exactly `size`.
// REQUIRES: both sides of `size` positive.
void resize(const Bitmap& source, Bitmap& destination, PictureSize size);
// `destination` = 24-bit `source` at `percent`: (width x percent / 100) x
// (height x percent / 100), integer division, each side at least 1 pixel.
void resize(const Bitmap& source, Bitmap& destination, int32_t percent);

}  // namespace wayfetch

#endif
