#include "imaging/picture_size.h"

#include <gtest/gtest.h>

#include "imaging/graphics_exception.h"

namespace wayfetch {
namespace {

TEST(PictureSizeTest, RecordSizeShrinksInTrueTenPercentSteps) {
  struct Case {
    PictureSize full;
    int32_t steps;
    PictureSize size;
  };
  const Case cases[] = {
      {{300, 300}, 2, {243, 243}},     // 90 % then 81 %
      {{200, 300}, 0, {200, 300}},     // 60000 pixels: not resized
      {{249, 249}, 1, {224, 224}},     // 62001 pixels: one step
      {{248, 250}, 1, {223, 225}},     // exactly 62000 pixels: one step
      {{1000, 1000}, 14, {228, 228}},  // 0.9^14, not the truncated 19 %
      {{2000, 1500}, 19, {270, 202}},
      {{4000, 3000}, 25, {287, 215}},
      {{6000, 4000}, 29, {282, 188}},
      {{16384, 4096}, 34, {455, 113}},  // 9^34 is far beyond 64 bits
      {{1, 1}, 0, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.full.width) + "x" + std::to_string(c.full.height));
    EXPECT_EQ(record_steps(c.full), c.steps);
    EXPECT_EQ(record_size(c.full), c.size);
  }
}

TEST(PictureSizeTest, NoSideIsEverZero) {
  EXPECT_EQ(record_size({100000, 1}).height, 1);
  EXPECT_GE(record_size({1, 16384}).width, 1);
  EXPECT_EQ(record_size({2000000000, 2000000000}), (PictureSize{246, 246}));  // 151 steps
  EXPECT_EQ(record_size({1, 2000000000}).width, 1);
  EXPECT_EQ(gif_record_size({221, 1}, gif_scale_percent({221, 1})), (PictureSize{220, 1}));
  EXPECT_EQ(gif_record_size({400, 1}, gif_scale_percent({400, 1})), (PictureSize{220, 1}));
  EXPECT_EQ(gif_record_size({1, 400}, gif_scale_percent({1, 400})), (PictureSize{4, 280}));
}

TEST(PictureSizeTest, GifFitsInto220By280) {
  EXPECT_EQ(gif_scale_percent({440, 560}), 50);
  EXPECT_EQ(gif_record_size({440, 560}, 50), (PictureSize{220, 280}));
  EXPECT_EQ(gif_scale_percent({100, 100}), 100);
  EXPECT_EQ(gif_record_size({101, 50}, 100), (PictureSize{104, 50}));  // width to a multiple of 4
  EXPECT_EQ(gif_scale_percent({221, 1}), 99);
  EXPECT_EQ(gif_scale_percent({16384, 16384}), 1);  // never 0
}

TEST(PictureSizeTest, LimitsRefuseEmptyAndHugePictures) {
  const PictureLimits limits;
  EXPECT_NO_THROW(check_picture_size({16384, 4096}, limits));
  EXPECT_THROW(check_picture_size({0, 10}, limits), EGraphicsException);
  EXPECT_THROW(check_picture_size({10, 0}, limits), EGraphicsException);
  EXPECT_THROW(check_picture_size({16385, 1}, limits), EGraphicsException);
  EXPECT_THROW(check_picture_size({16384, 16384}, limits), EGraphicsException);  // 256 MP
}

}  // namespace
}  // namespace wayfetch
