#include "core/string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error_log.h"
#include "core/file.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

String text_of(std::string_view bytes, TextEncoding encoding = TextEncoding::SingleByte,
               int32_t code_page = -1) {
  String s;
  s.set_text(bytes, encoding, code_page);
  return s;
}

std::string window_of(const String& s) {
  return std::string(s.window_bytes());
}

TEST(StringTest, ConstructionAndCopiesTakeTheWindow) {
  String s("hello world");
  EXPECT_EQ(s.length(), 11);
  EXPECT_EQ(s.capacity(), 13);
  EXPECT_EQ(s.cursor(), -1);
  String null_text(static_cast<const char*>(nullptr));
  EXPECT_EQ(null_text.data(), nullptr);
  s.select_bytes(6, 11);
  s.set_context(4);
  s.raise_warning(2);
  String copy(s);
  EXPECT_EQ(window_of(copy), "world");
  EXPECT_EQ(copy.length(), 5);
  EXPECT_EQ(copy.context(), 4);
  EXPECT_EQ(copy.warning, 0);
  copy = copy;  // self-assignment does nothing
  EXPECT_EQ(window_of(copy), "world");
  String bad;
  bad.set_text(nullptr, 3, TextEncoding::SingleByte, -1);
  EXPECT_EQ(bad.error, 3);
}

TEST(StringTest, EmptyTextOwnsATerminatedBuffer) {
  String empty("");
  ASSERT_NE(empty.data(), nullptr);
  EXPECT_EQ(empty.capacity(), 2);
  EXPECT_EQ(empty.length(), 0);
  EXPECT_EQ(empty.code_page(), -1);
  EXPECT_EQ(empty.context(), -1);
  String none(static_cast<const char*>(nullptr));
  EXPECT_EQ(none.capacity(), 0);
  // set_text with a zero length leaves no buffer.
  empty.set_text("", TextEncoding::SingleByte, -1);
  EXPECT_EQ(empty.data(), nullptr);
}

TEST(StringTest, ComparisonFoldsOnlyAsciiLetters) {
  String script("script");
  EXPECT_TRUE(script.equals("SCRIPT"));
  EXPECT_TRUE(String("Script").equals("SCRIPT"));
  EXPECT_FALSE(text_of("\xC9", TextEncoding::SingleByte, 1252)
                   .equals(text_of("\xE9", TextEncoding::SingleByte, 1252)));
  EXPECT_EQ(String("abc").compare(String("abcd"), false, false), -1);
  EXPECT_EQ(String("abcd").compare(String("abc"), false, false), 1);
  EXPECT_TRUE(String("abc").starts_with("ab"));
  EXPECT_FALSE(String("abc").starts_with("abcd"));
  EXPECT_EQ(String("abc").compare(String("ABD"), false, true), 1);  // "a" > "A" case-sensitive
  EXPECT_EQ(String("").compare(String(""), false, false), 0);
  EXPECT_EQ(String("").compare(String("a"), true, false), -1);
  EXPECT_EQ(String("a").compare(String(""), true, false), 1);
  // Characters are compared by value across encodings.
  EXPECT_TRUE(text_of(testing::utf16le("Head"), TextEncoding::Unicode).equals("HEAD"));
}

TEST(StringTest, BlankAndNumbers) {
  EXPECT_TRUE(String(" \t\r\n").is_blank());
  EXPECT_TRUE(String("").is_blank());
  EXPECT_FALSE(String(" x ").is_blank());
  EXPECT_EQ(String("12").to_integer(), 12);
  EXPECT_EQ(String("fF").to_integer_base(16), 255);
  EXPECT_EQ(String("1a").to_integer_base(16), 26);
  EXPECT_EQ(String("\x01\xFF").checksum(), 0);
}

