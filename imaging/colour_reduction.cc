#include "imaging/colour_reduction.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "imaging/graphics_exception.h"

namespace wayfetch {

namespace {

// A distinct colour of the picture: 0xRRGGBB, its number of pixels and its
// position in the sorted colour list (cuts reorder the list; `id` does not move).
struct ColourCount {
  uint32_t rgb;
  uint32_t count;
  uint32_t id;
};

int channel(uint32_t rgb, int axis) {
  return static_cast<int>((rgb >> (16 - 8 * axis)) & 0xFF);
}

// One area of the cut: a range of the colour list and its bounds per axis
// (0 red, 1 green, 2 blue).
struct Area {
  size_t begin = 0;
  size_t end = 0;
  uint64_t pixels = 0;
  std::array<int, 3> low{};
  std::array<int, 3> high{};

  int spread(int axis) const { return high[axis] - low[axis]; }
  int widest_axis() const {
    // Green first among equals: the eye tells greens apart best.
    int axis = 1;
    if (spread(0) > spread(axis)) axis = 0;
    if (spread(2) > spread(axis)) axis = 2;
    return axis;
  }
};

Area make_area(const std::vector<ColourCount>& colours, size_t begin, size_t end) {
  if (begin >= end)
    throw EGraphicsException("INTERNAL ERROR - Quantization area color count invalid");
  Area area;
  area.begin = begin;
  area.end = end;
  area.low = {255, 255, 255};
  area.high = {0, 0, 0};
  for (size_t i = begin; i < end; ++i) {
    area.pixels += colours[i].count;
    for (int axis = 0; axis < 3; ++axis) {
      const int value = channel(colours[i].rgb, axis);
      area.low[axis] = std::min(area.low[axis], value);
      area.high[axis] = std::max(area.high[axis], value);
    }
  }
  return area;
}

// The distinct colours of a 24-bit picture, sorted, with their pixel counts;
// `colour_of_pixel` receives each pixel's colour id (pixels in stored order).
// A radix sort over the three colour bytes: pictures here have tens of
// thousands of pixels, and this is the one step that touches them all.
std::vector<ColourCount> count_colours(const Bitmap& source,
                                       std::vector<uint32_t>& colour_of_pixel) {
  const size_t n = static_cast<size_t>(source.width()) * static_cast<size_t>(source.height());
  std::vector<uint64_t> keys;  // colour << 32 | pixel number
  keys.reserve(n);
  for (int32_t y = 0; y < source.height(); ++y) {
    const uint8_t* p = source.row(y);
    for (int32_t x = 0; x < source.width(); ++x, p += 3) {
      const uint64_t rgb = uint64_t{p[2]} << 16 | uint64_t{p[1]} << 8 | p[0];
      keys.push_back(rgb << 32 | keys.size());
    }
  }
  std::vector<uint64_t> scratch(n);
  for (int shift = 32; shift < 56; shift += 8) {
    std::array<size_t, 257> start{};
    for (uint64_t k : keys) ++start[((k >> shift) & 0xFF) + 1];
    for (size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
    for (uint64_t k : keys) scratch[start[(k >> shift) & 0xFF]++] = k;
    keys.swap(scratch);
  }
  std::vector<ColourCount> colours;
  colour_of_pixel.assign(n, 0);
  for (size_t i = 0; i < n;) {
    const uint32_t rgb = static_cast<uint32_t>(keys[i] >> 32);
    const uint32_t id = static_cast<uint32_t>(colours.size());
    size_t j = i;
    for (; j < n && static_cast<uint32_t>(keys[j] >> 32) == rgb; ++j) {
      colour_of_pixel[static_cast<uint32_t>(keys[j])] = id;
    }
    colours.push_back({rgb, static_cast<uint32_t>(j - i), id});
    i = j;
  }
  return colours;
}

// Cuts `area` in two across its widest axis at the value where half of its
// pixels are reached. Both sides keep at least one colour: an area with two
// colours has a spread above 0 on its widest axis.
std::pair<Area, Area> cut(std::vector<ColourCount>& colours, const Area& area) {
  const int axis = area.widest_axis();
  std::array<uint64_t, 256> pixels_at{};
  for (size_t i = area.begin; i < area.end; ++i) {
    pixels_at[static_cast<size_t>(channel(colours[i].rgb, axis))] += colours[i].count;
  }
  int median = area.low[axis];
  uint64_t seen = 0;
  for (int v = area.low[axis]; v <= area.high[axis]; ++v) {
    seen += pixels_at[static_cast<size_t>(v)];
    if (seen * 2 >= area.pixels) {
      median = v;
      break;
    }
  }
  // The lower side takes the median value unless that leaves nothing above.
  const int limit = median < area.high[axis] ? median : median - 1;
  auto first = colours.begin() + static_cast<std::ptrdiff_t>(area.begin);
  auto last = colours.begin() + static_cast<std::ptrdiff_t>(area.end);
  const auto middle = std::partition(
      first, last, [axis, limit](const ColourCount& c) { return channel(c.rgb, axis) <= limit; });
  const size_t split = static_cast<size_t>(middle - colours.begin());
  std::pair<Area, Area> halves{make_area(colours, area.begin, split),
                               make_area(colours, split, area.end)};
  if (halves.first.pixels + halves.second.pixels != area.pixels) {
    throw EGraphicsException("INTERNAL ERROR - Quantization area pixel count invalid");
  }
  return halves;
}

}  // namespace

void reduce_colours(const Bitmap& source, Bitmap& destination) {
  if (source.bit_count() != 24) throw EInvalidBitCount();
  Bitmap result(source.width(), source.height(), 8);
  if (source.empty()) {
    destination = std::move(result);
    return;
  }
  std::vector<uint32_t> colour_of_pixel;
  std::vector<ColourCount> colours = count_colours(source, colour_of_pixel);
  std::vector<Area> areas{make_area(colours, 0, colours.size())};
  while (areas.size() < 256) {
    int best = -1;
    uint64_t best_score = 0;
    for (size_t i = 0; i < areas.size(); ++i) {
      if (areas[i].end - areas[i].begin < 2) continue;
      const uint64_t spread = static_cast<uint64_t>(areas[i].spread(areas[i].widest_axis()));
      const uint64_t score = areas[i].pixels * (spread + 1);
      if (best < 0 || score > best_score) {
        best = static_cast<int>(i);
        best_score = score;
      }
    }
    if (best < 0) break;  // every area is a single colour
    auto [low, high] = cut(colours, areas[static_cast<size_t>(best)]);
    areas[static_cast<size_t>(best)] = low;
    areas.push_back(high);
  }

  // Palette: the pixel-weighted mean of each area; each colour id learns
  // its area's index.
  std::vector<int32_t> index_of(colours.size(), -1);
  for (size_t a = 0; a < areas.size(); ++a) {
    uint64_t sum[3] = {0, 0, 0};
    for (size_t i = areas[a].begin; i < areas[a].end; ++i) {
      for (int axis = 0; axis < 3; ++axis) {
        sum[axis] +=
            uint64_t{static_cast<uint32_t>(channel(colours[i].rgb, axis))} * colours[i].count;
      }
      index_of[colours[i].id] = static_cast<int32_t>(a);
    }
    const uint64_t n = areas[a].pixels;
    if (n == 0) throw EGraphicsException("INTERNAL ERROR - Quantization area pixel count invalid");
    PaletteEntry& entry = result.palette_entry(static_cast<int32_t>(a));
    entry.red = static_cast<uint8_t>((sum[0] + n / 2) / n);
    entry.green = static_cast<uint8_t>((sum[1] + n / 2) / n);
    entry.blue = static_cast<uint8_t>((sum[2] + n / 2) / n);
  }

  size_t pixel = 0;
  for (int32_t y = 0; y < source.height(); ++y) {
    uint8_t* out = result.row(y);
    for (int32_t x = 0; x < source.width(); ++x, ++pixel) {
      const int32_t index = index_of[colour_of_pixel[pixel]];
      if (index < 0) throw EGraphicsException("INTERNAL ERROR - color not quantized");
      out[x] = static_cast<uint8_t>(index);
    }
  }
  destination = std::move(result);
}

void expand_to_8_bits(const Bitmap& source, Bitmap& destination) {
  const int32_t bits = source.bit_count();
  if (bits == 24) throw EInvalidBitCount();
  Bitmap result(source.width(), source.height(), 8);
  for (int32_t i = 0; i < source.palette_size(); ++i) {
    result.palette_entry(i) = source.palette_entry(i);
  }
  for (int32_t y = 0; y < source.height(); ++y) {
    const uint8_t* in = source.row(y);
    uint8_t* out = result.row(y);
    for (int32_t x = 0; x < source.width(); ++x) out[x] = Bitmap::index_at(in, x, bits);
  }
  destination = std::move(result);
}

void make_8_bits(Bitmap& bitmap) {
  if (bitmap.bit_count() == 24) {
    reduce_colours(bitmap, bitmap);
  } else if (bitmap.bit_count() < 8) {
    expand_to_8_bits(bitmap, bitmap);
  }
}

}  // namespace wayfetch
