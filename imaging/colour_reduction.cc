#include "imaging/colour_reduction.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "imaging/graphics_exception.h"

namespace wayfetch {

namespace {

// A colour as 0xRRGGBB and the number of pixels that have it.
struct ColourCount {
  uint32_t rgb;
  uint32_t count;
};

int channel(uint32_t rgb, int axis) { return static_cast<int>((rgb >> (16 - 8 * axis)) & 0xFF); }

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
  if (begin >= end) throw EGraphicsException("INTERNAL ERROR - Quantization area color count invalid");
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

// The colours of a 24-bit picture with their pixel counts, sorted by colour.
std::vector<ColourCount> count_colours(const Bitmap& source) {
  std::vector<uint32_t> pixels;
  pixels.reserve(static_cast<size_t>(source.width()) * static_cast<size_t>(source.height()));
  for (int32_t y = 0; y < source.height(); ++y) {
    const uint8_t* p = source.row(y);
    for (int32_t x = 0; x < source.width(); ++x, p += 3) {
      pixels.push_back(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
    }
  }
  std::sort(pixels.begin(), pixels.end());
  std::vector<ColourCount> colours;
  for (size_t i = 0; i < pixels.size();) {
    size_t j = i;
    while (j < pixels.size() && pixels[j] == pixels[i]) ++j;
    colours.push_back({pixels[i], static_cast<uint32_t>(j - i)});
    i = j;
  }
  return colours;
}

// Cuts `area` in two at the median pixel of its widest axis.
std::pair<Area, Area> cut(std::vector<ColourCount>& colours, const Area& area) {
  const int axis = area.widest_axis();
  auto first = colours.begin() + static_cast<std::ptrdiff_t>(area.begin);
  auto last = colours.begin() + static_cast<std::ptrdiff_t>(area.end);
  std::sort(first, last, [axis](const ColourCount& a, const ColourCount& b) {
    const int ca = channel(a.rgb, axis);
    const int cb = channel(b.rgb, axis);
    return ca != cb ? ca < cb : a.rgb < b.rgb;
  });
  // The first colour at which half of the area's pixels are reached stays
  // on the lower side; both sides keep at least one colour.
  uint64_t seen = 0;
  size_t split = area.begin + 1;
  for (size_t i = area.begin; i < area.end; ++i) {
    seen += colours[i].count;
    if (seen * 2 >= area.pixels) {
      split = i + 1;
      break;
    }
  }
  split = std::clamp(split, area.begin + 1, area.end - 1);
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
  std::vector<ColourCount> colours = count_colours(source);
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

  // Palette: the pixel-weighted mean of each area. Index lookup: the colour
  // list re-sorted by colour, each colour carrying its area's index.
  std::vector<std::pair<uint32_t, uint8_t>> index_of;
  index_of.reserve(colours.size());
  for (size_t a = 0; a < areas.size(); ++a) {
    uint64_t sum[3] = {0, 0, 0};
    for (size_t i = areas[a].begin; i < areas[a].end; ++i) {
      for (int axis = 0; axis < 3; ++axis) {
        sum[axis] += uint64_t{static_cast<uint32_t>(channel(colours[i].rgb, axis))} * colours[i].count;
      }
      index_of.emplace_back(colours[i].rgb, static_cast<uint8_t>(a));
    }
    const uint64_t n = areas[a].pixels;
    if (n == 0) throw EGraphicsException("INTERNAL ERROR - Quantization area pixel count invalid");
    PaletteEntry& entry = result.palette_entry(static_cast<int32_t>(a));
    entry.red = static_cast<uint8_t>((sum[0] + n / 2) / n);
    entry.green = static_cast<uint8_t>((sum[1] + n / 2) / n);
    entry.blue = static_cast<uint8_t>((sum[2] + n / 2) / n);
  }
  if (index_of.size() != colours.size()) {
    throw EGraphicsException("INTERNAL ERROR - Quantization area color count invalid");
  }
  std::sort(index_of.begin(), index_of.end());

  for (int32_t y = 0; y < source.height(); ++y) {
    const uint8_t* in = source.row(y);
    uint8_t* out = result.row(y);
    for (int32_t x = 0; x < source.width(); ++x, in += 3) {
      const uint32_t rgb = uint32_t{in[2]} << 16 | uint32_t{in[1]} << 8 | in[0];
      auto found = std::lower_bound(index_of.begin(), index_of.end(),
                                    std::pair<uint32_t, uint8_t>(rgb, 0));
      if (found == index_of.end() || found->first != rgb) {
        throw EGraphicsException("INTERNAL ERROR - color not quantized");
      }
      out[x] = found->second;
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
