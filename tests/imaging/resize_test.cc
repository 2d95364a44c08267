#include "imaging/resize.h"

#include <gtest/gtest.h>

#include "imaging/graphics_exception.h"

namespace wayfetch {
namespace {

// A 24-bit bitmap whose pixel (x, y) from the top has blue = value(x, y) and
// green, red 0.
template <typename F>
Bitmap blue_bitmap(int width, int height, F value) {
  Bitmap b(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) b.row_from_top(y)[3 * x] = static_cast<uint8_t>(value(x, y));
  }
  return b;
}

int blue(const Bitmap& b, int x, int y) {
  return b.row_from_top(y)[3 * x];
}

TEST(ResizeTest, HalvingAveragesEachBlock) {
  const Bitmap source = blue_bitmap(4, 2, [](int x, int y) { return x * 40 + y * 100; });
  Bitmap out;
  resize(source, out, 50);
  ASSERT_EQ(out.width(), 2);
  ASSERT_EQ(out.height(), 1);
  EXPECT_EQ(blue(out, 0, 0), (0 + 40 + 100 + 140) / 4);
  EXPECT_EQ(blue(out, 1, 0), (80 + 120 + 180 + 220) / 4);
}

TEST(ResizeTest, PartialCoverageIsWeighted) {
  // 3 -> 2: the middle pixel is shared half and half.
  const Bitmap source = blue_bitmap(3, 1, [](int x, int) {
    return x == 0 ? 30 : x == 1 ? 90 : 210;
  });
  Bitmap out;
  resize(source, out, PictureSize{2, 1});
  EXPECT_EQ(blue(out, 0, 0), (2 * 30 + 90) / 3);
  EXPECT_EQ(blue(out, 1, 0), (90 + 2 * 210) / 3);
}

TEST(ResizeTest, WeightsSumToOneAtAnyRatio) {
  // A flat picture stays exactly flat whatever the ratio, in both directions.
  const Bitmap source = blue_bitmap(97, 61, [](int, int) { return 201; });
  const PictureSize sizes[] = {{1, 1}, {13, 7}, {48, 30}, {96, 60}, {97, 61}, {100, 200}, {300, 5}};
  for (PictureSize s : sizes) {
    Bitmap out;
    resize(source, out, s);
    ASSERT_EQ(out.width(), s.width);
    ASSERT_EQ(out.height(), s.height);
    for (int y = 0; y < s.height; ++y) {
      for (int x = 0; x < s.width; ++x)
        ASSERT_EQ(blue(out, x, y), 201) << s.width << "x" << s.height;
    }
  }
}

TEST(ResizeTest, PaletteSourcesAndPercentSizes) {
  Bitmap source(10, 10, 4);
  source.palette_entry(3) = {0, 0, 250};  // red
  for (int y = 0; y < 10; ++y) std::fill_n(source.row(y), 5, 0x33);
  Bitmap out;
  resize(source, out, 81);
  EXPECT_EQ(out.bit_count(), 24);
  EXPECT_EQ(out.width(), 8);  // 10 x 81 / 100
  EXPECT_EQ(out.row(0)[2], 250);
  resize(source, out, 1);
  EXPECT_EQ(out.width(), 1);  // never 0
  EXPECT_THROW(resize(source, out, 0), EGraphicsException);
}

TEST(ResizeTest, RowResamplerTreatsMissingRowsAsBlack) {
  RowResampler resampler({2, 2}, {1, 1});
  const uint8_t row[6] = {200, 200, 200, 200, 200, 200};
  resampler.push_row(row);
  const Bitmap out = resampler.finish();
  EXPECT_EQ(out.row(0)[0], 100);
}

}  // namespace
}  // namespace wayfetch
