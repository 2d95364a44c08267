#include "imaging/resize.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/graphics_exception.h"

namespace wayfetch {

namespace {

// Source pixel i covers [i * to, (i + 1) * to) and output pixel j covers
// [j * from, (j + 1) * from) on a common integer axis, so every overlap is an
// exact integer and the weights of one output pixel sum to exactly `from`.
struct Span {
  int64_t first;
  int64_t last;
};

Span sources_of(int64_t j, int64_t from, int64_t to) {
  const int64_t begin = j * from;
  const int64_t end = (j + 1) * from;
  return {begin / to, (end - 1) / to};
}

int64_t overlap(int64_t i, int64_t j, int64_t from, int64_t to) {
  const int64_t begin = std::max(i * to, j * from);
  const int64_t end = std::min((i + 1) * to, (j + 1) * from);
  return std::max<int64_t>(0, end - begin);
}

uint8_t to_byte(float value) {
  return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

RowResampler::RowResampler(PictureSize source, PictureSize destination)
    : source_(source), destination_(destination) {
  if (source.width <= 0 || source.height <= 0 || destination.width <= 0 ||
      destination.height <= 0) {
    throw EGraphicsException("Invalid resize request");
  }
  // The accumulator holds 12 bytes a pixel; keep it within what a Bitmap may hold.
  if (int64_t{destination.width} * destination.height > (int64_t{1} << 30) / 12) {
    throw EGraphicsException("Bitmap too large");
  }
  same_size_ = source == destination;
  if (same_size_) {
    direct_ = Bitmap(destination.width, destination.height, 24);
    return;
  }
  const int64_t from = source.width;
  const int64_t to = destination.width;
  first_.resize(static_cast<size_t>(to));
  count_.resize(static_cast<size_t>(to));
  weight_start_.resize(static_cast<size_t>(to));
  for (int64_t j = 0; j < to; ++j) {
    const Span span = sources_of(j, from, to);
    first_[j] = static_cast<int32_t>(span.first);
    count_[j] = static_cast<int32_t>(span.last - span.first + 1);
    weight_start_[j] = static_cast<int32_t>(weights_.size());
    for (int64_t i = span.first; i <= span.last; ++i) {
      weights_.push_back(static_cast<float>(overlap(i, j, from, to)) / static_cast<float>(from));
    }
  }
  row_.resize(static_cast<size_t>(to) * 3);
  accumulator_.assign(static_cast<size_t>(to) * static_cast<size_t>(destination.height) * 3, 0.f);
}

void RowResampler::horizontal(const uint8_t* bgr) {
  for (int32_t x = 0; x < destination_.width; ++x) {
    const uint8_t* pixel = bgr + static_cast<size_t>(first_[x]) * 3;
    const float* weight = weights_.data() + weight_start_[x];
    float b = 0.f, g = 0.f, r = 0.f;
    for (int32_t k = 0; k < count_[x]; ++k, pixel += 3) {
      b += weight[k] * pixel[0];
      g += weight[k] * pixel[1];
      r += weight[k] * pixel[2];
    }
    row_[static_cast<size_t>(x) * 3] = b;
    row_[static_cast<size_t>(x) * 3 + 1] = g;
    row_[static_cast<size_t>(x) * 3 + 2] = r;
  }
}

void RowResampler::push_row(const uint8_t* bgr) {
  if (next_row_ >= source_.height) return;
  const int32_t y = next_row_++;
  if (same_size_) {
    std::memcpy(direct_.row_from_top(y), bgr, static_cast<size_t>(source_.width) * 3);
    return;
  }
  horizontal(bgr);
  // Source row y feeds every output row whose span it overlaps (one or two
  // when shrinking, several when enlarging).
  const int64_t from = source_.height;
  const int64_t to = destination_.height;
  const int64_t first = y * to / from;
  const int64_t last = std::min(to - 1, ((y + 1) * to - 1) / from);
  const size_t width3 = static_cast<size_t>(destination_.width) * 3;
  for (int64_t j = first; j <= last; ++j) {
    const float weight = static_cast<float>(overlap(y, j, from, to)) / static_cast<float>(from);
    if (weight == 0.f) continue;
    float* out = accumulator_.data() + static_cast<size_t>(j) * width3;
    for (size_t k = 0; k < width3; ++k) out[k] += weight * row_[k];
  }
}

Bitmap RowResampler::finish() {
  if (same_size_) return std::move(direct_);
  Bitmap result(destination_.width, destination_.height, 24);
  const size_t width3 = static_cast<size_t>(destination_.width) * 3;
  for (int32_t y = 0; y < destination_.height; ++y) {
    const float* in = accumulator_.data() + static_cast<size_t>(y) * width3;
    uint8_t* out = result.row_from_top(y);
    for (size_t k = 0; k < width3; ++k) out[k] = to_byte(in[k]);
  }
  return result;
}

void bitmap_row_to_bgr(const Bitmap& source, int32_t y, uint8_t* out) {
  const uint8_t* row = source.row_from_top(y);
  const int32_t bits = source.bit_count();
  if (bits == 24) {
    std::memcpy(out, row, static_cast<size_t>(source.width()) * 3);
    return;
  }
  for (int32_t x = 0; x < source.width(); ++x, out += 3) {
    const PaletteEntry& colour = source.palette()[Bitmap::index_at(row, x, bits)];
    out[0] = colour.blue;
    out[1] = colour.green;
    out[2] = colour.red;
  }
}

void resize(const Bitmap& source, Bitmap& destination, PictureSize size) {
  if (source.empty()) throw EGraphicsException("Invalid resize request");
  RowResampler resampler({source.width(), source.height()}, size);
  std::vector<uint8_t> row(static_cast<size_t>(source.width()) * 3);
  for (int32_t y = 0; y < source.height(); ++y) {
    bitmap_row_to_bgr(source, y, row.data());
    resampler.push_row(row.data());
  }
  destination = resampler.finish();
}

void resize(const Bitmap& source, Bitmap& destination, int32_t percent) {
  if (percent <= 0) throw EGraphicsException("Invalid resize request");
  const int64_t width = std::max<int64_t>(1, int64_t{source.width()} * percent / 100);
  const int64_t height = std::max<int64_t>(1, int64_t{source.height()} * percent / 100);
  if (width > INT32_MAX || height > INT32_MAX) throw EGraphicsException("Bitmap too large");
  resize(source, destination, {static_cast<int32_t>(width), static_cast<int32_t>(height)});
}

}  // namespace wayfetch
