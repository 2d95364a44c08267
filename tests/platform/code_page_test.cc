#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace wayfetch::platform {
namespace {

std::u16string decode(int32_t code_page, std::string_view bytes) {
  std::u16string out;
  EXPECT_TRUE(to_utf16(code_page, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                       out));
  return out;
}

std::string encode(int32_t code_page, std::u16string_view units) {
  std::string out;
  EXPECT_TRUE(from_utf16(code_page, units.data(), units.size(), out));
  return out;
}

TEST(CodePageTest, Cp932MapsLikeWindows) {
  // Windows maps 5C to the backslash, 7E to the tilde, 81 60 to the full-width
  // tilde and has the NEC row 87 40 (circled one); SHIFT_JIS would differ.
  EXPECT_EQ(decode(932, "\x5C\x7E"), u"\\~");
  EXPECT_EQ(decode(932, "\x81\x60"), u"\uFF5E");
  EXPECT_EQ(decode(932, "\x87\x40"), u"\u2460");
  EXPECT_EQ(decode(932, "\x82\xA0"), u"\u3042");
  EXPECT_EQ(encode(932, u"\u3042a"), "\x82\xA0" "a");
}

TEST(CodePageTest, ChineseCodePagesRoundTrip) {
  EXPECT_EQ(encode(936, decode(936, "\xC4\xE3\xBA\xC3")), "\xC4\xE3\xBA\xC3");
  EXPECT_EQ(encode(950, decode(950, "\xA7\x41\xA6\x6E")), "\xA7\x41\xA6\x6E");
}

TEST(CodePageTest, Cp1252HolesMapToC1Controls) {
  EXPECT_EQ(decode(1252, "\x81\x8D\x8F\x90\x9D\x80"), u"\u0081\u008D\u008F\u0090\u009D\u20AC");
  EXPECT_EQ(encode(1252, u"\u0081\u20AC\u00E9"), "\x81\x80\xE9");
}

TEST(CodePageTest, BadInputBecomesReplacementNotFailure) {
  EXPECT_EQ(decode(65001, "a\xFF" "b"), u"a\uFFFDb");
  // A lead byte cut off at the end of the text.
  EXPECT_EQ(decode(932, "a\x82"), u"a\uFFFD");
  EXPECT_EQ(encode(1252, u"x\u3042y"), "x?y");
  EXPECT_EQ(encode(20105, u"\u00E9"), "?");
  // A lone surrogate and a pair the code page lacks both give one "?".
  EXPECT_EQ(encode(1252, u"\xD800z"), "?z");
  EXPECT_EQ(encode(1252, u"\U0001F600z"), "?z");
}

TEST(CodePageTest, UnknownCodePagesFail) {
  std::u16string units;
  EXPECT_FALSE(to_utf16(12345, reinterpret_cast<const uint8_t*>("a"), 1, units));
  std::string bytes;
  EXPECT_FALSE(from_utf16(-1, u"a", 1, bytes));
  EXPECT_EQ(iconv_name(932), std::string("CP932"));
  EXPECT_TRUE(is_double_byte_code_page(950));
  EXPECT_FALSE(is_double_byte_code_page(65001));
}

TEST(CodePageTest, LongTextCrossesChunks) {
  std::string text(20000, 'x');
  text += "\xC3\xA9";
  std::u16string units = decode(65001, text);
  ASSERT_EQ(units.size(), 20001u);
  EXPECT_EQ(units.back(), u'\u00E9');
  EXPECT_EQ(encode(65001, units), text);
}

}  // namespace
}  // namespace wayfetch::platform
