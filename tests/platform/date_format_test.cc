#include "platform/date_format.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace wayfetch::platform {
namespace {

// Names come from the "C" locale so the expected texts are fixed.
class DateFormatTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("LC_ALL", "C", 1); }
  CalendarDate monday{2026, 12, 7, 1};
};

TEST_F(DateFormatTest, PictureLetters) {
  std::string out;
  ASSERT_TRUE(format_date("dd.MM.yyyy", monday, out));
  EXPECT_EQ(out, "07.12.2026");
  ASSERT_TRUE(format_date("d/M/y", CalendarDate{2009, 3, 5, 4}, out));
  EXPECT_EQ(out, "5/3/9");
  ASSERT_TRUE(format_date("dddd, MMMM d yy", monday, out));
  EXPECT_EQ(out, "Monday, December 7 26");
  ASSERT_TRUE(format_date("ddd MMM", monday, out));
  EXPECT_EQ(out, "Mon Dec");
}

TEST_F(DateFormatTest, QuotedTextIsCopied) {
  std::string out;
  ASSERT_TRUE(format_date("'day' d 'o''clock' dd", monday, out));
  EXPECT_EQ(out, "day 7 o'clock 07");
  // An unterminated quote runs to the end of the picture.
  ASSERT_TRUE(format_date("d 'dMy", monday, out));
  EXPECT_EQ(out, "7 dMy");
}

TEST_F(DateFormatTest, ShortDateFollowsTheLocale) {
  EXPECT_EQ(short_date_picture(), "MM/dd/yy");
  std::string out;
  ASSERT_TRUE(format_date("", monday, out));
  EXPECT_EQ(out, "12/07/26");
}

TEST_F(DateFormatTest, InvalidDatesFail) {
  std::string out = "x";
  EXPECT_FALSE(format_date("d", CalendarDate{2026, 13, 1, 0}, out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(format_date("d", CalendarDate{2026, 1, 1, 9}, out));
  // Month lengths, leap years included.
  for (const CalendarDate& date : {CalendarDate{2026, 2, 30, 1}, CalendarDate{2026, 2, 29, 0},
                                   CalendarDate{1900, 2, 29, 4}, CalendarDate{2026, 4, 31, 4}}) {
    EXPECT_FALSE(format_date("d", date, out)) << date.year << "-" << date.month << "-" << date.day;
  }
  EXPECT_TRUE(format_date("d", CalendarDate{2000, 2, 29, 2}, out));
  EXPECT_TRUE(format_date("d", CalendarDate{2028, 2, 29, 2}, out));
}

}  // namespace
}  // namespace wayfetch::platform