TEST(StringTest, AppendingNumbersAndText) {
  String s;
  s.append_number(255, 16);
  s.append_char(' ');
  s.append_number(0, 10);
  s.append_char(' ');
  s.append_hex(160);
  s.append_char(' ');
  s.append_number(4294967295u, 10);
  s.append_number(7, 1);  // a base below 2 appends nothing
  s.append_number(7, 0);
  EXPECT_EQ(s.to_utf8(), "FF 0 A0 4294967295");
  EXPECT_EQ(s.window_length(), 0);  // appending never moves the window
  String wide = text_of(testing::utf16le("x"), TextEncoding::Unicode);
  int32_t before = s.length();
  s.append(wide);
  EXPECT_EQ(s.error, 4);
  EXPECT_EQ(s.length(), before);
  s.select_all();
  s.append(s);  // appending itself doubles the text
  EXPECT_EQ(s.to_utf8(), "FF 0 A0 4294967295FF 0 A0 4294967295");
  wide.append_char(0x3042);
  EXPECT_EQ(std::string(wide.window_bytes().data(), 4), std::string("x\0\x42\x30", 4));
}

TEST(StringTest, PathWindows) {
  String path("C:\\data.d\\news\\page");
  path.select_extension(false);
  EXPECT_TRUE(path.window_empty());
  String file("/home/u/archive.tar.gz");
  file.select_extension(false);
  EXPECT_EQ(window_of(file), "gz");
  file.select_extension(true);
  EXPECT_EQ(window_of(file), ".gz");
  file.select_file_name();
  EXPECT_EQ(window_of(file), "archive.tar.gz");
  path.select_directory(true);
  EXPECT_EQ(window_of(path), "C:\\data.d\\news\\");
  path.select_directory(false);
  EXPECT_EQ(window_of(path), "C:\\data.d\\news");
  String bare("page.html");
  bare.select_directory(true);
  EXPECT_TRUE(bare.window_empty());
  bare.select_file_name();
  EXPECT_EQ(window_of(bare), "page.html");
}

TEST(StringTest, CursorWalk) {
  String s("a\nb");
  int32_t lines = 0;
  EXPECT_EQ(s.current_char(), 0);
  EXPECT_EQ(s.error, 7);  // before the first next_char
  EXPECT_EQ(s.next_char(&lines), 'a');
  EXPECT_EQ(s.next_char(&lines), '\n');
  EXPECT_EQ(s.next_char(&lines), 'b');
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(s.warning, 0);
  EXPECT_EQ(s.next_char(&lines), 0);
  EXPECT_EQ(s.warning, 2);
  EXPECT_EQ(s.cursor(), 3);
  EXPECT_EQ(s.next_char(), 0);  // stays at the end
  EXPECT_EQ(s.cursor(), 3);
  String empty;
  EXPECT_EQ(empty.next_char(), 0);
  EXPECT_EQ(empty.cursor(), 0);
  EXPECT_EQ(empty.warning, 2);
}

TEST(StringTest, ShiftJisCharactersAreSteppedOverWhole) {
  String s = text_of(
      "\x82\xA0"
      "a\x83",
      TextEncoding::Multibyte, 932);
  EXPECT_EQ(s.next_char(), 0x82A0);
  EXPECT_EQ(s.char_width(), 2);
  EXPECT_EQ(s.next_char(), 'a');
  EXPECT_EQ(s.cursor(), 2);
  // A lead byte cut off at the end is one byte, never a read past the text.
  EXPECT_EQ(s.next_char(), 0x83);
  EXPECT_EQ(s.next_char(), 0);
  EXPECT_EQ(s.warning, 2);
  EXPECT_EQ(s.select_chars(1, 3), 2);
  EXPECT_EQ(window_of(s), "a\x83");
  EXPECT_EQ(s.select_chars(0, 99), 3);
  EXPECT_EQ(s.window_end(), 4);
  // An unknown double-byte code page raises error 5 and reads single bytes.
  String odd = text_of("\x82\xA0", TextEncoding::Multibyte, 1252);
  EXPECT_EQ(odd.next_char(), 0x82);
  EXPECT_EQ(odd.error, 5);
  odd.clear_status();
  EXPECT_EQ(odd.select_chars(0, 1), 1);  // walking characters tests lead bytes too
  EXPECT_EQ(odd.window_end(), 1);
  EXPECT_EQ(odd.error, 5);
  // An invalid encoding value fails character operations with error 4.
  String invalid = text_of("ab", static_cast<TextEncoding>(9), -1);
  invalid.next_char();
  EXPECT_EQ(invalid.error, 4);
}

