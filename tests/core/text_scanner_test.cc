#include "core/text_scanner.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

std::string window_of(const String& s) { return std::string(s.window_bytes()); }

TEST(TextScannerTest, ReadNameStrictAndLoose) {
  TextScanner s("  \n xsl:value-of.x=1");
  int32_t lines = 0;
  s.read_name(&lines, false);
  EXPECT_EQ(window_of(s), "xsl:value-of.x");
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(s.cursor(), s.window_start());
  s.continue_after_window();
  EXPECT_EQ(s.current_char(), '=');

  TextScanner strict("xsl:value");
  strict.read_name(nullptr, true);
  EXPECT_EQ(window_of(strict), "xsl");
  TextScanner digit("9abc");
  digit.read_name(nullptr, false);
  EXPECT_TRUE(digit.window_empty());
  EXPECT_EQ(digit.cursor(), 0);
}

TEST(TextScannerTest, TokensAndDigits) {
  TextScanner s("  abc\tdef 0042x");
  s.read_token();
  EXPECT_EQ(window_of(s), "abc");
  s.continue_after_window();
  s.read_token();
  EXPECT_EQ(window_of(s), "def");
  s.continue_after_window();
  s.read_digits();
  EXPECT_EQ(window_of(s), "0042");
  EXPECT_EQ(s.to_integer(), 42);
}

TEST(TextScannerTest, Values) {
  TextScanner s(" 'a\"b' \"c'd\" plain>x \"e>f\" \"open");
  s.read_value();
  EXPECT_EQ(window_of(s), "a\"b");
  s.continue_after_window();
  s.next_char();  // the closing quote
  s.read_value();
  EXPECT_EQ(window_of(s), "c'd");
  s.continue_after_window();
  s.next_char();
  s.read_value();
  EXPECT_EQ(window_of(s), "plain");
  s.continue_after_window();
  s.next_char();
  s.next_char();  // "x"
  s.read_value();
  EXPECT_EQ(window_of(s), "e");  // ">" ends a quoted value too
  s.continue_after_window();
  while (s.current_char() != ' ') s.next_char();
  s.read_value();
  EXPECT_TRUE(s.window_empty());  // runs to the end: nothing selected
}

TEST(TextScannerTest, Balanced) {
  TextScanner s("a(b)c)rest");
  s.read_balanced('(', ')');
  EXPECT_EQ(window_of(s), "a(b)c");
  TextScanner open("a(b");
  EXPECT_TRUE(open.read_balanced('(', ')'));
  EXPECT_TRUE(open.window_empty());
  EXPECT_EQ(open.window_start(), 3);
}

TEST(TextScannerTest, FindFromTheCursor) {
  TextScanner s("<p>Title</P><p>x</p>");
  s.set_cursor(4);
  EXPECT_TRUE(s.find(String("</p>"), false));
  EXPECT_EQ(s.window_start(), 8);
  EXPECT_EQ(s.cursor(), 4);
  EXPECT_TRUE(s.find(String("</p>"), true));
  EXPECT_EQ(s.window_start(), 16);
  EXPECT_FALSE(s.find(String("<div"), false));
  EXPECT_TRUE(s.window_empty());
  EXPECT_EQ(s.window_start(), 4);
  // A search clears a warning an earlier reader left, whatever it finds.
  s.raise_warning(5);
  s.find(String("</p>"), false);
  EXPECT_EQ(s.warning, 0);
  // In double-byte text a match never starts inside a character: the trail
  // byte 0x5C of the first character is not a backslash.
  TextScanner sjis;
  sjis.set_text("\x95\x5C\\", TextEncoding::Multibyte, 932);
  EXPECT_TRUE(sjis.find(String("\\"), true));
  EXPECT_EQ(sjis.window_start(), 2);
  TextScanner wide;
  wide.set_text(testing::utf16le("aXbxc"), TextEncoding::Unicode, -1);
  EXPECT_TRUE(wide.find(String("xC"), false));
  EXPECT_EQ(wide.window_start(), 6);
}

TEST(TextScannerTest, StripTags) {
  TextScanner s("<b>bold</b> and <i>more");
  String out;
  s.strip_tags(out);
  EXPECT_EQ(out.to_utf8(), "bold and more");
  TextScanner only("<br><hr>");
  only.strip_tags(out);
  EXPECT_EQ(out.length(), 0);
  EXPECT_TRUE(only.window_empty());
}

TEST(TextScannerTest, MarksAndCheckpoints) {
  TextScanner s("0123456789");
  s.set_cursor(2);
  s.mark_start_here();
  s.set_cursor(5);
  s.mark_end_here();
  s.checkpoint();
  s.select_marked();
  EXPECT_EQ(window_of(s), "234");
  s.select_bytes(7, 9);
  s.swap_window_and_marks();
  EXPECT_EQ(window_of(s), "234");
  EXPECT_EQ(s.mark_start(), 7);
  s.set_cursor(0);
  s.back_to_checkpoint();
  EXPECT_EQ(s.cursor(), 5);
  CursorState state = s.save_cursor();
  s.rewind();
  s.restore_cursor(state);
  EXPECT_EQ(s.cursor(), 5);
  EXPECT_EQ(window_of(s), "234");
}

TEST(TextScannerTest, SkipBlanksCountsLines) {
  TextScanner s("\n\r\n  x");
  int32_t lines = 0;
  s.skip_blanks(&lines);
  EXPECT_EQ(lines, 2);
  EXPECT_EQ(s.current_char(), 'x');
}

}  // namespace
}  // namespace wayfetch
