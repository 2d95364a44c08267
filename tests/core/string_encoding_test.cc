#include <gtest/gtest.h>

#include <string>

#include "core/string.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

String text_of(std::string_view bytes, TextEncoding encoding, int32_t code_page) {
  String s;
  s.set_text(bytes, encoding, code_page);
  return s;
}

std::string bytes_of(const String& s) {
  return std::string(reinterpret_cast<const char*>(s.data()), static_cast<std::size_t>(s.length()));
}

struct RoundTrip {
  TextEncoding encoding;
  int32_t code_page;
  std::string bytes;
  std::u16string units;
};

TEST(StringEncodingTest, EveryCodePageConvertsToAndFromUtf16) {
  const RoundTrip cases[] = {
      {TextEncoding::Multibyte, 932, "\x93\xFA\x96\x7B" "a", u"\u65E5\u672Ca"},
      {TextEncoding::Multibyte, 936, "\xC4\xE3\xBA\xC3", u"\u4F60\u597D"},
      {TextEncoding::Multibyte, 950, "\xA7\x41\xA6\x6E", u"\u4F60\u597D"},
      {TextEncoding::SingleByte, 1252, "caf\xE9 \x80", u"caf\u00E9 \u20AC"},
      {TextEncoding::SingleByte, 20105, "plain", u"plain"},
      {TextEncoding::SingleByte, 65001, "caf\xC3\xA9", u"caf\u00E9"},
      {TextEncoding::SingleByte, -1, "\xE2\x82\xAC", u"\u20AC"},  // unset = the system's UTF-8
  };
  for (const RoundTrip& c : cases) {
    String s = text_of(c.bytes, c.encoding, c.code_page);
    ASSERT_TRUE(s.convert(TextEncoding::Unicode, -1)) << c.code_page;
    EXPECT_EQ(s.encoding(), TextEncoding::Unicode);
    EXPECT_EQ(s.window_utf16(), c.units) << c.code_page;
    ASSERT_TRUE(s.convert(c.encoding, c.code_page));
    EXPECT_EQ(bytes_of(s), c.bytes) << c.code_page;
    EXPECT_EQ(s.code_page(), c.code_page);
  }
}

TEST(StringEncodingTest, ConversionShortcuts) {
  String s = text_of("abc", TextEncoding::SingleByte, -1);
  s.select_bytes(1, 2);
  EXPECT_TRUE(s.convert(TextEncoding::SingleByte, -1));
  EXPECT_EQ(s.window_length(), 3);  // same kind and code page: select all
  EXPECT_TRUE(s.convert(TextEncoding::SingleByte, 1252));  // only the code page is set
  EXPECT_EQ(s.code_page(), 1252);
  String empty;
  EXPECT_TRUE(empty.convert(TextEncoding::Multibyte, 932));
  EXPECT_EQ(empty.encoding(), TextEncoding::Multibyte);
}

TEST(StringEncodingTest, PendingErrorBlocksConversion) {
  String s = text_of("abc", TextEncoding::SingleByte, 1252);
  s.raise_error(3);
  EXPECT_FALSE(s.convert(TextEncoding::Unicode, -1));
  EXPECT_EQ(s.encoding(), TextEncoding::SingleByte);
  EXPECT_EQ(bytes_of(s), "abc");
}

TEST(StringEncodingTest, UnknownSourceCodePageRetriesWithTheSystemOne) {
  String s = text_of("ok", TextEncoding::SingleByte, 4242);
  EXPECT_TRUE(s.convert(TextEncoding::Unicode, -1));
  EXPECT_EQ(s.error, 9);  // recorded, and the retry's result kept
  EXPECT_EQ(s.to_utf8(), "ok");
  String narrow = text_of(testing::utf16le("x"), TextEncoding::Unicode, -1);
  EXPECT_FALSE(narrow.convert(TextEncoding::SingleByte, 4242));
  EXPECT_EQ(narrow.error, 5);
  EXPECT_EQ(narrow.encoding(), TextEncoding::Unicode);
}

TEST(StringEncodingTest, WideTextToTheSystemCodePageIsNotCutShort) {
  // Japanese needs three UTF-8 bytes per UTF-16 unit.
  String s = text_of("\x93\xFA\x96\x7B", TextEncoding::Multibyte, 932);
  ASSERT_TRUE(s.to_system_code_page());
  EXPECT_EQ(bytes_of(s), "\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(s.code_page(), 65001);
  EXPECT_EQ(s.encoding(), TextEncoding::SingleByte);
}

TEST(StringEncodingTest, MatchEncoding) {
  String wide = text_of(testing::utf16le("abc"), TextEncoding::Unicode, -1);
  String sjis = text_of("x", TextEncoding::Multibyte, 932);
  wide.match_encoding(sjis);
  EXPECT_EQ(wide.encoding(), TextEncoding::Multibyte);
  EXPECT_EQ(wide.code_page(), 932);
  EXPECT_EQ(bytes_of(wide), "abc");
  String narrow = text_of("caf\xC3\xA9", TextEncoding::SingleByte, 1252);
  String unicode = text_of(testing::utf16le("y"), TextEncoding::Unicode, -1);
  narrow.match_encoding(unicode);  // taken as the system code page, then widened
  EXPECT_EQ(narrow.encoding(), TextEncoding::Unicode);
  EXPECT_EQ(narrow.window_utf16(), u"caf\u00E9");
  String latin = text_of("\xE9", TextEncoding::SingleByte, 1252);
  latin.match_encoding(sjis);  // relabelled only
  EXPECT_EQ(latin.code_page(), 932);
  EXPECT_EQ(bytes_of(latin), "\xE9");
}

TEST(StringEncodingTest, LowerCaseByEncoding) {
  String narrow = text_of("ABC\xC9", TextEncoding::SingleByte, 1252);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(narrow.lower_case())), "abc\xC9");
  // 0x83 0x41 is one character whose trail byte is "A": it stays.
  String sjis = text_of("\x83\x41" "A", TextEncoding::Multibyte, 932);
  sjis.lower_case();
  EXPECT_EQ(bytes_of(sjis), "\x83\x41" "a");
  String wide = text_of(std::string("A\0\xC9\0", 4), TextEncoding::Unicode, -1);
  wide.lower_case();
  EXPECT_EQ(wide.window_utf16(), u"a\u00E9");
}

TEST(StringEncodingTest, TerminatedViews) {
  String s("abc");
  EXPECT_STREQ(s.c_str(), "abc");
  String wide = text_of(testing::utf16le("ab") + "z", TextEncoding::Unicode, -1);
  const char16_t* units = wide.wide_str();
  EXPECT_EQ(units[0], u'a');
  EXPECT_EQ(units[2], static_cast<char16_t>('z'));
  EXPECT_EQ(units[3], 0);
  String empty;
  EXPECT_STREQ(empty.c_str(), "");
}

TEST(StringEncodingTest, SystemCodePageRelabels) {
  String s("x");
  s.use_system_code_page();
  EXPECT_EQ(s.code_page(), 65001);
  EXPECT_EQ(s.encoding(), TextEncoding::SingleByte);
}

}  // namespace
}  // namespace wayfetch
