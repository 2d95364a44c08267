#include "core/error_log.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/message_table.h"
#include "core/string.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::utf16le;

class ErrorLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("error_log.txt");
    log_ = std::make_unique<ErrorLog>(String(path_.c_str()), true);
    ASSERT_TRUE(log_->is_open());
    install_ = std::make_unique<ScopedErrorSink>(log_.get());
  }
  // The log's bytes after the byte-order mark.
  std::string records() {
    std::string bytes = testing::read_bytes(path_);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    return bytes.size() >= 2 ? bytes.substr(2) : bytes;
  }
  int32_t slot(const char* text, int32_t retention = ErrorLog::retention_keep) {
    return log_->register_context(String(text), retention);
  }

  testing::TempDir dir_;
  std::string path_;
  std::unique_ptr<ErrorLog> log_;
  std::unique_ptr<ScopedErrorSink> install_;
};

TEST_F(ErrorLogTest, ErrorWithLineAndFile) {
  ErrorState state;
  int32_t template_slot = slot("/data/news/news.xsl");
  state.raise_error(23, 12, template_slot);
  EXPECT_EQ(state.error, 23);
  EXPECT_EQ(records(), utf16le("Error(parsing): Closing an unknown node.\r\n"
                               "     line: 0000012 in file: /data/news/news.xsl\r\n"));
}

TEST_F(ErrorLogTest, WarningWithInternetErrorAndUrl) {
  ErrorState state;
  int32_t url = slot("http://example.org/a", ErrorLog::retention_transient);
  state.raise_warning(35, url, 109);
  EXPECT_EQ(records(), utf16le("Warning(extraction): Failed HTTP request. Server not found.\r\n"
                               "       URL: http://example.org/a\r\n"));
}

TEST_F(ErrorLogTest, LocationLinesByCodeGroup) {
  ErrorState state;
  int32_t file = slot("f.xml");
  state.raise_error(18, 12345678, -1);  // only the last seven digits
  state.raise_error(30, -1, -1);        // message only
  state.raise_error(6, file);           // core: five spaces, " in file: "
  state.raise_error(109, file);         // internet: prefix and URL line
  state.raise_error(52, 1, file);       // other codes: no location
  state.raise_warning(9, 3, file);      // seven spaces
  state.raise_warning(10, file);
  state.raise_warning(13, -1, 399);  // a free slot quotes nothing
  EXPECT_EQ(records(),
            utf16le("Error(parsing): Invalid or missing XML tag name.\r\n"
                    "     line: 2345678\r\n"
                    "Error(rendering): Syntax error in XSL request.\r\n"
                    "Error(core): Could not access file.\r\n"
                    "      in file: f.xml\r\n"
                    "Error(internet): Server not found.\r\n"
                    "     URL: f.xml\r\n"
                    "Error(core): The thread manager has been passed a NULL task pointer.\r\n"
                    "Warning(parsing): Unclosed XML node(s) above.\r\n"
                    "       line: 0000003 in file: f.xml\r\n"
                    "Warning(parsing): No text encoding found.\r\n"
                    "        in file: f.xml\r\n"
                    "Warning(parsing): Expected > after </name but did not get it.\r\n"));
}

TEST_F(ErrorLogTest, LocationLinesWithoutTextOrLineNumber) {
  ErrorState state;
  int32_t url = slot("http://example.org/", ErrorLog::retention_transient);
  state.raise_warning(35, url, -1);   // no internet error: the message alone
  state.raise_warning(35, url, 113);  // not an internet code
  state.raise_error(100, url);        // internet code without text: the prefix only
  state.raise_error(36, -1, url);     // a slot without a line number is not indented
  state.raise_warning(7, 5, -1);      // a code without text still has its location line
  state.raise_warning(37, url);
  EXPECT_EQ(records(), utf16le("Warning(extraction): Failed HTTP request.\r\n"
                               "       URL: http://example.org/\r\n"
                               "Warning(extraction): Failed HTTP request.\r\n"
                               "       URL: http://example.org/\r\n"
                               "Error(internet): \r\n"
                               "     URL: http://example.org/\r\n"
                               "\r\n"
                               " in file: http://example.org/\r\n"
                               "\r\n"
                               "       line: 0000005\r\n"
                               "Warning(extraction): Unknown text encoding. Using encoding of "
                               "template file.\r\n"
                               "       URL: http://example.org/\r\n"));
}

