#include "ebook/prc_converter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ebook/palmdoc.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::read_bytes;
using testing::write_bytes;

uint32_t be16(const std::string& b, std::size_t at) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(b[at])) << 8) |
         static_cast<uint8_t>(b[at + 1]);
}
uint32_t be32(const std::string& b, std::size_t at) {
  return (be16(b, at) << 16) | be16(b, at + 2);
}

// A picture converter that hands out prepared bytes and fails for unknown paths.
class FakePictures : public PictureRecordSource {
 public:
  bool make_record(const std::string& path, std::vector<uint8_t>& record,
                   std::string& error_text) override {
    auto it = records.find(path);
    if (it == records.end()) {
      error_text = "cannot convert " + path;
      return false;
    }
    record.assign(it->second.begin(), it->second.end());
    return true;
  }
  std::map<std::string, std::string> records;
};

// The records of a written file, split by its record list.
struct ParsedPrc {
  std::string bytes;
  uint32_t n = 0;
  std::vector<uint32_t> offsets;
  std::vector<std::string> records;
};

ParsedPrc parse(const std::string& path) {
  ParsedPrc p;
  p.bytes = read_bytes(path);
  if (p.bytes.size() < 78) return p;
  p.n = be16(p.bytes, 76);
  for (uint32_t i = 0; i < p.n; ++i) p.offsets.push_back(be32(p.bytes, 78 + 8 * i));
  for (uint32_t i = 0; i < p.n; ++i) {
    const uint32_t end = i + 1 < p.n ? p.offsets[i + 1] : static_cast<uint32_t>(p.bytes.size());
    p.records.push_back(p.bytes.substr(p.offsets[i], end - p.offsets[i]));
  }
  return p;
}

std::string text_of(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i)
    text += "<p>Line " + std::to_string(i) + " of the page.</p>\n";
  return text.substr(0, size);
}

std::string decoded(const std::string& record) {
  RecordBuffer buffer{std::string_view(record)};
  EXPECT_GE(decompress(buffer), 0);
  return std::string(buffer.view());
}

class PrcConverterTest : public ::testing::Test {
 protected:
  // Writes `text` with the given pictures; returns the converter's verdict.
  bool publish(const std::string& text, const std::vector<std::string>& pictures,
               bool compress = true, const std::string& title = "Daily News") {
    write_bytes(source_, text);
    PrcConverter prc(&pictures_);
    prc.set_source(source_);
    prc.set_target(target_);
    prc.set_title(title);
    prc.set_compress(compress);
    prc.set_progress_output(progress_);
    if (!prc.open(static_cast<int32_t>(pictures.size()))) return false;
    while (prc.next_text_record()) {
    }
    if (prc.failed()) return false;
    for (const std::string& picture : pictures) {
      if (!prc.add_image(picture)) return false;
    }
    return prc.close();
  }

  std::string progress_text() {
    std::fflush(progress_);
    std::rewind(progress_);
    std::string out;
    for (int c = std::fgetc(progress_); c != EOF; c = std::fgetc(progress_))
      out += static_cast<char>(c);
    return out;
  }

  void TearDown() override { std::fclose(progress_); }

  testing::TempDir dir_;
  std::string source_ = dir_.file("PRCtemp_1.tmp");
  std::string target_ = dir_.file("book.prc");
  FakePictures pictures_;
  std::FILE* progress_ = std::tmpfile();
};

TEST_F(PrcConverterTest, WritesHeaderRecordListAndRecordZero) {
  pictures_.records["/p/a.gif"] = "BM-first";
  pictures_.records["/p/b.png"] = "BM-second-picture";
  const std::string text = text_of(8193);
  ASSERT_TRUE(publish(text, {"/p/a.gif", "/p/b.png"}));
  ParsedPrc prc = parse(target_);
  const std::string& b = prc.bytes;

  EXPECT_EQ(b.substr(0, 32), std::string("Daily News") + std::string(22, '\0'));
  EXPECT_EQ(b.substr(32, 4), std::string(4, '\0'));                // attributes, version
  EXPECT_EQ(b.substr(36, 8), "\x06\xD1\x44\xAE\x06\xD1\x44\xAE");  // fixed dates
  EXPECT_EQ(b.substr(44, 16), std::string(16, '\0'));
  EXPECT_EQ(b.substr(60, 8), "TEXtREAd");
  EXPECT_EQ(b.substr(68, 8), std::string(8, '\0'));
  ASSERT_EQ(prc.n, 6u);  // record 0, three text records, two pictures

  for (uint32_t i = 0; i < prc.n; ++i) {
    EXPECT_EQ(be32(b, 78 + 8 * i + 4), 0x406F8000u + i) << "attributes and unique id of " << i;
  }
  EXPECT_EQ(b.substr(78 + 8 * 6, 2), std::string(2, '\0'));
  EXPECT_EQ(prc.offsets[0], 8u * 6 + 80);
  EXPECT_EQ(prc.offsets[1], prc.offsets[0] + 214);
  for (uint32_t i = 1; i < prc.n; ++i) EXPECT_LE(prc.offsets[i - 1], prc.offsets[i]);

  const std::string& r0 = prc.records[0];
  ASSERT_EQ(r0.size(), 214u);
  EXPECT_EQ(be16(r0, 0), 2u);
  EXPECT_EQ(be16(r0, 2), 0u);
  EXPECT_EQ(be32(r0, 4), 8193u);
  EXPECT_EQ(be16(r0, 8), 3u);
  EXPECT_EQ(be16(r0, 10), 4096u);
  EXPECT_EQ(be16(r0, 12), 0u);
  EXPECT_EQ(r0.substr(14, 199), std::string(199, '\x0E'));
  EXPECT_EQ(r0[213], '\0');

  EXPECT_EQ(decoded(prc.records[1]), text.substr(0, 4096));
  EXPECT_EQ(decoded(prc.records[2]), text.substr(4096, 4096));
  EXPECT_EQ(decoded(prc.records[3]), text.substr(8192));
  EXPECT_EQ(prc.records[4], "BM-first");
  EXPECT_EQ(prc.records[5], "BM-second-picture");

  std::string expected_progress;
  for (int i = 1; i <= 5; ++i)
    expected_progress += "\rconverting record " + std::to_string(i) + " of 5";
  EXPECT_EQ(progress_text(), expected_progress);
}

