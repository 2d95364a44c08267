// Picture sizes: the limits every decoder enforces before it allocates, and
// the rules that size a picture for the handheld's screen.
//
// Pure functions; thread-safe. check_picture_size throws EGraphicsException.
#ifndef WAYFETCH_IMAGING_PICTURE_SIZE_H
#define WAYFETCH_IMAGING_PICTURE_SIZE_H

#include <cstdint>
#include <functional>

namespace wayfetch {

struct PictureSize {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const PictureSize&) const = default;
};

// The largest picture a decoder accepts. A file declaring more is refused
// before any pixel memory is allocated: a few hundred bytes of a hostile file
// can otherwise announce gigabytes of pixels.
struct PictureLimits {
  int32_t max_side = 16384;
  int64_t max_pixels = int64_t{64} << 20;  // 64 megapixels
};

// Throws EGraphicsException when a side is 0 or negative, or the size is
// beyond `limits`.
void check_picture_size(PictureSize size, const PictureLimits& limits);

// What a decoder should deliver, decided once the file's own size is known:
// receives the full size, returns the size wanted. An empty rule means full size.
using SizeRule = std::function<PictureSize(PictureSize)>;

// The size of a JPEG or PNG picture in its record: shrunk in true steps of
// 10 % while the estimated area is 62000 pixels or more. The number of steps
// n comes from the loop "area = area x 81 / 100 while area >= 62000"
// (integer arithmetic, area in 64 bits); each side then becomes
// side x 9^n / 10^n rounded down, at least 1 pixel. 300 x 300 takes two steps
// and gives 243 x 243; 200 x 300 (60000 pixels) stays as it is; 1000 x 1000
// gives 228 x 228 and 4000 x 3000 287 x 215.
PictureSize record_size(PictureSize full);
// The number of 10 % steps of record_size (0 = unscaled).
int32_t record_steps(PictureSize full);

// The scale in percent that fits a GIF into 220 x 280 pixels, at most 100 and
// at least 1. REQUIRES: both sides positive.
int32_t gif_scale_percent(PictureSize full);
// The record size of a GIF at `percent`: the width rounded up to a multiple
// of 4, neither side below 1 pixel before rounding.
PictureSize gif_record_size(PictureSize full, int32_t percent);

}  // namespace wayfetch

#endif