TEST_F(ErrorLogTest, CodesThatNeverReachTheLog) {
  ErrorState state;
  state.raise_error(80);
  state.raise_error(127);
  state.raise_error(-3);
  state.raise_warning(2);
  state.raise_warning(22);
  state.raise_warning(52);
  EXPECT_EQ(state.error, -3);
  EXPECT_EQ(state.warning, 52);
  EXPECT_EQ(records(), "");
  // A code without text still ends its (empty) line.
  state.raise_error(0);
  EXPECT_EQ(records(), utf16le("\r\n"));
}

TEST_F(ErrorLogTest, SilentObjectsRecordButDoNotWrite) {
  ErrorState state;
  state.silent = true;
  state.raise_error(24, 1, -1);
  state.raise_warning(8, 1, -1);
  EXPECT_EQ(state.error, 24);
  EXPECT_EQ(state.warning, 8);
  EXPECT_EQ(records(), "");
  state.clear_status();
  EXPECT_TRUE(state.self_check());
}

TEST_F(ErrorLogTest, SlotChoiceAndCutting) {
  for (int i = 0; i < ErrorLog::slot_count; ++i) {
    ASSERT_EQ(slot("k", i == 7 || i == 9 ? ErrorLog::retention_transient : 1), i);
  }
  // Full: the first transient slot, then the next one, then the first slot.
  EXPECT_EQ(slot("a"), 7);
  EXPECT_EQ(slot("b"), 9);
  EXPECT_EQ(slot("c"), 0);
  std::string long_url(200, 'u');
  int32_t cut = slot(long_url.c_str(), ErrorLog::retention_transient);
  ErrorState state;
  state.raise_error(106, cut);
  EXPECT_EQ(records(), utf16le("Error(internet): Unknown error in class WebConnector.\r\n"
                               "     URL: " +
                               std::string(149, 'u') + "\r\n"));
}

TEST_F(ErrorLogTest, RegistrationConvertsToUtf16) {
  String latin;
  latin.set_text("caf\xE9", TextEncoding::SingleByte, 1252);
  String sjis;
  sjis.set_text("\x82\xA0", TextEncoding::Multibyte, 932);
  String no_code_page;
  no_code_page.set_text("\x82\xA0", TextEncoding::Multibyte, -1);
  ErrorState state;
  state.raise_error(6, log_->register_context(latin, 1));
  state.raise_error(6, log_->register_context(sjis, 1));
  EXPECT_EQ(log_->register_context(no_code_page, 1), -1);
  std::string expected = utf16le("Error(core): Could not access file.\r\n      in file: caf");
  expected += std::string("\xE9\x00", 2) + utf16le("\r\n");
  expected += utf16le("Error(core): Could not access file.\r\n      in file: ");
  expected += std::string("\x42\x30", 2) + utf16le("\r\n");
  EXPECT_EQ(records(), expected);
}

TEST_F(ErrorLogTest, ResetKeepsOnlyTheByteOrderMark) {
  ErrorState state;
  int32_t s = slot("x");
  state.raise_error(23, 1, s);
  log_->reset();
  EXPECT_EQ(testing::read_bytes(path_), "\xFF\xFE");
  // Slots were freed: the slot no longer quotes anything.
  state.raise_error(23, -1, s);
  EXPECT_EQ(records(), utf16le("Error(parsing): Closing an unknown node.\r\n"));
}