TEST_F(PrcConverterTest, RecordListStartsWithProvisionalOffsets) {
  write_bytes(source_, text_of(9000));
  PrcConverter prc(&pictures_);
  prc.set_source(source_);
  prc.set_target(target_);
  prc.set_progress_output(nullptr);
  ASSERT_TRUE(prc.open(1));
  // Before any record is written: record 0 final, record 1 sixteen bytes
  // later, then 4096 apart. Each is replaced as its record is written.
  const uint32_t n = 5;
  const uint32_t expected[] = {8 * n + 80, 8 * n + 96, 8 * n + 96 + 4096, 8 * n + 96 + 8192,
                               8 * n + 96 + 12288};
  std::string b = read_bytes(target_);
  for (uint32_t i = 0; i < n; ++i) EXPECT_EQ(be32(b, 78 + 8 * i), expected[i]) << i;
  ASSERT_TRUE(prc.next_text_record());
  b = read_bytes(target_);
  EXPECT_EQ(be32(b, 86), 8 * n + 80 + 214);
  EXPECT_EQ(be32(b, 94), expected[2]);
}

TEST_F(PrcConverterTest, CountsRecordsByTextLength) {
  struct Case {
    std::size_t length;
    int pictures;
    uint32_t text_records;
  };
  for (const Case& c : {Case{0, 0, 0}, Case{0, 2, 0}, Case{1, 0, 1}, Case{4096, 0, 1},
                        Case{8192, 0, 2}, Case{8193, 1, 3}}) {
    std::vector<std::string> paths;
    for (int i = 0; i < c.pictures; ++i) {
      paths.push_back("/pic" + std::to_string(i));
      pictures_.records[paths.back()] = "BM";
    }
    ASSERT_TRUE(publish(text_of(c.length), paths)) << c.length;
    ParsedPrc prc = parse(target_);
    EXPECT_EQ(prc.n, 1 + c.text_records + c.pictures) << c.length;
    EXPECT_EQ(be16(prc.records[0], 8), c.text_records) << c.length;
    EXPECT_EQ(be32(prc.records[0], 4), c.length);
    // The last entry is the last picture's, or the last text record's.
    EXPECT_EQ(prc.bytes.size(), prc.offsets.back() + prc.records.back().size());
    if (c.length == 8193) {
      EXPECT_EQ(decoded(prc.records[3]), text_of(8193).substr(8192));
    }
  }
}

TEST_F(PrcConverterTest, CutsTheTitleTo31Bytes) {
  ASSERT_TRUE(publish("x", {}, true, std::string(40, 'T')));
  std::string b = read_bytes(target_);
  EXPECT_EQ(b.substr(0, 32), std::string(31, 'T') + '\0');
}

TEST_F(PrcConverterTest, StoresTextUncompressedOnRequest) {
  const std::string text = text_of(5000);
  ASSERT_TRUE(publish(text, {}, false));
  ParsedPrc prc = parse(target_);
  EXPECT_EQ(be16(prc.records[0], 0), 1u);
  EXPECT_EQ(prc.records[1], text.substr(0, 4096));
  EXPECT_EQ(prc.records[2], text.substr(4096));
}

TEST_F(PrcConverterTest, ImportsWhatItWrote) {
  pictures_.records["/p.gif"] = std::string(300, '\x80');
  const std::string text = text_of(9000);
  for (bool compress : {true, false}) {
    ASSERT_TRUE(publish(text, {"/p.gif"}, compress, "Imported"));
    PrcConverter prc;
    prc.set_source(target_);
    ASSERT_TRUE(prc.open_import()) << prc.error_text();
    EXPECT_EQ(prc.title(), "Imported");
    EXPECT_EQ(prc.compress(), compress);
    // Record 0 tells the text records from the picture after them.
    ASSERT_EQ(prc.text_record_count(), 3);
    std::string back;
    RecordBuffer record;
    for (int i = 0; i < prc.text_record_count(); ++i) {
      ASSERT_TRUE(prc.read_text_record(record, i)) << prc.error_text();
      back += record.view();
    }
    std::string expected;
    for (char c : text) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(back, expected);
    EXPECT_TRUE(prc.read_text_record(record, 3));
    EXPECT_EQ(record.length(), 0);
    EXPECT_TRUE(prc.close());
  }
}

