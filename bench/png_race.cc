#include "bench/png_race.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/picture_input.h"
#include "imaging/png_reader.h"
#include "imaging/resize.h"

#ifdef WAYFETCH_BENCH_SPNG
#include <spng.h>
#endif

namespace wayfetch::bench {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double median_ms(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

template <typename Run>
double time_ms(int repeat, Run run) {
  std::vector<double> times;
  for (int i = 0; i < repeat; ++i) {
    const auto start = Clock::now();
    run();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return median_ms(times);
}

uint32_t be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The concatenated IDAT data and the size of the filtered rows.
bool idat_stream(const Bytes& file, Bytes& stream, std::size_t& raw_size) {
  if (file.size() < 33) return false;
  const uint32_t width = be32(file.data() + 16);
  const uint32_t height = be32(file.data() + 20);
  raw_size = std::size_t{height} * (1 + std::size_t{width} * 3);
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const uint32_t length = be32(file.data() + at);
    if (at + 12 + length > file.size()) return false;
    if (std::memcmp(file.data() + at + 4, "IDAT", 4) == 0) {
      stream.insert(stream.end(), file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                    file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    }
    at += 12 + length;
  }
  return !stream.empty();
}

Bitmap with_libpng(const Bytes& file, PictureSize target) {
  PictureInput input(file.data(), file.size());
  Bitmap out;
  decode_png(input, out, [target](PictureSize) { return target; });
  return out;
}

#ifdef WAYFETCH_BENCH_SPNG
// 8-bit RGB, not interlaced: rows as libspng gives them, turned to blue,
// green, red and pushed into the scaler as our decoder does.
bool with_libspng(const Bytes& file, PictureSize target, Bitmap& out) {
  spng_ctx* ctx = spng_ctx_new(0);
  if (ctx == nullptr) return false;
  bool ok = false;
  spng_ihdr ihdr{};
  if (spng_set_png_buffer(ctx, file.data(), file.size()) == 0 && spng_get_ihdr(ctx, &ihdr) == 0 &&
      ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR && ihdr.bit_depth == 8 &&
      ihdr.interlace_method == 0 &&
      spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGB8, SPNG_DECODE_PROGRESSIVE) == 0) {
    const PictureSize full{static_cast<int32_t>(ihdr.width), static_cast<int32_t>(ihdr.height)};
    RowResampler resampler(full, target);
    Bytes rgb(std::size_t{ihdr.width} * 3);
    Bytes bgr(rgb.size());
    int status = 0;
    do {
      status = spng_decode_row(ctx, rgb.data(), rgb.size());
      if (status != 0 && status != SPNG_EOI) break;
      for (std::size_t x = 0; x < rgb.size(); x += 3) {
        bgr[x] = rgb[x + 2];
        bgr[x + 1] = rgb[x + 1];
        bgr[x + 2] = rgb[x];
      }
      resampler.push_row(bgr.data());
    } while (status != SPNG_EOI);
    ok = status == SPNG_EOI;
    if (ok) out = resampler.finish();
  }
  spng_ctx_free(ctx);
  return ok;
}
#endif

bool same_pixels(const Bitmap& a, const Bitmap& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.bit_count() != b.bit_count()) {
    return false;
  }
  for (int32_t y = 0; y < a.height(); ++y) {
    if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.row_bytes())) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

PngRace race_png(const std::string& path, PictureSize target, int repeat) {
  std::ifstream in(path, std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  PngRace race;
  const Bitmap reference = with_libpng(file, target);
  race.libpng_ms = time_ms(repeat, [&] { with_libpng(file, target); });

  Bytes stream;
  std::size_t raw_size = 0;
  if (idat_stream(file, stream, raw_size)) {
    Bytes raw(raw_size);
    race.inflate_ms = time_ms(repeat, [&] {
      uLongf size = raw.size();
      uncompress(raw.data(), &size, stream.data(), stream.size());
    });
  }
#ifdef WAYFETCH_BENCH_SPNG
  Bitmap spng_bitmap;
  if (with_libspng(file, target, spng_bitmap)) {
    race.same_pixels = same_pixels(reference, spng_bitmap);
    race.libspng_ms = time_ms(repeat, [&] {
      Bitmap ignored;
      with_libspng(file, target, ignored);
    });
  }
#endif
  return race;
}

}  // namespace wayfetch::bench
