#include "ebook/tag_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "core/file.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

struct ReadTag {
  TagReader::Result result;
  HtmlTag tag;
  std::string rest;  // what the page holds after the tag
};

// Reads the tag at the start of `page` (which begins after its "<").
ReadTag read_one(std::string_view page) {
  MemoryByteSource source(page);
  TagReader reader(source);
  ReadTag out;
  out.result = reader.read_tag(out.tag);
  for (int c = reader.get(); c >= 0; c = reader.get()) out.rest += static_cast<char>(c);
  return out;
}

TEST(TagReaderTest, NamesAttributesAndText) {
  struct Case {
    std::string_view page;
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;
  };
  const Case cases[] = {
      {"p>x", "p", {}, "<P>"},
      {"/body>", "/body", {}, "</BODY>"},
      {"  br >", "br", {}, "<BR>"},
      {"br />", "br", {}, "<BR>"},  // a lone slash is no attribute
      {"a\r\nhref=x.html>", "a", {{"HREF", "x.html"}}, "<a\r\nhref=x.html>"},
      {"A Href=\"a b.html\" name='say \"hi\"'>",
       "A",
       {{"HREF", "a b.html"}, {"NAME", "say \"hi\""}},
       "<A Href=\"a b.html\" name='say \"hi\"'>"},
      {"img src = \"pic.gif\"/>", "img", {{"SRC", "pic.gif"}}, "<img src = \"pic.gif\"/>"},
      {"a title=\"1 > 0\" href=y>",
       "a",
       {{"TITLE", "1 > 0"}, {"HREF", "y"}},
       "<a title=\"1 > 0\" href=y>"},
      {"td nowrap class=x>", "td", {{"NOWRAP", ""}, {"CLASS", "x"}}, "<td nowrap class=x>"},
      {"p title=\"trail   \">", "p", {{"TITLE", "trail"}}, "<p title=\"trail   \">"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.page));
    ReadTag read = read_one(c.page);
    ASSERT_EQ(read.result, TagReader::Result::tag);
    EXPECT_EQ(read.tag.name, c.name);
    ASSERT_EQ(read.tag.attributes.size(), c.attributes.size());
    for (std::size_t i = 0; i < c.attributes.size(); ++i) {
      EXPECT_EQ(read.tag.attributes[i].name, c.attributes[i].first);
      EXPECT_EQ(read.tag.attributes[i].value, c.attributes[i].second);
    }
    EXPECT_EQ(read.tag.text, c.text);
  }
}

TEST(TagReaderTest, StopsRightAfterTheTag) {
  // A style sheet reader continues from the same source.
  ReadTag read = read_one("style type=text/css>P.x { color: red }</style>");
  EXPECT_EQ(read.rest, "P.x { color: red }</style>");
}

TEST(TagReaderTest, Limits) {
  // Values keep 510 bytes; the tenth attribute is overwritten by later ones.
  std::string page = "a href=\"" + std::string(600, 'h') + "\"";
  for (int i = 1; i <= 12; ++i) page += " a" + std::to_string(i) + "=" + std::to_string(i);
  page += ">";
  ReadTag read = read_one(page);
  ASSERT_EQ(read.tag.attributes.size(), 10u);
  EXPECT_EQ(read.tag.attributes[0].value, std::string(510, 'h'));
  EXPECT_EQ(read.tag.attributes[8].name, "A8");
  EXPECT_EQ(read.tag.attributes[9].name, "A12");
  EXPECT_EQ(read.tag.text, "<" + page);

  // Past 5118 bytes the tag is written again from what was kept, and still
  // ends in ">".
  std::string long_tag = "a href=x.html";
  for (int i = 0; i < 20; ++i)
    long_tag += " data-" + std::to_string(i) + "=\"" + std::string(300, 'v') + "\"";
  long_tag += ">after";
  read = read_one(long_tag);
  ASSERT_EQ(read.result, TagReader::Result::tag);
  EXPECT_EQ(read.rest, "after");
  EXPECT_LE(read.tag.text.size(), 5118u);
  EXPECT_TRUE(read.tag.text.starts_with("<a HREF=\"x.html\" DATA-0=\"vvv"));
  EXPECT_TRUE(read.tag.text.ends_with("\">"));
}

TEST(TagReaderTest, CommentsAndTheEndOfThePage) {
  MemoryByteSource source("!-- a <b>c</b> -- still -->rest");
  TagReader reader(source);
  HtmlTag tag;
  ASSERT_EQ(reader.read_tag(tag), TagReader::Result::comment);
  EXPECT_EQ(tag.text, "<!--");
  std::string comment;
  reader.read_comment([&](char c) { comment += c; });
  EXPECT_EQ(comment, " A <B>C</B> -- STILL -->");
  EXPECT_EQ(reader.get(), 'r');

  // "<!-->" is a whole comment.
  MemoryByteSource empty("!-->x");
  TagReader empty_reader(empty);
  ASSERT_EQ(empty_reader.read_tag(tag), TagReader::Result::comment);
  comment.clear();
  empty_reader.read_comment([&](char c) { comment += c; });
  EXPECT_EQ(comment, ">");

  for (std::string_view cut : {"", "  ", "a href=\"x", "p class=x"}) {
    EXPECT_EQ(read_one(cut).result, TagReader::Result::end) << cut;
  }
}

// Text runs and single bytes interleave without losing or repeating a byte,
// across the file source's block boundaries, and a released file source
// leaves the file just after the last byte taken.
TEST(ByteSourceTest, RunsAndBytesInterleave) {
  std::string page;
  for (int i = 0; page.size() < 20000; ++i)
    page += std::string(static_cast<std::size_t>(i % 700), 'x') + "<";
  testing::TempDir dir;
  testing::write_bytes(dir.file("page.html"), page + "tail");
  File file;
  ASSERT_TRUE(file.open(dir.file("page.html"), File::read_existing));
  MemoryByteSource memory(page);
  for (ByteSource* source :
       {static_cast<ByteSource*>(&memory), static_cast<ByteSource*>(nullptr)}) {
    FileByteSource from_file(file);
    if (source == nullptr) source = &from_file;
    std::string copied;
    while (copied.size() < page.size()) {
      const std::string_view run = source->take_run('<');
      copied += run;
      if (run.empty()) {
        const int c = source->get();
        ASSERT_GE(c, 0);
        copied += static_cast<char>(c);
      }
    }
    EXPECT_EQ(copied, page);
  }
  char rest[8] = {};
  EXPECT_EQ(file.read(rest, 8), 4);
  EXPECT_EQ(std::string(rest, 4), "tail");
}

}  // namespace
}  // namespace wayfetch
