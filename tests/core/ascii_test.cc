// The shared character rules, where getting one character wrong would
// change what several readers accept.
#include "core/ascii.h"

#include <gtest/gtest.h>

#include "core/picture_names.h"

namespace wayfetch {
namespace {

TEST(AsciiTest, ClassesAndCase) {
  // Form feed is HTML's blank, not XML's; bytes above 0x7F and -1 are nothing.
  for (uint32_t c : {'\t', '\n', '\r', ' '}) EXPECT_TRUE(ascii::is_blank(c)) << c;
  EXPECT_FALSE(ascii::is_blank('\f'));
  EXPECT_TRUE(ascii::is_html_space('\f'));
  EXPECT_FALSE(ascii::is_html_space(static_cast<uint32_t>(-1)));
  EXPECT_FALSE(ascii::is_html_space(static_cast<char>(0xA0)));
  for (char c : {'a', 'Z', '_', ':'}) EXPECT_TRUE(ascii::is_name_start(c)) << c;
  for (char c : {'1', '-', '.', ' '}) EXPECT_FALSE(ascii::is_name_start(c)) << c;
  for (char c : {'1', '-', '.', ':'}) EXPECT_TRUE(ascii::is_name_char(c)) << c;
  EXPECT_FALSE(ascii::is_name_char(0xE9));
  EXPECT_EQ(ascii::fold('Q'), uint32_t{'q'});
  EXPECT_EQ(ascii::fold(0xC9), 0xC9u);  // nothing beyond ASCII is folded
  EXPECT_TRUE(ascii::equals_ignoring_case("Content-TYPE", "content-type"));
  EXPECT_FALSE(ascii::equals_ignoring_case("\xC9", "\xE9"));
  EXPECT_EQ(ascii::find_ignoring_case("a JavaScript:x", "javascript:"), 2u);
  EXPECT_EQ(ascii::upper("body1"), "BODY1");
}

TEST(AsciiTest, PictureEndingsAndExtensions) {
  struct Case {
    const char* name;
    PictureEnding ending;     // what the name ends with
    PictureEnding extension;  // the name taken as a whole extension
  };
  const Case cases[] = {
      {"GIF", PictureEnding::gif, PictureEnding::gif},
      {"JPeG", PictureEnding::jpeg, PictureEnding::jpeg},
      {"jpg", PictureEnding::jpeg, PictureEnding::jpeg},
      {"png", PictureEnding::png, PictureEnding::png},
      {"photogif", PictureEnding::gif, PictureEnding::none},
      {"pngx", PictureEnding::none, PictureEnding::none},
      {"", PictureEnding::none, PictureEnding::none},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(picture_ending_of(c.name), c.ending) << c.name;
    EXPECT_EQ(picture_extension_kind(c.name), c.extension) << c.name;
  }
}

}  // namespace
}  // namespace wayfetch
