#include "imaging/gif_converter.h"

#include <gtest/gtest.h>

#include "core/file.h"
#include "imaging/graphics_exception.h"
#include "imaging/palm_palette.h"
#include "tests/imaging/picture_files.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::Bytes;
using testing::GifOptions;
using testing::Rgb;

const std::vector<Rgb> four_colours = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}};

testing::BmpRecord convert(const Bytes& gif) {
  PictureInput input(gif.data(), gif.size());
  std::vector<uint8_t> record;
  convert_gif(input, record);
  return testing::parse_bmp(record);
}

std::vector<uint8_t> indices(int width, int height, int (*f)(int, int)) {
  std::vector<uint8_t> out;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) out.push_back(static_cast<uint8_t>(f(x, y)));
  }
  return out;
}

GifOptions global(const std::vector<Rgb>& table) {
  GifOptions options;
  options.global_table = table;
  return options;
}

TEST(GifConverterTest, LargePicturesAreHalvedIntoTheScreen) {
  // 440 x 560 at 50 %: pixel (x, y) lands on (x / 2, y / 2), the later one
  // winning, so odd columns and rows are what remains.
  const auto pixels = indices(440, 560, [](int x, int y) { return (x % 2) + 2 * (y % 2); });
  const auto r = convert(testing::encode_gif(440, 560, pixels, global(four_colours)));
  ASSERT_TRUE(r.valid) << r.problem;
  EXPECT_EQ(r.width, 220);
  EXPECT_EQ(r.height, 280);
  EXPECT_EQ(r.bit_count, 8);
  EXPECT_EQ(r.pixel_offset, 1078u);
  EXPECT_EQ(r.image_size, 220u * 280);
  for (int y : {0, 1, 139, 279}) {
    for (int x : {0, 1, 219}) EXPECT_EQ(r.index(x, y), 3) << x << "," << y;
  }
}

TEST(GifConverterTest, SmallPicturesStayAndWidthsRoundUpWithBackground) {
  GifOptions options = global(four_colours);
  options.background = 2;
  const auto pixels = indices(101, 50, [](int x, int y) { return (x + y) % 2; });
  const auto r = convert(testing::encode_gif(101, 50, pixels, options));
  ASSERT_TRUE(r.valid) << r.problem;
  EXPECT_EQ(r.width, 104);
  EXPECT_EQ(r.height, 50);
  EXPECT_EQ(r.index(0, 0), 0);
  EXPECT_EQ(r.index(1, 0), 1);
  EXPECT_EQ(r.index(100, 49), 1);
  EXPECT_EQ(r.index(101, 0), 2);  // padding columns hold the background
  EXPECT_EQ(r.index(103, 49), 2);
  // The top row of the picture is the last row of the file.
  EXPECT_EQ(r.pixels[static_cast<size_t>(49) * 104], 0);
}

TEST(GifConverterTest, PaletteCarriesPalmIndices) {
  const auto r = convert(
      testing::encode_gif(4, 4, indices(4, 4, [](int, int) { return 0; }), global(four_colours)));
  ASSERT_TRUE(r.valid) << r.problem;
  ASSERT_EQ(r.palette.size(), 256u);
  EXPECT_EQ(r.palette[2], (Rgb{255, 0, 0}));
  EXPECT_EQ(r.palm_indices[0], 230);  // black
  EXPECT_EQ(r.palm_indices[1], 0);    // white
  EXPECT_EQ(r.palm_indices[2], palm_index(255, 0, 0));
  EXPECT_EQ(r.palm_indices[200], 230);  // entries beyond the table are black
}

TEST(GifConverterTest, InterlacedRowsAreReordered) {
  const auto pixels = indices(7, 21, [](int x, int y) { return (y * 3 + x) % 4; });
  GifOptions options = global(four_colours);
  const auto plain = convert(testing::encode_gif(7, 21, pixels, options));
  options.interlaced = true;
  const auto interlaced = convert(testing::encode_gif(7, 21, pixels, options));
  ASSERT_TRUE(interlaced.valid) << interlaced.problem;
  EXPECT_EQ(interlaced.pixels, plain.pixels);
  EXPECT_EQ(interlaced.index(0, 5), 15 % 4);
}

