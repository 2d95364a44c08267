// Import of damaged and hostile .prc files: each must be refused with a
// clear text or read safely, never trusted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ebook/palmdoc.h"
#include "ebook/prc_converter.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

void put16(std::string& b, std::size_t at, uint32_t v) {
  b[at] = static_cast<char>(v >> 8);
  b[at + 1] = static_cast<char>(v);
}
void put32(std::string& b, std::size_t at, uint32_t v) {
  put16(b, at, v >> 16);
  put16(b, at + 2, v & 0xFFFF);
}

uint32_t be_offset(const std::string& b, std::size_t at) {
  uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
  return v;
}

std::string record0(uint32_t compression, uint32_t text_records) {
  std::string r(16, '\0');
  put16(r, 0, compression);
  put16(r, 8, text_records);
  put16(r, 10, 4096);
  return r;
}

// A database of the given records, laid out as the writer does.
std::string database(const std::vector<std::string>& records) {
  const auto n = static_cast<uint32_t>(records.size());
  std::string b(78 + 8 * n + 2, '\0');
  b.replace(0, 4, "Book");
  b.replace(60, 8, "TEXtREAd");
  put16(b, 76, n);
  for (uint32_t i = 0; i < n; ++i) {
    put32(b, 78 + 8 * i, static_cast<uint32_t>(b.size()));
    b += records[i];
  }
  return b;
}

std::string compressed(std::string_view text) {
  RecordBuffer buffer{text};
  compress(buffer);
  return std::string(buffer.view());
}

class PrcImportTest : public ::testing::Test {
 protected:
  // Imports `bytes`; on success reads every text record into `text_`.
  bool import(const std::string& bytes) {
    testing::write_bytes(path_, bytes);
    prc_.set_source(path_);
    text_.clear();
    if (!prc_.open_import()) return false;
    RecordBuffer record;
    for (int i = 0; i < prc_.text_record_count(); ++i) {
      if (!prc_.read_text_record(record, i)) return false;
      text_ += record.view();
    }
    return true;
  }

  testing::TempDir dir_;
  std::string path_ = dir_.file("in.prc");
  PrcConverter prc_;
  std::string text_;
};

TEST_F(PrcImportTest, ReadsAWellFormedBook) {
  ASSERT_TRUE(import(database({record0(2, 2), compressed("one\ntwo "), compressed("three")})))
      << prc_.error_text();
  EXPECT_EQ(prc_.title(), "Book");
  EXPECT_EQ(text_, "one\r\ntwo three");
  ASSERT_TRUE(import(database({record0(1, 1), "plain\n"})));
  EXPECT_EQ(text_, "plain\r\n");
}

TEST_F(PrcImportTest, RefusesDamagedHeaders) {
  const std::string good = database({record0(2, 1), compressed("text")});
  const std::string invalid =
      "Error: unable to import the PRC File: " + path_ + ", not a valid DOC format";
  const std::string damaged =
      "Error: unable to import the PRC File: " + path_ + ", the file is damaged";

  struct Case {
    const char* what;
    std::string bytes;
    std::string error;
  };
  std::vector<Case> cases = {
      {"empty file", "", invalid},
      {"header cut short", good.substr(0, 77), invalid},
      {"record list cut short", good.substr(0, 84), damaged},
      {"wrong type", std::string(good).replace(60, 4, "BOOK"), invalid},
      {"wrong creator", std::string(good).replace(64, 4, "MOBI"), invalid},
      {"no records",
       [&] {
         std::string b = good;
         put16(b, 76, 0);
         return b;
       }(),
       invalid},
      {"more records than the file holds",
       [&] {
         std::string b = good;
         put16(b, 76, 0xFFFF);
         return b;
       }(),
       damaged},
      {"record 0 beyond the end",
       [&] {
         std::string b = good;
         put32(b, 78, 0x7FFFFFF0);
         return b;
       }(),
       damaged},
      {"record 0 inside the header",
       [&] {
         std::string b = good;
         put32(b, 78, 10);
         return b;
       }(),
       damaged},
      {"record 0 of one byte",
       [&] {
         std::string b = good;
         put32(b, 86, be_offset(b, 78) + 1);
         return b;
       }(),
       damaged},
      {"unknown compression", database({record0(17480, 1), "text"}),
       "Error: unknown compression type"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(import(c.bytes)) << c.what;
    EXPECT_EQ(prc_.error_text(), c.error) << c.what;
  }
}

TEST_F(PrcImportTest, RefusesDamagedTextRecords) {
  const std::string prefix = "Error: text record 1 of the PRC File: " + path_ + " ";
  struct Case {
    const char* what;
    std::string bytes;
    std::string error;
  };
  // Record 2 said to start before record 1, and beyond the end of the file.
  std::string backwards = database({record0(2, 2), compressed("first"), compressed("second")});
  put32(backwards, 94, be_offset(backwards, 86) - 1);
  std::string beyond = database({record0(2, 2), compressed("first"), compressed("second")});
  put32(beyond, 94, 0xFFFFFF00);
  std::vector<Case> cases = {
      {"offsets going backwards", backwards, prefix + "is damaged"},
      {"offset beyond the end", beyond, prefix + "is damaged"},
      {"reference before the start", database({record0(2, 1), "\x80\x10"}), prefix + "is damaged"},
      {"escape cut off", database({record0(2, 1), "ab\x05x"}), prefix + "is damaged"},
      {"record over 64 KB", database({record0(1, 1), std::string(70000, 'x')}),
       prefix + "is too large"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(import(c.bytes)) << c.what;
    EXPECT_EQ(prc_.error_text(), c.error) << c.what;
  }
}

TEST_F(PrcImportTest, DecodesRecordsLargerThanUsual) {
  // 2000 references of ten bytes each: 20000 bytes from a 4-KB record.
  std::string record = "abcdefghij";
  for (int i = 0; i < 2000; ++i) record += "\x80\x57";  // distance 10, length 10
  ASSERT_TRUE(import(database({record0(2, 1), record}))) << prc_.error_text();
  EXPECT_EQ(text_.size(), 20010u);
  EXPECT_EQ(text_.substr(19990), "abcdefghijabcdefghij");
}

TEST_F(PrcImportTest, CountsTextRecordsSafely) {
  // Record 0 announcing more text records than exist is bounded by the list.
  ASSERT_TRUE(import(database({record0(2, 9), compressed("only")})));
  EXPECT_EQ(prc_.text_record_count(), 1);
  EXPECT_EQ(text_, "only");
  // A short record 0 without a count: every record is text.
  ASSERT_TRUE(import(database({std::string("\0\x02", 2), compressed("a"), compressed("b")})));
  EXPECT_EQ(text_, "ab");
  // Reading before opening, or with a negative index.
  PrcConverter fresh;
  RecordBuffer record;
  EXPECT_FALSE(fresh.read_text_record(record, 0));
  EXPECT_TRUE(prc_.read_text_record(record, -1));
  EXPECT_EQ(record.length(), 0);
  // With the length given back: the decoded length, and 0 past the end.
  int32_t length = -1;
  EXPECT_TRUE(prc_.read_text_record(record, length, 1));
  EXPECT_EQ(length, 1);
  EXPECT_EQ(record.view(), "b");
  EXPECT_TRUE(prc_.read_text_record(record, length, 2));
  EXPECT_EQ(length, 0);
}

}  // namespace
}  // namespace wayfetch
