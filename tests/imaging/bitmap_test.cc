#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include "core/file.h"
#include "imaging/bmp_writer.h"
#include "imaging/graphics_exception.h"
#include "imaging/palm_palette.h"
#include "tests/imaging/picture_files.h"
#include "tests/support/temp_dir.h"

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

uint32_t le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
                               static_cast<uint8_t>(b[at + 2]) << 16 |
                               static_cast<uint8_t>(b[at + 3]) << 24);
}
uint16_t le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

// The header bytes one by one, written into an open file as record files are.
TEST(BmpWriterTest, HeaderBytesOfEveryBitCountInAFile) {
  struct Case {
    int32_t width, height, bits;
    uint32_t offset, pixel_bytes;
  };
  const Case cases[] = {
      {3, 2, 8, 1078, 8},  // rows of 3 bytes padded to 4
      {5, 3, 4, 118, 12},  // 16 palette entries
      {9, 1, 1, 62, 4},    // 2 palette entries
      {5, 2, 24, 54, 32},  // no palette, rows of 15 bytes padded to 16
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    Bitmap b(c.width, c.height, c.bits);
    if (c.bits <= 8) b.palette_entry(1) = {10, 20, 30};
    const std::string path = dir.file("b" + std::to_string(c.bits) + ".bmp");
    File file;
    ASSERT_TRUE(file.open(path, File::write_new));
    ASSERT_EQ(file.write("x", 1), 1);  // written at the file's position
    ASSERT_EQ(write_bmp(file, b, palm_indices_of(b)), 0);
    file.close();
    const std::string all = testing::read_bytes(path);
    ASSERT_EQ(all.size(), 1 + c.offset + c.pixel_bytes);
    const std::string bmp = all.substr(1);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(le32(bmp, 2), c.offset + c.pixel_bytes);  // file size
    EXPECT_EQ(le32(bmp, 6), 0u);
    EXPECT_EQ(le32(bmp, 10), c.offset);
    EXPECT_EQ(le32(bmp, 14), 40u);
    EXPECT_EQ(le32(bmp, 18), static_cast<uint32_t>(c.width));
    EXPECT_EQ(le32(bmp, 22), static_cast<uint32_t>(c.height));
    EXPECT_EQ(le16(bmp, 26), 1);
    EXPECT_EQ(le16(bmp, 28), c.bits);
    for (size_t at = 30; at < 54; at += 4) EXPECT_EQ(le32(bmp, at), 0u) << at;
    if (c.bits <= 8) {
      // Entry 0 black with its Palm index 230; entry 1 blue, green, red, index.
      EXPECT_EQ(bmp.substr(54, 8), std::string("\0\0\0\xE6\x0A\x14\x1E", 7) +
                                       static_cast<char>(palm_index(30, 20, 10)));
    }
  }
}

}  // namespace
}  // namespace wayfetch
