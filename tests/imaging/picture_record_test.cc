#include "imaging/picture_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "imaging/graphics_exception.h"
#include "imaging/palm_palette.h"
#include "tests/imaging/picture_files.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::Bytes;
using testing::Rgb;

class PictureRecordTest : public ::testing::Test {
 protected:
  // Writes `bytes` as `name` and converts it.
  PictureRecord convert(const std::string& name, const Bytes& bytes) {
    testing::write_file(dir_.file(name), bytes);
    return convert_picture(dir_.file(name));
  }
  static testing::BmpRecord parsed(const PictureRecord& record) {
    return testing::parse_bmp(record.bytes);
  }
  static void expect_placeholder(const PictureRecord& record) {
    EXPECT_FALSE(record.converted);
    EXPECT_FALSE(record.message.empty());
    EXPECT_EQ(record.bytes, placeholder_record());
  }

  testing::TempDir dir_;
};

TEST_F(PictureRecordTest, JpegAndPngRecordsFollowTheShrinkRule) {
  struct Case {
    const char* name;
    Bytes bytes;
    int width, height;
  };
  const testing::RgbImage photo300 = testing::photo_image(300, 300);
  const Case cases[] = {
      {"a.jpg", testing::encode_jpeg(photo300), 243, 243},
      {"b.JPEG", testing::encode_jpeg(testing::photo_image(200, 300)), 200, 300},
      {"c.png", testing::encode_png(testing::photo_image(200, 300)), 200, 300},
      {"d.Png", testing::encode_png(photo300, true), 243, 243},
      {"e.jpg", testing::encode_jpeg(testing::photo_image(2000, 1500)), 270, 202},  // 19 steps
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PictureRecord record = convert(c.name, c.bytes);
    EXPECT_TRUE(record.converted) << record.message;
    const auto r = parsed(record);
    ASSERT_TRUE(r.valid) << r.problem;
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(r.bit_count, 8);
    EXPECT_EQ(r.pixel_offset, 1078u);
    EXPECT_EQ(r.image_size, 0u);
    for (size_t i = 0; i < r.palette.size(); ++i) {
      ASSERT_EQ(r.palm_indices[i],
                palm_index(r.palette[i].red, r.palette[i].green, r.palette[i].blue));
    }
  }
}

TEST_F(PictureRecordTest, ColoursSurviveTheWholePath) {
  const auto image = testing::make_image(400, 400, [](int x, int y) {
    return x < 200 ? Rgb{220, 40, 30} : y < 200 ? Rgb{30, 40, 220} : Rgb{255, 255, 255};
  });
  for (const auto& [name, bytes] : {std::pair{"p.png", testing::encode_png(image)},
                                    std::pair{"p.jpg", testing::encode_jpeg(image)}}) {
    SCOPED_TRACE(name);
    const auto r = parsed(convert(name, bytes));
    ASSERT_TRUE(r.valid) << r.problem;
    const auto near = [](Rgb a, Rgb b) {
      return std::abs(a.red - b.red) < 10 && std::abs(a.green - b.green) < 10 &&
             std::abs(a.blue - b.blue) < 10;
    };
    EXPECT_TRUE(near(r.colour(10, 10), Rgb{220, 40, 30}));
    EXPECT_TRUE(near(r.colour(r.width - 10, 10), Rgb{30, 40, 220}));
    EXPECT_TRUE(near(r.colour(r.width - 10, r.height - 10), Rgb{255, 255, 255}));
  }
}

TEST_F(PictureRecordTest, GifRecords) {
  testing::GifOptions options;
  options.global_table = {{0, 0, 0}, {255, 255, 255}};
  const std::vector<uint8_t> pixels(440 * 560, 1);
  const PictureRecord record = convert("g.GIF", testing::encode_gif(440, 560, pixels, options));
  EXPECT_TRUE(record.converted);
  const auto r = parsed(record);
  ASSERT_TRUE(r.valid) << r.problem;
  EXPECT_EQ(r.width, 220);
  EXPECT_EQ(r.height, 280);
  EXPECT_EQ(r.image_size, 220u * 280);
}

