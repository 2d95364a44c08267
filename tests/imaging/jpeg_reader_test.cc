#include "imaging/jpeg_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <typeinfo>

#include "imaging/graphics_exception.h"
#include "tests/imaging/picture_files.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::Bytes;
using testing::JpegOptions;
using testing::Rgb;

const Rgb left_colour{200, 30, 40};
const Rgb right_colour{20, 60, 220};

testing::RgbImage halves(int width, int height) {
  return testing::make_image(
      width, height, [width](int x, int) { return x < width / 2 ? left_colour : right_colour; });
}

Bitmap decode(const Bytes& bytes, const SizeRule& rule = {}, const PictureLimits& limits = {}) {
  PictureInput input(bytes.data(), bytes.size());
  Bitmap out;
  decode_jpeg(input, out, rule, limits);
  return out;
}

Rgb pixel(const Bitmap& b, int x, int y) {
  const uint8_t* p = b.row_from_top(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

void expect_near(Rgb actual, Rgb expected, int tolerance) {
  EXPECT_NEAR(actual.red, expected.red, tolerance);
  EXPECT_NEAR(actual.green, expected.green, tolerance);
  EXPECT_NEAR(actual.blue, expected.blue, tolerance);
}

// The offset of the first start-of-frame marker (any SOFn).
size_t frame_marker(const Bytes& b) {
  for (size_t i = 2; i + 9 < b.size(); ++i) {
    if (b[i] == 0xFF && b[i + 1] >= 0xC0 && b[i + 1] <= 0xCF && b[i + 1] != 0xC4 &&
        b[i + 1] != 0xC8 && b[i + 1] != 0xCC) {
      return i;
    }
  }
  return 0;
}

// The offset of the first quantisation table's 64 values (8-bit ones).
size_t first_quantization_values(const Bytes& b) {
  for (size_t i = 2; i + 69 < b.size(); ++i) {
    if (b[i] == 0xFF && b[i + 1] == 0xDB) return i + 5;
  }
  return 0;
}

// The offset of the first Huffman table's 16 code counts.
size_t first_huffman_counts(const Bytes& b) {
  for (size_t i = 2; i + 21 < b.size(); ++i) {
    if (b[i] == 0xFF && b[i + 1] == 0xC4) return i + 5;
  }
  return 0;
}

TEST(JpegReaderTest, EveryKindOfStreamDecodes) {
  struct Case {
    const char* name;
    JpegOptions options;
  };
  JpegOptions exif_only;  // cameras and most web pictures: Exif, no JFIF
  exif_only.jfif = false;
  exif_only.exif = true;
  JpegOptions progressive;
  progressive.progressive = true;
  JpegOptions arithmetic;
  arithmetic.arithmetic = true;
  JpegOptions cmyk;
  cmyk.components = 4;
  const Case cases[] = {{"baseline", {}},
                        {"exif", exif_only},
                        {"progressive", progressive},
                        {"arithmetic", arithmetic},
                        {"cmyk", cmyk}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bitmap b = decode(testing::encode_jpeg(halves(32, 24), c.options));
    ASSERT_EQ(b.width(), 32);
    ASSERT_EQ(b.height(), 24);
    ASSERT_EQ(b.bit_count(), 24);
    expect_near(pixel(b, 4, 12), left_colour, 8);
    expect_near(pixel(b, 28, 12), right_colour, 8);
  }
}

TEST(JpegReaderTest, GreyStreamsComeOutGrey) {
  JpegOptions grey;
  grey.components = 1;
  const Bitmap b = decode(testing::encode_jpeg(halves(32, 24), grey));
  const Rgb p = pixel(b, 4, 12);
  EXPECT_EQ(p.red, p.green);
  EXPECT_EQ(p.green, p.blue);
  EXPECT_NEAR(p.red, (200 * 299 + 30 * 587 + 40 * 114) / 1000, 4);
}

TEST(JpegReaderTest, ReducedDecodingGivesTheExactTargetSize) {
  // 1600 x 1200 to 181 x 135 decodes at 1/8 and resizes the rest.
  const Bytes bytes = testing::encode_jpeg(halves(1600, 1200));
  const PictureSize wanted{181, 135};
  const Bitmap b = decode(bytes, [wanted](PictureSize full) {
    EXPECT_EQ(full, (PictureSize{1600, 1200}));
    return wanted;
  });
  ASSERT_EQ(b.width(), 181);
  ASSERT_EQ(b.height(), 135);
  expect_near(pixel(b, 20, 60), left_colour, 8);
  expect_near(pixel(b, 160, 60), right_colour, 8);
}

TEST(JpegReaderTest, DamagedStreamsThrowWithTheirMessages) {
  const Bytes good = testing::encode_jpeg(halves(16, 16));
  const size_t sof = frame_marker(good);
  ASSERT_GT(sof, 0u);
  Bytes twelve_bit = good;
  twelve_bit[sof + 4] = 12;
  Bytes lossless = good;
  lossless[sof + 1] = 0xC3;
  Bytes two_soi = good;
  two_soi.insert(two_soi.begin() + 2, {0xFF, 0xD8});
  const size_t counts = first_huffman_counts(good);
  ASSERT_GT(counts, 0u);
  Bytes too_many_codes = good;
  for (size_t i = 0; i < 16; ++i) too_many_codes[counts + i] = 17;  // 272 codes
  Bytes impossible_lengths = good;
  // Three codes of one bit cannot exist; the total count stays as it was.
  int moved = 3;
  for (size_t i = 15; i > 0 && moved > 0; --i) {
    const int take = std::min<int>(moved, impossible_lengths[counts + i]);
    impossible_lengths[counts + i] = static_cast<uint8_t>(impossible_lengths[counts + i] - take);
    moved -= take;
  }
  impossible_lengths[counts] = static_cast<uint8_t>(impossible_lengths[counts] + 3);
  const size_t quantization = first_quantization_values(good);
  ASSERT_GT(quantization, 0u);
  Bytes zero_quantization = good;
  zero_quantization[quantization + 10] = 0;
  testing::JpegOptions two;
  two.components = 2;
  const Bytes two_components = testing::encode_jpeg(halves(16, 16), two);
  struct Case {
    const char* name;
    Bytes bytes;
    std::string message;  // "" = the library's own, not checked
  };
  const Case cases[] = {
      {"not a jpeg", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}, "Missing SOI Marker"},
      {"empty", Bytes{}, "Premature end of file"},
      {"12-bit", twelve_bit, "Only 8-bit data supported"},
      {"two SOI", two_soi, "Unexpected Marker"},
      {"zero quantization", zero_quantization, "Zero value in quantization table"},
      {"272 Huffman codes", too_many_codes, "Huffman count > 256"},
      {"3 one-bit codes", impossible_lengths, "Bad Huffman Code Length"},
      {"two components", two_components, "JFIF only supports 1 and 3 component streams"},
      {"lossless", lossless, ""},
      {"only SOI", Bytes{0xFF, 0xD8}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      decode(c.bytes);
      ADD_FAILURE() << "no exception";
    } catch (const EJpegBadData& e) {
      if (!c.message.empty()) {
        EXPECT_EQ(e.message(), c.message);
      }
      EXPECT_FALSE(e.message().empty());
    }
  }
}

TEST(JpegReaderTest, HugeDeclaredSizesAreRefusedBeforeDecoding) {
  Bytes bomb = testing::encode_jpeg(halves(16, 16));
  const size_t sof = frame_marker(bomb);
  bomb[sof + 5] = bomb[sof + 7] = 0xEA;  // 60000 x 60000
  bomb[sof + 6] = bomb[sof + 8] = 0x60;
  try {
    decode(bomb);
    ADD_FAILURE() << "no exception";
  } catch (const EJpegError&) {
    ADD_FAILURE() << "a size problem, not a stream problem";
  } catch (const EGraphicsException& e) {
    EXPECT_NE(e.message().find("too large"), std::string::npos) << e.message();
  }
  PictureLimits small;
  small.max_pixels = 100;
  EXPECT_THROW(decode(testing::encode_jpeg(halves(16, 16)), {}, small), EGraphicsException);
}

TEST(JpegReaderTest, TruncatedStreamsKeepWhatWasDecoded) {
  const testing::RgbImage image = testing::photo_image(256, 256);
  Bytes bytes = testing::encode_jpeg(image);
  bytes.resize(bytes.size() * 2 / 3);
  const Bitmap b = decode(bytes);
  EXPECT_EQ(b.width(), 256);
  expect_near(pixel(b, 100, 2), image.at(100, 2), 40);  // the top rows came through
}

TEST(JpegReaderTest, ReadJpegFromFiles) {
  testing::TempDir dir;
  Bitmap b(2, 2, 24);
  EXPECT_EQ(read_jpeg(dir.file("missing.jpg"), b), 1);
  EXPECT_TRUE(b.empty());
  testing::write_file(dir.file("a.jpg"), testing::encode_jpeg(halves(20, 10)));
  EXPECT_EQ(read_jpeg(dir.file("a.jpg"), b), 0);
  EXPECT_EQ(b.width(), 20);
}

}  // namespace
}  // namespace wayfetch
