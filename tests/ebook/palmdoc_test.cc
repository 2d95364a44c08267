#include "ebook/palmdoc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/ebook/palmdoc_reference.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes_of(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes compressed(const Bytes& input) {
  RecordBuffer buffer(input);
  compress(buffer);
  return buffer.vector();
}

// The fast compressor must give the reference's bytes, and they must decode
// back to the input.
void expect_same_as_reference(const Bytes& input, const std::string& what) {
  Bytes fast = palmdoc::compress_bytes(input);
  Bytes slow = testing::reference_compress(input);
  ASSERT_EQ(fast, slow) << what << " (" << input.size() << " bytes)";
  Bytes decoded;
  ASSERT_TRUE(palmdoc::decompress_bytes(fast, decoded)) << what;
  ASSERT_EQ(decoded, input) << what;
}

struct Example {
  const char* name;
  Bytes input;
  Bytes output;
};

TEST(PalmDocTest, CompressesTheDocumentedExamples) {
  const Example examples[] = {
      {"pending space before a reference that stops short of the end",
       {0x61, 0x62, 0x63, 0x20, 0x61, 0x62, 0x63, 0x20, 0x61, 0x62, 0x63},
       {0x61, 0x62, 0x63, 0x20, 0x80, 0x23, 0x63}},
      {"space pair", {0x61, 0x20, 0x62}, {0x61, 0xE2}},
      {"space before a byte below 0x40", {0x61, 0x20, 0x31}, {0x61, 0x20, 0x31}},
      {"sentence repeated",
       bytes_of("The cat. The cat."),
       {0x54, 0x68, 0x65, 0xE3, 0x61, 0x74, 0x2E, 0x20, 0x80, 0x4C, 0x2E}},
      {"x and eleven a", bytes_of("xaaaaaaaaaaa"), {0x78, 0x61, 0x80, 0x0E, 0x61}},
      {"fourteen a", bytes_of("aaaaaaaaaaaaaa"), {0x61, 0x80, 0x0F, 0x61, 0x61, 0x61}},
      {"two spaces", bytes_of("  "), {0x20, 0x20}},
      {"three spaces and a letter", bytes_of("   x"), {0x20, 0x20, 0xF8}},
      {"trailing space", bytes_of("a "), {0x61, 0x20}},
      {"space before an escaped byte", {0x61, 0x20, 0x90}, {0x61, 0x20, 0x01, 0x90}},
      {"zero byte is plain", {0x00}, {0x00}},
      {"escape run", {0x05, 0x80, 0x81}, {0x03, 0x05, 0x80, 0x81}},
      {"escape runs hold eight bytes",
       {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89},
       {0x08, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x02, 0x88, 0x89}},
      {"a space ends an escape run", {0x81, 0x20, 0x82}, {0x01, 0x81, 0x20, 0x01, 0x82}},
      {"empty", {}, {}},
  };
  for (const Example& e : examples) {
    EXPECT_EQ(compressed(e.input), e.output) << e.name;
    EXPECT_EQ(testing::reference_compress(e.input), e.output) << e.name;
  }
}

TEST(PalmDocTest, RecordOfOneByteUsesTheEarliestOccurrence) {
  Bytes input(4096, 0xFF);
  Bytes out = compressed(input);
  ASSERT_EQ(out.size(), 824u);
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(out[1], 0xFF);
  // References of length 10 at distances 1, 11, 21, ... 2041, then 204 at
  // 2047, one of length 4 at 2047, and the last byte escaped.
  std::vector<std::pair<int, int>> expected;
  for (int d = 1; d <= 2041; d += 10) expected.emplace_back(d, 10);
  for (int i = 0; i < 204; ++i) expected.emplace_back(2047, 10);
  expected.emplace_back(2047, 4);
  std::size_t at = 2;
  for (auto [distance, length] : expected) {
    ASSERT_LT(at + 1, out.size());
    const unsigned v = (unsigned{out[at]} << 8) | out[at + 1];
    ASSERT_EQ((v >> 3) & 0x7FF, static_cast<unsigned>(distance)) << "at " << at;
    ASSERT_EQ((v & 7) + 3, static_cast<unsigned>(length)) << "at " << at;
    at += 2;
  }
  EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(at), out.end()), (Bytes{0x01, 0xFF}));
  EXPECT_EQ(testing::reference_compress(input), out);
}

TEST(PalmDocTest, DecodesEveryCodeKind) {
  RecordBuffer buffer(Bytes{0x41, 0xC1, 0x02, 0x80, 0x81, 0x00, 0x80, 0x1B});
  // 80 1B: distance 3, length 6, overlapping the bytes it produces.
  EXPECT_EQ(decompress(buffer), 12);
  EXPECT_EQ(buffer.vector(),
            (Bytes{0x41, 0x20, 0x41, 0x80, 0x81, 0x00, 0x80, 0x81, 0x00, 0x80, 0x81, 0x00}));
}

TEST(PalmDocTest, RefusesMalformedRecords) {
  const Bytes cases[] = {
      {0x80, 0x08},        // reference before the start of the output
      {0x41, 0x80, 0x10},  // distance 2 with one byte decoded
      {0x41, 0x80, 0x00},  // distance 0
      {0x41, 0x80},        // reference cut off
      {0x03, 0x41, 0x42},  // escape run cut off
  };
  for (const Bytes& c : cases) {
    RecordBuffer buffer(c);
    EXPECT_EQ(decompress(buffer), -1);
    EXPECT_EQ(buffer.vector(), c) << "a refused record is left unchanged";
  }
}