TEST_F(PictureRecordTest, PicturesUnderTheWrongNameStillConvert) {
  const PictureRecord record =
      convert("really_a_png.jpg", testing::encode_png(testing::photo_image(20, 10)));
  EXPECT_TRUE(record.converted) << record.message;
  EXPECT_EQ(parsed(record).width, 20);
}

TEST_F(PictureRecordTest, EverythingElseGetsThePlaceholder) {
  const auto placeholder = testing::parse_bmp(placeholder_record());
  ASSERT_TRUE(placeholder.valid) << placeholder.problem;
  EXPECT_EQ(placeholder.width, 8);
  EXPECT_EQ(placeholder.bit_count, 8);
  EXPECT_EQ(placeholder.colour(3, 3), (Rgb{255, 255, 255}));
  EXPECT_EQ(placeholder.palm_indices[0], 0);

  testing::GifOptions zero_width;
  zero_width.global_table = {{0, 0, 0}, {255, 255, 255}};
  Bytes gif = testing::encode_gif(4, 4, std::vector<uint8_t>(16, 1), zero_width);
  gif[13 + 6 + 5] = 0;  // image width 0

  expect_placeholder(convert_picture(dir_.file("missing.jpg")));
  expect_placeholder(convert("empty.png", {}));
  expect_placeholder(convert("garbage.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3}));
  expect_placeholder(convert("zero.gif", gif));
  expect_placeholder(convert("text.gif", {'h', 'e', 'l', 'l', 'o'}));
  expect_placeholder(convert("picture.bmp", placeholder_record()));
  const PictureRecord twelve = convert("bad.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
  expect_placeholder(twelve);
  EXPECT_EQ(twelve.message, "Fin de fichier inattendue");
}

TEST_F(PictureRecordTest, MemoryInputMatchesFiles) {
  const Bytes jpeg = testing::encode_jpeg(testing::photo_image(320, 200));
  const PictureRecord from_file = convert("m.jpg", jpeg);
  const PictureRecord from_memory = convert_picture_data(jpeg.data(), jpeg.size(), "m.jpg");
  EXPECT_EQ(from_memory.bytes, from_file.bytes);
  EXPECT_FALSE(convert_picture_data(nullptr, 0, "x.png").converted);
}

// The records must open in a real reader. Skipped where ImageMagick is absent.
TEST_F(PictureRecordTest, RecordsOpenInImageMagick) {
  if (std::system("identify -version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "identify not installed";
  testing::GifOptions options;
  options.global_table = {{0, 0, 0}, {255, 0, 0}};
  const std::pair<const char*, Bytes> pictures[] = {
      {"i.jpg", testing::encode_jpeg(testing::photo_image(300, 300))},
      {"i.png", testing::encode_png(testing::photo_image(120, 80))},
      {"i.gif", testing::encode_gif(101, 33, std::vector<uint8_t>(101 * 33, 1), options)},
      {"i.txt", Bytes{1, 2, 3}},
  };
  const char* expected[] = {"243 243 8", "120 80 8", "104 33 8", "8 8 8"};
  for (size_t i = 0; i < std::size(pictures); ++i) {
    const std::string bmp = dir_.file(std::string(pictures[i].first) + ".bmp");
    testing::write_file(bmp, convert(pictures[i].first, pictures[i].second).bytes);
    const std::string command = "identify -format '%w %h %z' " + bmp + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_NE(pipe, nullptr);
    char line[256] = {};
    ASSERT_NE(fgets(line, sizeof line, pipe.get()), nullptr);
    EXPECT_EQ(std::string(line), expected[i]) << pictures[i].first;
  }
}

}  // namespace
}  // namespace wayfetch
