#include "imaging/picture_size.h"

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/graphics_exception.h"

namespace wayfetch {

namespace {

constexpr int64_t record_area_limit = 62000;

// side x 9^steps / 10^steps rounded down, at least 1. The scale is carried
// exactly (decimal digits of side x 9^steps, the last `steps` of them cut
// off) rather than as a percent truncated at every step: whole percents
// collapse large photos (4000 x 3000 would end at 3 % instead of 7.2 %, a
// sixth of the pixel budget) and 9^steps leaves 64 bits after 19 steps.
int32_t scale_side(int32_t side, int32_t steps) {
  std::vector<uint8_t> digits;  // least significant first
  for (int64_t rest = std::max(side, 0); rest > 0; rest /= 10) {
    digits.push_back(static_cast<uint8_t>(rest % 10));
  }
  for (int32_t i = 0; i < steps; ++i) {
    int carry = 0;
    for (uint8_t& digit : digits) {
      const int product = digit * 9 + carry;
      digit = static_cast<uint8_t>(product % 10);
      carry = product / 10;
    }
    if (carry > 0) digits.push_back(static_cast<uint8_t>(carry));
  }
  // The result is never above `side`, so it fits 32 bits.
  int64_t result = 0;
  for (size_t i = digits.size(); i > static_cast<size_t>(steps); --i) {
    result = result * 10 + digits[i - 1];
  }
  return static_cast<int32_t>(std::max<int64_t>(result, 1));
}

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

int32_t record_steps(PictureSize full) {
  int32_t steps = 0;
  int64_t area = int64_t{std::max(full.width, 0)} * std::max(full.height, 0);
  while (area >= record_area_limit) {
    area = area / 100 * 81 + area % 100 * 81 / 100;  // area x 81 / 100 without overflow
    ++steps;
  }
  return steps;
}

PictureSize record_size(PictureSize full) {
  const int32_t steps = record_steps(full);
  if (steps == 0) return full;
  return {scale_side(full.width, steps), scale_side(full.height, steps)};
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