TEST_F(PrcConverterTest, ReportsOpenFailures) {
  PrcConverter prc;
  prc.set_source(dir_.file("missing.tmp"));
  prc.set_target(target_);
  EXPECT_FALSE(prc.open(0));
  EXPECT_EQ(prc.error_text(), "Unable to open the source file : " + dir_.file("missing.tmp"));

  write_bytes(source_, "text");
  prc.set_source(source_);
  prc.set_target(dir_.file("no/such/folder/book.prc"));
  EXPECT_FALSE(prc.open(0));
  EXPECT_EQ(prc.error_text(),
            "Unable to create the PRC target  file : " + dir_.file("no/such/folder/book.prc"));

  if (std::filesystem::exists("/dev/full")) {
    prc.set_target("/dev/full");
    EXPECT_FALSE(prc.open(0));
    EXPECT_EQ(prc.error_text(), "Unable to write the PRC target file : /dev/full");
  }
}

TEST_F(PrcConverterTest, PictureFailuresAndMisuseFail) {
  // The picture converter's own message is passed on.
  EXPECT_FALSE(publish("text", {"/unknown.jpg"}));
  {
    write_bytes(source_, "text");
    PrcConverter prc;  // no picture converter at all
    prc.set_source(source_);
    prc.set_target(target_);
    prc.set_progress_output(nullptr);
    ASSERT_TRUE(prc.open(1));
    EXPECT_FALSE(prc.add_image("/a.gif")) << "pictures come after all text records";
    EXPECT_EQ(prc.error_text(), "Unexpected picture for the PRC target file : /a.gif");
  }
  {
    PrcConverter prc;
    prc.set_source(source_);
    prc.set_target(target_);
    prc.set_progress_output(nullptr);
    ASSERT_TRUE(prc.open(1));
    EXPECT_TRUE(prc.next_text_record());
    EXPECT_FALSE(prc.next_text_record());
    EXPECT_FALSE(prc.failed());
    EXPECT_FALSE(prc.add_image("/a.gif"));
    EXPECT_EQ(prc.error_text(), "No picture converter for the picture : /a.gif");
  }
  {
    pictures_.records["/a.gif"] = "BM";
    PrcConverter prc(&pictures_);
    prc.set_source(source_);
    prc.set_target(target_);
    prc.set_progress_output(nullptr);
    ASSERT_TRUE(prc.open(1));
    EXPECT_TRUE(prc.next_text_record());
    EXPECT_FALSE(prc.next_text_record());
    // A picture short of what the record list announces leaves the file unfinished.
    EXPECT_FALSE(prc.close());
    EXPECT_EQ(prc.error_text(), "The PRC target file is incomplete : " + target_);
    ASSERT_TRUE(prc.open(1));
    while (prc.next_text_record()) {
    }
    EXPECT_TRUE(prc.add_image("/a.gif"));
    EXPECT_FALSE(prc.add_image("/a.gif")) << "more pictures than announced";
  }
}

TEST_F(PrcConverterTest, SourceThatShrinksIsAFailure) {
  write_bytes(source_, text_of(10000));
  PrcConverter prc;
  prc.set_source(source_);
  prc.set_target(target_);
  prc.set_progress_output(nullptr);
  ASSERT_TRUE(prc.open(0));
  ASSERT_TRUE(prc.next_text_record());
  std::filesystem::resize_file(source_, 5000);
  EXPECT_FALSE(prc.next_text_record());
  EXPECT_TRUE(prc.failed());
  EXPECT_EQ(prc.error_text(), "Unable to read the source file : " + source_);
  EXPECT_FALSE(prc.close());
}

// Runs in a child process: a file-size limit makes the disk "full" after the
// header and one record. Exits 0 when the failure is reported as such.
void publish_until_the_disk_is_full(const std::string& source, const std::string& target) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{6000, 6000};
  setrlimit(RLIMIT_FSIZE, &limit);
  PrcConverter prc;
  prc.set_source(source);
  prc.set_target(target);
  prc.set_compress(false);
  prc.set_progress_output(nullptr);
  const bool opened = prc.open(0);
  int written = 0;
  while (prc.next_text_record()) ++written;
  const bool reported =
      prc.failed() && prc.error_text() == "Unable to write the PRC target file : " + target;
  std::exit(opened && written == 1 && reported && !prc.close() ? 0 : 1);
}

TEST_F(PrcConverterTest, WriteFailureWhilePublishingIsReported) {
  write_bytes(source_, text_of(64 * 1024));
  EXPECT_EXIT(publish_until_the_disk_is_full(source_, target_), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace wayfetch