TEST(StringTest, UnicodeWindowsAndOddLengths) {
  String s = text_of(testing::utf16le("abc") + "x", TextEncoding::Unicode);
  EXPECT_EQ(s.select_chars(1, 2), 1);
  EXPECT_EQ(window_of(s), std::string("b\0", 2));
  EXPECT_EQ(s.next_char(), 'a');
  s.next_char();
  s.next_char();
  // The lone last byte is not a whole unit.
  EXPECT_EQ(s.next_char(), 0);
  EXPECT_EQ(s.warning, 2);
}

TEST(StringTest, ReplaceAllMovesTheCursor) {
  String s("one AND two and three");
  s.select_bytes(4, 15);  // "AND two and"
  s.set_cursor(18);
  EXPECT_EQ(s.replace_all(String("and"), String("&&&&")), 2);
  EXPECT_EQ(s.to_utf8(), "one &&&& two &&&& three");
  EXPECT_EQ(window_of(s), "&&&& two &&&&");
  EXPECT_EQ(s.cursor(), 20);
  s.set_cursor(6);
  s.select_all();
  EXPECT_EQ(s.replace_all(String("&&&&"), String("")), 2);
  EXPECT_EQ(s.to_utf8(), "one  two  three");
  EXPECT_EQ(s.cursor(), 0);
}

TEST(StringTest, ReplaceAllWithoutMatchStillRewindsACursorInTheWindow) {
  String s("abc def ghi");
  s.select_bytes(4, 7);
  s.set_cursor(5);
  EXPECT_EQ(s.replace_all(String("xyz"), String("q")), 0);
  EXPECT_EQ(s.to_utf8(), "abc def ghi");
  EXPECT_EQ(s.cursor(), 4);
  s.set_cursor(9);  // after the window: unchanged
  EXPECT_EQ(s.replace_all(String("DEF"), String("de")), 1);
  EXPECT_EQ(s.to_utf8(), "abc de ghi");
  EXPECT_EQ(s.cursor(), 8);
  EXPECT_EQ(window_of(s), "de");
}

TEST(StringTest, FillFromPads) {
  String s("[.....]");
  s.select_bytes(1, 6);
  s.fill_from(String("ab"));
  EXPECT_EQ(s.to_utf8(), "[ab   ]");
  s.fill_from(String("abcdefgh"));
  EXPECT_EQ(s.to_utf8(), "[abcde]");
  s.fill_from(text_of(testing::utf16le("x"), TextEncoding::Unicode));
  EXPECT_EQ(s.error, 4);
  String wide = text_of(testing::utf16le("[...]"), TextEncoding::Unicode);
  wide.select_chars(1, 4);
  wide.fill_from(text_of(testing::utf16le("z"), TextEncoding::Unicode));
  EXPECT_EQ(std::string(wide.c_str(), 10), testing::utf16le("[z  ]"));
}

TEST(StringTest, SerializedRecords) {
  String s = text_of("\x82\xA0xyz", TextEncoding::Multibyte, 932);
  s.select_bytes(0, 3);
  int32_t size_only = 0;
  EXPECT_EQ(s.serialize({}, size_only), 15);
  std::vector<uint8_t> buffer(40);
  int32_t offset = 2;
  EXPECT_EQ(s.serialize(buffer, offset), 15);
  EXPECT_EQ(offset, 17);
  const uint8_t expected_header[] = {3, 0, 0, 0, 0xA4, 3, 0, 0, 3, 0, 0, 0};
  EXPECT_TRUE(
      std::equal(std::begin(expected_header), std::end(expected_header), buffer.begin() + 2));
  // A record that does not fit is not written.
  std::vector<uint8_t> small(10);
  int32_t at = 0;
  EXPECT_EQ(s.serialize(small, at), 0);
  EXPECT_EQ(at, 0);

  const uint8_t* cursor = buffer.data() + 2;
  int32_t remaining = 38;
  String back;
  ASSERT_TRUE(back.deserialize(cursor, remaining));
  EXPECT_EQ(window_of(back), "\x82\xA0x");
  EXPECT_EQ(back.code_page(), 932);
  EXPECT_EQ(back.encoding(), TextEncoding::Multibyte);
  EXPECT_EQ(remaining, 23);
  EXPECT_EQ(cursor, buffer.data() + 17);
}

