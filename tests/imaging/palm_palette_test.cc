#include "imaging/palm_palette.h"

#include <gtest/gtest.h>

namespace wayfetch {
namespace {

TEST(PalmPaletteTest, TableLayout) {
  const auto& table = palm_palette();
  struct Case {
    int index;
    int red, green, blue;
  };
  const Case cases[] = {
      {0, 255, 255, 255},    // the cube starts with white
      {1, 255, 204, 255},    // green steps fastest
      {6, 255, 255, 204},    // then blue within the first half
      {18, 204, 255, 255},   // then red
      {107, 0, 0, 153},      // last entry of the first half
      {108, 255, 255, 102},  // second half: blue from 102 down
      {214, 0, 51, 0},       // last cube entry: black is left out
      {215, 17, 17, 17},    {224, 238, 238, 238}, {225, 192, 192, 192},
      {226, 128, 0, 0},     {227, 128, 0, 128},   {228, 0, 128, 0},
      {229, 0, 128, 128},   {230, 0, 0, 0},       {255, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(table[c.index].red, c.red);
    EXPECT_EQ(table[c.index].green, c.green);
    EXPECT_EQ(table[c.index].blue, c.blue);
    EXPECT_EQ(table[c.index].index, c.index);
  }
}

TEST(PalmPaletteTest, NearestEntry) {
  EXPECT_EQ(palm_index(0, 0, 0), 230);
  EXPECT_EQ(palm_index(255, 255, 255), 0);
  EXPECT_EQ(palm_index(250, 250, 250), 0);
  EXPECT_EQ(palm_index(20, 20, 20), 215);
  EXPECT_EQ(palm_index(190, 190, 195), 225);
  // Every colour of entries 0-229 is distinct, so each finds itself.
  const auto& table = palm_palette();
  for (int i = 0; i < 230; ++i) {
    EXPECT_EQ(palm_index(table[i].red, table[i].green, table[i].blue), i) << i;
  }
}

TEST(PalmPaletteTest, TiesGoToTheLowestIndex) {
  // (115, 0, 0) lies 13 away from both 179 (102, 0, 0) and 226 (128, 0, 0).
  EXPECT_EQ(palm_index(115, 0, 0), 179);
}

}  // namespace
}  // namespace wayfetch