TEST_F(ErrorLogTest, RecordsOfThreadsNeverInterleave) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) {
        ErrorState state;
        state.raise_error(t % 2 == 0 ? 23 : 30, i, -1);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::string bytes = records();
  std::string a = utf16le("Error(parsing): Closing an unknown node.\r\n");
  std::string b = utf16le("Error(rendering): Syntax error in XSL request.\r\n");
  std::size_t count = 0;
  std::size_t at = 0;
  while (at < bytes.size()) {
    bool is_a = bytes.compare(at, a.size(), a) == 0;
    bool is_b = bytes.compare(at, b.size(), b) == 0;
    ASSERT_TRUE(is_a || is_b) << "interleaved record at byte " << at;
    at += is_a ? a.size() : b.size();
    std::string line_end = utf16le("\r\n");
    std::size_t next = bytes.find(line_end, at);
    ASSERT_NE(next, std::string::npos);
    at = next + line_end.size();
    ++count;
  }
  EXPECT_EQ(count, 800u);
}

TEST(ErrorLogWithoutFileTest, ClosedLogWritesNothing) {
  ErrorLog log(String("/nonexistent-folder/error_log.txt"), true);
  ScopedErrorSink install(&log);
  EXPECT_FALSE(log.is_open());
  EXPECT_FALSE(log.open());
  EXPECT_TRUE(log.unicode());
  ErrorState state;
  state.raise_error(23, 1, -1);
  EXPECT_EQ(state.error, 23);
}

TEST(ErrorLogWithoutFileTest, NonUnicodeLogStaysEmpty) {
  testing::TempDir dir;
  {
    ErrorLog log(String(dir.file("log").c_str()), false);
    ScopedErrorSink install(&log);
    ErrorState state;
    state.raise_error(23, 1, -1);
  }
  EXPECT_EQ(testing::read_bytes(dir.file("log")), "");
  EXPECT_FALSE(error_sink::installed());
}

TEST(MessageTableTest, TextsStandAsWritten) {
  EXPECT_EQ(messages::error_text(26), "Error(parsing): Could no load template file for parsing.");
  EXPECT_EQ(messages::error_text(125),
            "Error(psion): an error evnet occurred during last operation.");
  EXPECT_EQ(messages::warning_text(27),
            "Warning-serious(extraction): empty section. The part of the eNews corresponding to "
            "this section will not be built.");
  EXPECT_EQ(messages::error_text(10), "");
  // Texts that are easy to "correct" by mistake: quotes, missing full stops, typos.
  EXPECT_EQ(messages::error_text(61), "Error(extraction): URL parameter not found (and needed)");
  EXPECT_EQ(messages::error_text(85), "Error(extraction): Unknown error in class Extractor");
  EXPECT_EQ(messages::error_text(74),
            "Error(extraction): Failed writing data dowloaded by an action=\"get\".");
  EXPECT_EQ(messages::error_text(32),
            "Error(rendering): Expected an identifier after # sign in XSL request sbscript.");
  EXPECT_EQ(messages::error_text(70), messages::error_text(73));
  EXPECT_EQ(messages::warning_text(13),
            "Warning(parsing): Expected > after </name but did not get it.");
  // Which codes have a text at all.
  int errors = 0;
  int warnings = 0;
  for (int32_t code = 0; code < 127; ++code) errors += messages::error_text(code).empty() ? 0 : 1;
  for (int32_t code = 0; code < 53; ++code)
    warnings += messages::warning_text(code).empty() ? 0 : 1;
  EXPECT_EQ(errors, 92);
  EXPECT_EQ(warnings, 34);  // with the handheld log's 45, 48 and 49
  EXPECT_EQ(messages::warning_text(33),
            "Warning(extraction): an iteration stopped at its pass limit.");
  for (int32_t code :
       {0,  1,  10, 11, 15, 16, 28, 29, 36,  37,  39,  40,  43,  44,  49,  50,  54, 55,
        60, 71, 72, 86, 87, 96, 97, 99, 100, 112, 113, 118, 119, 122, 123, 124, 126}) {
    EXPECT_EQ(messages::error_text(code), "") << code;
  }
  EXPECT_EQ(messages::entry(181), "\r\n");
  EXPECT_EQ(messages::entry(193), "       ");
  EXPECT_EQ(messages::entry(194), "     ");
  EXPECT_EQ(messages::entry(188), "5");
  EXPECT_EQ(messages::entry(199), "");
  EXPECT_EQ(messages::warning_text(60), "");
}

}  // namespace
}  // namespace wayfetch