TEST(StringTest, DeserializeRefusesRecordsLongerThanTheInput) {
  std::vector<uint8_t> record{0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'a', 'b'};
  const uint8_t* cursor = record.data();
  int32_t remaining = static_cast<int32_t>(record.size());
  String s("old");
  EXPECT_FALSE(s.deserialize(cursor, remaining));
  EXPECT_EQ(s.error, 7);
  EXPECT_EQ(s.length(), 0);
  EXPECT_EQ(remaining, 0);
  EXPECT_EQ(cursor, record.data() + record.size());
  // A truncated header too.
  cursor = record.data();
  remaining = 5;
  EXPECT_FALSE(s.deserialize(cursor, remaining));
  EXPECT_EQ(remaining, 0);
  // Negative lengths are huge unsigned numbers and refused the same way.
  record[0] = 0xFF;
  record[1] = 0xFF;
  record[2] = 0xFF;
  record[3] = 0xFF;
  cursor = record.data();
  remaining = static_cast<int32_t>(record.size());
  EXPECT_FALSE(s.deserialize(cursor, remaining));
}

class StringFileTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
};

TEST_F(StringFileTest, ByteOrderMarks) {
  std::string little = dir_.file("le.txt");
  testing::write_bytes(little, "\xFF\xFE" + testing::utf16le("Hi"));
  String s;
  ASSERT_TRUE(s.load_file(String(little.c_str())));
  EXPECT_EQ(s.encoding(), TextEncoding::Unicode);
  EXPECT_EQ(s.length(), 4);
  EXPECT_EQ(s.to_utf8(), "Hi");

  std::string big = dir_.file("be.txt");
  testing::write_bytes(big, std::string("\xFE\xFF\0H\0i", 6));
  ASSERT_TRUE(s.load_file(String(big.c_str())));
  EXPECT_EQ(s.encoding(), TextEncoding::Unicode);
  EXPECT_EQ(s.to_utf8(), "Hi");

  std::string one = dir_.file("one.txt");
  testing::write_bytes(one, "\xFF");
  ASSERT_TRUE(s.load_file(String(one.c_str())));
  EXPECT_EQ(s.encoding(), TextEncoding::SingleByte);
  EXPECT_EQ(s.code_page(), -1);
  EXPECT_EQ(s.length(), 1);
  EXPECT_EQ(s.cursor(), -1);
}

TEST_F(StringFileTest, MissingFileQuotesItsNameInTheLog) {
  std::string log_path = dir_.file("error_log.txt");
  ErrorLog log(String(log_path.c_str()), true);
  ScopedErrorSink install(&log);
  String s;
  std::string missing = dir_.file("missing.xml");
  EXPECT_FALSE(s.load_file(String(missing.c_str())));
  EXPECT_EQ(s.error, 6);
  EXPECT_GE(s.context(), 0);
  EXPECT_EQ(testing::read_bytes(log_path),
            "\xFF\xFE" + testing::utf16le("Error(core): Could not access file.\r\n"
                                          "      in file: " +
                                          missing + "\r\n"));
}

TEST_F(StringFileTest, ReadFileFromAnOpenHandle) {
  std::string path = dir_.file("page.html");
  testing::write_bytes(path, "<html>");
  File file;
  ASSERT_TRUE(file.open(path, File::read_existing));
  String s;
  ASSERT_TRUE(s.read_file(file, String("page.html")));
  EXPECT_EQ(s.to_utf8(), "<html>");
}

TEST(StringDateTest, FormatDateGivesTheSystemCodePage) {
  String s;
  EXPECT_FALSE(s.format_date(String("yyyy")));
  EXPECT_EQ(s.length(), 4);
  EXPECT_EQ(s.code_page(), 65001);
  EXPECT_FALSE(s.format_date(String()));
  EXPECT_GT(s.length(), 0);
}

TEST(YesNoTest, ParseAndPrint) {
  EXPECT_EQ(parse_yes_no(String("YES")), YesNo::yes);
  EXPECT_EQ(parse_yes_no(String("No")), YesNo::no);
  EXPECT_EQ(parse_yes_no(String("nope")), YesNo::unknown);
  EXPECT_STREQ(yes_no_text(YesNo::unknown), "unknown");
}

}  // namespace
}  // namespace wayfetch