TEST(PalmDocTest, ExpandsLineFeeds) {
  RecordBuffer buffer(std::string_view("a\nb\r\n\n"));
  EXPECT_EQ(expand_line_ends(buffer), 9);
  EXPECT_EQ(buffer.view(), "a\r\nb\r\r\n\r\n");
  RecordBuffer empty;
  EXPECT_EQ(expand_line_ends(empty), 0);
}

TEST(PalmDocTest, MatchesTheReferenceOnRandomData) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 60; ++round) {
    const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 4096)(rng);
    // Small alphabets give many short matches; the full range many escapes.
    const int alphabet = std::array{2, 3, 4, 16, 64, 256}[static_cast<std::size_t>(round) % 6];
    const int base = round % 4 == 0 ? 0x7C : (round % 4 == 1 ? 0x1E : 0);
    Bytes input(size);
    for (uint8_t& b : input) {
      b = static_cast<uint8_t>(base + std::uniform_int_distribution<int>(0, alphabet - 1)(rng));
    }
    expect_same_as_reference(input, "random round " + std::to_string(round));
  }
}

TEST(PalmDocTest, MatchesTheReferenceOnTextAndRuns) {
  std::mt19937 rng(7);
  const char* words[] = {"the ",
                         "cat ",
                         "sat ",
                         "on ",
                         "a ",
                         "mat. ",
                         "<p>",
                         "</p>\n",
                         "  ",
                         "Stra\xC3\x9F"
                         "e ",
                         "\t",
                         "<a href=\"x.html\">"};
  std::string text;
  while (text.size() < 4096) text += words[rng() % std::size(words)];
  expect_same_as_reference(bytes_of(text.substr(0, 4096)), "words");

  for (uint8_t b : {0x00, 0x20, 0x41, 0x05, 0xC0, 0xFF}) {
    for (std::size_t size : {1u, 2u, 3u, 4u, 11u, 12u, 13u, 2047u, 2048u, 2049u, 4096u}) {
      expect_same_as_reference(Bytes(size, b), "run of " + std::to_string(b));
    }
  }
}

TEST(PalmDocTest, MatchesTheReferenceAtTheWindowEdge) {
  // A block repeated at distances around 2047 and 2048: the copy at 2048 is
  // out of reach, the one at 2047 is the earliest in the window.
  std::mt19937 rng(99);
  for (std::size_t gap : {2035u, 2036u, 2037u, 2040u, 2044u, 2045u, 2046u, 2047u, 2048u}) {
    Bytes input(gap + 40);
    for (uint8_t& b : input) b = static_cast<uint8_t>(0x80 + rng() % 100);
    std::copy_n(input.begin(), 30, input.begin() + static_cast<std::ptrdiff_t>(gap));
    expect_same_as_reference(input, "gap " + std::to_string(gap));
  }
  // Many copies of the same block at once: only the earliest in reach counts.
  Bytes block = bytes_of("<td class=\"x\">");
  Bytes input;
  while (input.size() < 6000) {
    input.insert(input.end(), block.begin(), block.end());
    input.push_back(static_cast<uint8_t>('0' + rng() % 10));
  }
  expect_same_as_reference(input, "repeated block");
}

TEST(PalmDocTest, MatchesTheReferenceAroundTheChainLevels) {
  // Repeats of 7, 8 and 9 bytes sit on both sides of the eight-byte chain;
  // several earlier copies of different lengths make the earliest of the
  // longest differ from the first and from the nearest. Inputs above 65535
  // bytes take the wide positions.
  std::mt19937 rng(5);
  const std::string block = "<div class=\"story-body\">";
  for (std::size_t size : {4096u, 70000u}) {
    std::string text;
    while (text.size() < size) {
      const std::size_t cut = 6 + rng() % 5;
      text += block.substr(0, cut);
      text += static_cast<char>('a' + rng() % 3);
      if (rng() % 4 == 0) text += "  \xC3\xA9\x05 ";
    }
    text.resize(size);
    expect_same_as_reference(bytes_of(text), "blocks, " + std::to_string(size) + " bytes");
  }
}

TEST(PalmDocTest, MatchesTheReferenceOnRealHtml) {
  const std::filesystem::path folder = "/usr/share/doc";
  std::error_code ignored;
  if (!std::filesystem::is_directory(folder, ignored)) GTEST_SKIP() << "no " << folder;
  std::vector<std::filesystem::path> pages;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    const std::string name = it->path().filename().string();
    if (it->is_regular_file(ignored) && (name.ends_with(".html") || name.ends_with(".htm"))) {
      pages.push_back(it->path());
    }
  }
  if (pages.empty()) GTEST_SKIP() << "no HTML pages under " << folder;
  std::sort(pages.begin(), pages.end());
  // Every record of the first pages, up to 128 KB in all.
  std::size_t total = 0;
  for (const auto& page : pages) {
    const std::string text = testing::read_bytes(page.string());
    for (std::size_t at = 0; at < text.size() && total < 128 * 1024; at += 4096) {
      const std::string record = text.substr(at, 4096);
      total += record.size();
      expect_same_as_reference(bytes_of(record), page.string() + " at " + std::to_string(at));
    }
    if (total >= 128 * 1024) break;
  }
}

}  // namespace
}  // namespace wayfetch
