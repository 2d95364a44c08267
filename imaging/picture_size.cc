#include "imaging/picture_size.h"

#include <algorithm>
#include <string>

#include "imaging/graphics_exception.h"

namespace wayfetch {

namespace {

constexpr int64_t record_area_limit = 62000;

}  // namespace

void check_picture_size(PictureSize size, const PictureLimits& limits) {
  if (size.width <= 0 || size.height <= 0) {
    throw EGraphicsException("Picture has no pixels (" + std::to_string(size.width) + " x " +
                             std::to_string(size.height) + ")");
  }
  if (size.width > limits.max_side || size.height > limits.max_side ||
      int64_t{size.width} * size.height > limits.max_pixels) {
    throw EGraphicsException("Picture too large: " + std::to_string(size.width) + " x " +
                             std::to_string(size.height) + " pixels");
  }
}

int32_t record_percent(PictureSize full) {
  // Whole percents, each step 9/10 of the last (100, 90, 81, 72, ...), while
  // the area estimate, shrunk by 81/100 a step, is 62000 pixels or more. The
  // estimate is kept in 64 bits (a large photo overflows 32-bit pixel
  // counts), and the percent never falls below 1: from about 18 megapixels on
  // the truncated steps would otherwise reach 0 % and leave no picture.
  int32_t percent = 100;
  int64_t area = int64_t{std::max(full.width, 0)} * std::max(full.height, 0);
  while (area >= record_area_limit) {
    percent = percent * 9 / 10;
    area = area * 81 / 100;
  }
  return std::max(percent, 1);
}

PictureSize record_size(PictureSize full) {
  const int32_t percent = record_percent(full);
  if (percent == 100) return full;
  return {static_cast<int32_t>(std::max<int64_t>(1, int64_t{full.width} * percent / 100)),
          static_cast<int32_t>(std::max<int64_t>(1, int64_t{full.height} * percent / 100))};
}

int32_t gif_scale_percent(PictureSize full) {
  const int32_t by_width = 220 * 100 / std::max(full.width, 1);
  const int32_t by_height = 280 * 100 / std::max(full.height, 1);
  return std::clamp(std::min(by_width, by_height), 1, 100);
}

PictureSize gif_record_size(PictureSize full, int32_t percent) {
  const int64_t width = std::max<int64_t>(1, int64_t{full.width} * percent / 100);
  const int64_t height = std::max<int64_t>(1, int64_t{full.height} * percent / 100);
  return {static_cast<int32_t>((width + 3) / 4 * 4), static_cast<int32_t>(height)};
}

}  // namespace wayfetch
