#include "imaging/picture_size.h"

#include <gtest/gtest.h>

#include "imaging/graphics_exception.h"

namespace wayfetch {
namespace {

TEST(PictureSizeTest, RecordSizeShrinksInTenPercentSteps) {
  EXPECT_EQ(record_scale_ppm({300, 300}), 810000);  // 90 % then 81 %
  EXPECT_EQ(record_size({300, 300}), (PictureSize{243, 243}));
  EXPECT_EQ(record_size({200, 300}), (PictureSize{200, 300}));  // 60000 pixels
  EXPECT_EQ(record_size({249, 249}), (PictureSize{224, 224}));  // 62001 pixels: one step
  EXPECT_EQ(record_size({1, 1}), (PictureSize{1, 1}));
}

TEST(PictureSizeTest, LargePhotosLandJustBelowTheTarget) {
  // Whole percents collapse these far below 62000 pixels (1000 x 1000 at
  // 19 %, 4000 x 3000 at 3 %) and reach 0 % from about 18 megapixels on.
  const PictureSize photos[] = {{1000, 1000}, {2000, 1500}, {4000, 3000},
                                {6000, 4500}, {8000, 8000}, {16384, 4096}};
  for (PictureSize photo : photos) {
    const PictureSize s = record_size(photo);
    const int64_t area = int64_t{s.width} * s.height;
    SCOPED_TRACE(std::to_string(photo.width) + "x" + std::to_string(photo.height));
    EXPECT_LT(area, 62000);
    EXPECT_GT(area, 62000 * 0.75);
    // The aspect ratio survives.
    EXPECT_NEAR(double(s.width) / s.height, double(photo.width) / photo.height, 0.03);
  }
}

TEST(PictureSizeTest, NoSideIsEverZero) {
  EXPECT_EQ(record_size({100000, 1}).height, 1);
  EXPECT_GE(record_size({1, 16384}).width, 1);
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
