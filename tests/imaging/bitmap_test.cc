#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include "imaging/bmp_writer.h"
#include "imaging/graphics_exception.h"
#include "tests/imaging/picture_files.h"

namespace wayfetch {
namespace {

using testing::parse_bmp;

TEST(BitmapTest, BitCountsAndRowPadding) {
  struct Case {
    int width, bits, row_bytes, palette;
  };
  const Case cases[] = {{1, 1, 4, 2},   {32, 1, 4, 2},  {33, 1, 8, 2},  {9, 4, 8, 16},
                        {5, 8, 8, 256}, {4, 8, 4, 256}, {5, 24, 16, 0}, {4, 24, 12, 0}};
  for (const Case& c : cases) {
    Bitmap b(c.width, 3, c.bits);
    EXPECT_EQ(b.row_bytes(), c.row_bytes) << c.width << "x" << c.bits;
    EXPECT_EQ(b.palette_size(), c.palette);
    EXPECT_EQ(b.pixels().size(), static_cast<size_t>(c.row_bytes) * 3);
  }
  for (int bits : {0, 2, 3, 16, 32}) EXPECT_THROW(Bitmap(1, 1, bits), EInvalidBitCount);
  EXPECT_THROW(Bitmap(-1, 1, 8), EGraphicsException);
  EXPECT_THROW(Bitmap(1 << 20, 1 << 20, 24), EGraphicsException);
}

TEST(BitmapTest, SubscriptsOutsideThePictureThrow) {
  Bitmap b(4, 2, 8);
  EXPECT_NO_THROW(b.row(1));
  EXPECT_THROW(b.row(2), ESubscriptOutOfRange);
  EXPECT_THROW(b.row(-1), ESubscriptOutOfRange);
  EXPECT_THROW(b.palette_entry(256), ESubscriptOutOfRange);
  Bitmap colour(4, 2, 24);
  EXPECT_THROW(colour.palette_entry(0), ESubscriptOutOfRange);
  // Rows are stored bottom-up: the top row is the last stored row.
  EXPECT_EQ(b.row_from_top(0), b.row(1));
}

TEST(BmpWriterTest, EightBitRecordLayout) {
  Bitmap b(3, 2, 8);
  b.palette_entry(1) = {10, 20, 30};  // blue, green, red
  b.row_from_top(0)[2] = 1;
  std::vector<uint8_t> out{0xAA};  // appends after what is there
  ASSERT_EQ(write_bmp(out, b, palm_indices_of(b)), 0);
  ASSERT_EQ(out[0], 0xAA);
  out.erase(out.begin());
  const auto r = parse_bmp(out);
  ASSERT_TRUE(r.valid) << r.problem;
  EXPECT_EQ(r.file_size, 54u + 1024 + 8);
  EXPECT_EQ(r.pixel_offset, 1078u);
  EXPECT_EQ(r.image_size, 0u);  // optional fields stay 0
  EXPECT_EQ(r.palette[1], (testing::Rgb{30, 20, 10}));
  EXPECT_EQ(r.palm_indices[0], 230);  // black
  EXPECT_EQ(r.index(2, 0), 1);
  EXPECT_EQ(r.index(2, 1), 0);

  std::vector<uint8_t> with_size;
  write_bmp(with_size, b, palm_indices_of(b), true);
  EXPECT_EQ(parse_bmp(with_size).image_size, 8u);
}

TEST(BmpWriterTest, OtherBitCounts) {
  Bitmap colour(5, 1, 24);
  colour.row(0)[12] = 7;  // blue of pixel 4
  std::vector<uint8_t> out;
  write_bmp(out, colour, {});
  auto r = parse_bmp(out);
  ASSERT_TRUE(r.valid) << r.problem;
  EXPECT_EQ(r.pixel_offset, 54u);
  EXPECT_EQ(r.colour(4, 0).blue, 7);

  Bitmap mono(9, 1, 1);
  mono.palette_entry(1) = {255, 255, 255};
  mono.row(0)[1] = 0x80;  // pixel 8
  out.clear();
  write_bmp(out, mono, palm_indices_of(mono));
  r = parse_bmp(out);
  ASSERT_TRUE(r.valid) << r.problem;
  EXPECT_EQ(r.pixel_offset, 62u);
  EXPECT_EQ(r.palm_indices[1], 0);  // white
  EXPECT_EQ(r.index(8, 0), 1);
  EXPECT_EQ(r.index(7, 0), 0);
}

}  // namespace
}  // namespace wayfetch