TEST(GifConverterTest, ColourTablesOfEveryKind) {
  const auto pixels = indices(4, 2, [](int x, int) { return x; });
  // A local table is used in preference to the global one.
  GifOptions local = global({{1, 1, 1}, {2, 2, 2}});
  local.local_table = four_colours;
  auto r = convert(testing::encode_gif(4, 2, pixels, local));
  ASSERT_TRUE(r.valid) << r.problem;
  EXPECT_EQ(r.palette[3], (Rgb{0, 0, 255}));

  // A local table without a global one.
  GifOptions only_local;
  only_local.local_table = four_colours;
  r = convert(testing::encode_gif(4, 2, pixels, only_local));
  EXPECT_EQ(r.palette[2], (Rgb{255, 0, 0}));

  // No table at all: a grey ramp over the indices in use, image data kept.
  GifOptions none;
  none.code_bits = 2;
  r = convert(testing::encode_gif(4, 2, pixels, none));
  ASSERT_TRUE(r.valid) << r.problem;
  EXPECT_EQ(r.index(3, 1), 3);
  EXPECT_EQ(r.palette[0], (Rgb{0, 0, 0}));
  EXPECT_EQ(r.palette[3], (Rgb{255, 255, 255}));

  // A transparent colour shows as white; a non-zero aspect byte is no reason to stop.
  GifOptions transparent = global(four_colours);
  transparent.transparent = 2;
  transparent.aspect = 49;
  r = convert(testing::encode_gif(4, 2, pixels, transparent));
  ASSERT_TRUE(r.valid) << r.problem;
  EXPECT_EQ(r.palette[2], (Rgb{255, 255, 255}));
  EXPECT_EQ(r.palm_indices[2], 0);
}

TEST(GifConverterTest, ThinPicturesStayInsideTheirBitmap) {
  struct Case {
    int width, height, out_width, out_height;
  };
  const Case cases[] = {
      {221, 1, 220, 1}, {400, 1, 220, 1}, {1, 400, 4, 280}, {1, 1, 4, 1}, {3, 281, 4, 278}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const std::vector<uint8_t> pixels(static_cast<size_t>(c.width) * c.height, 1);
    const auto r = convert(testing::encode_gif(c.width, c.height, pixels, global(four_colours)));
    ASSERT_TRUE(r.valid) << r.problem;
    EXPECT_EQ(r.width, c.out_width);
    EXPECT_EQ(r.height, c.out_height);
    EXPECT_EQ(r.index(0, 0), 1);
  }
}

TEST(GifConverterTest, BrokenFilesThrowAndCutFilesKeepTheirRows) {
  // Noise, so that the image data spans many sub-blocks.
  auto noise = [](int x, int y) { return (x * x * 7 + y * 13 + x * y) % 4; };
  const auto pixels = indices(200, 200, noise);
  const Bytes good = testing::encode_gif(200, 200, pixels, global(four_colours));

  std::vector<uint8_t> record;
  const Bytes not_gif = {'G', 'I', 'F', 'X', 0, 0, 0, 0};
  PictureInput bad(not_gif.data(), not_gif.size());
  EXPECT_THROW(convert_gif(bad, record), EGraphicsException);

  // Zero width: nothing to scale (the record conversion puts a placeholder).
  Bytes zero = good;
  const size_t descriptor = 13 + 3 * 4;  // after the 4-entry global table
  ASSERT_EQ(zero[descriptor], ',');
  zero[descriptor + 5] = zero[descriptor + 6] = 0;
  PictureInput empty(zero.data(), zero.size());
  EXPECT_THROW(convert_gif(empty, record), EGraphicsException);

  // A declared size far beyond the limits.
  Bytes bomb = good;
  bomb[descriptor + 5] = bomb[descriptor + 7] = 0x20;  // 20000 x 20000
  bomb[descriptor + 6] = bomb[descriptor + 8] = 0x4E;
  PictureInput huge(bomb.data(), bomb.size());
  EXPECT_THROW(convert_gif(huge, record), EGraphicsException);

  Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
  const auto r = convert(cut);
  ASSERT_TRUE(r.valid) << r.problem;
  EXPECT_EQ(r.index(5, 0), noise(5, 0));
  EXPECT_EQ(r.index(199, 3), noise(199, 3));
}

TEST(GifConverterTest, ConvertsFromAPathIntoAnOpenRecordFile) {
  testing::TempDir dir;
  const Bytes gif =
      testing::encode_gif(101, 50, std::vector<uint8_t>(101 * 50, 1), global(four_colours));
  testing::write_file(dir.file("p.gif"), gif);
  std::vector<uint8_t> in_memory;
  ASSERT_EQ(convert_gif(dir.file("p.gif"), in_memory), 0);

  File file;
  ASSERT_TRUE(file.open(dir.file("record"), File::write_new));
  ASSERT_EQ(file.write("ab", 2), 2);
  EXPECT_EQ(convert_gif(dir.file("p.gif"), file), 0);
  EXPECT_EQ(convert_gif(dir.file("missing.gif"), file), 1);  // nothing written
  file.close();
  const std::string written = testing::read_bytes(dir.file("record"));
  EXPECT_EQ(written, "ab" + std::string(in_memory.begin(), in_memory.end()));
  // 104 x 50 pixels: file size 1078 + 5200.
  EXPECT_EQ(in_memory.size(), 1078u + 104 * 50);
  EXPECT_EQ(in_memory[2] | in_memory[3] << 8, 1078 + 104 * 50);
}

}  // namespace
}  // namespace wayfetch
