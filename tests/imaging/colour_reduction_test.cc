#include "imaging/colour_reduction.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <tuple>

#include "imaging/graphics_exception.h"

namespace wayfetch {
namespace {

template <typename F>
Bitmap colour_bitmap(int width, int height, F colour) {
  Bitmap b(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const PaletteEntry c = colour(x, y);
      uint8_t* p = b.row_from_top(y) + 3 * x;
      p[0] = c.blue, p[1] = c.green, p[2] = c.red;
    }
  }
  return b;
}

PaletteEntry pixel(const Bitmap& b, int x, int y) {
  const uint8_t* p = b.row_from_top(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

TEST(ColourReductionTest, UpTo256ColoursAreKeptExactly) {
  for (int colours : {1, 2, 200, 256}) {
    const Bitmap source = colour_bitmap(64, 16, [colours](int x, int y) {
      const int k = (y * 64 + x) % colours;
      return PaletteEntry{static_cast<uint8_t>(k), static_cast<uint8_t>(k * 7),
                          static_cast<uint8_t>(255 - k)};
    });
    Bitmap out;
    reduce_colours(source, out);
    ASSERT_EQ(out.bit_count(), 8);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 64; ++x) {
        ASSERT_EQ(out.palette_entry(out.row_from_top(y)[x]), pixel(source, x, y)) << colours;
      }
    }
  }
}

TEST(ColourReductionTest, ManyColoursGetAFittingPalette) {
  // 4096 colours of a smooth ramp: 256 entries, every pixel close to its own.
  const Bitmap source = colour_bitmap(64, 64, [](int x, int y) {
    return PaletteEntry{static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4),
                        static_cast<uint8_t>((x + y) * 2)};
  });
  Bitmap out;
  reduce_colours(source, out);
  std::set<int> used;
  double error = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const int i = out.row_from_top(y)[x];
      used.insert(i);
      const PaletteEntry a = out.palette_entry(i), b = pixel(source, x, y);
      error += std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue);
    }
  }
  EXPECT_EQ(used.size(), 256u);
  EXPECT_LT(error / (64 * 64 * 3), 4.0);  // mean error per channel
}

TEST(ColourReductionTest, ExpandKeepsIndicesAndPalette) {
  Bitmap mono(10, 2, 1);
  mono.palette_entry(1) = {1, 2, 3};
  mono.row(0)[0] = 0xA0;  // pixels 0 and 2
  mono.row(1)[1] = 0x40;  // pixel 9
  Bitmap out;
  expand_to_8_bits(mono, out);
  EXPECT_EQ(out.bit_count(), 8);
  EXPECT_EQ(out.palette_entry(1), (PaletteEntry{1, 2, 3}));
  EXPECT_EQ(std::vector<uint8_t>(out.row(0), out.row(0) + 4), (std::vector<uint8_t>{1, 0, 1, 0}));
  EXPECT_EQ(out.row(1)[9], 1);

  Bitmap nibbles(3, 1, 4);
  nibbles.row(0)[0] = 0x5F;
  nibbles.row(0)[1] = 0x20;
  expand_to_8_bits(nibbles, out);
  EXPECT_EQ(std::vector<uint8_t>(out.row(0), out.row(0) + 3), (std::vector<uint8_t>{5, 15, 2}));
}

TEST(ColourReductionTest, WrongBitCountsThrow) {
  Bitmap out;
  EXPECT_THROW(reduce_colours(Bitmap(2, 2, 8), out), EInvalidBitCount);
  EXPECT_THROW(expand_to_8_bits(Bitmap(2, 2, 24), out), EInvalidBitCount);
  Bitmap in_place(3, 3, 24);
  make_8_bits(in_place);
  EXPECT_EQ(in_place.bit_count(), 8);
}

}  // namespace
}  // namespace wayfetch
