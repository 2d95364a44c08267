// The parser over real documents nobody here wrote: the HTML and XML files
// that Debian packages install under /usr/share/doc and /usr/share/xml. The
// test skips itself when there are none, and stops after a fixed amount of
// input or time so that it stays short in sanitizer builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

constexpr std::uintmax_t largest_file = 1 << 20;
constexpr std::uintmax_t byte_budget = 6 << 20;
constexpr double time_budget_seconds = 40;

std::vector<std::filesystem::path> documents() {
  std::vector<std::filesystem::path> found;
  for (const char* root : {"/usr/share/doc", "/usr/share/xml"}) {
    std::error_code error;
    std::filesystem::recursive_directory_iterator walk(
        root, std::filesystem::directory_options::skip_permission_denied, error);
    for (; !error && walk != std::filesystem::recursive_directory_iterator();
         walk.increment(error)) {
      const auto& path = walk->path();
      std::string ext = path.extension().string();
      if ((ext == ".html" || ext == ".htm" || ext == ".xml" || ext == ".xhtml") &&
          walk->is_regular_file() && walk->file_size() <= largest_file) {
        found.push_back(path);
      }
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Links agree both ways and point backwards; every parse leaves the stack empty.
void expect_consistent(const XmlParser& parser, const std::string& name) {
  int64_t links = 0;
  for (int32_t i = 0; i < parser.node_count(); ++i) {
    for (int32_t child : parser.get(i).children) {
      ASSERT_TRUE(parser.valid(child) && child > i) << name;
      ASSERT_EQ(parser.get(child).parent, i) << name;
      ++links;
    }
  }
  EXPECT_EQ(links, parser.node_count() - 1) << name;
  EXPECT_EQ(parser.open_elements().top(), 1) << name;
}

// Pre-order element names and attributes with their nesting.
std::string outline(const XmlParser& parser, bool* all_closed) {
  std::string out;
  std::vector<std::pair<int32_t, int32_t>> stack{{0, 0}};
  *all_closed = true;
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const XmlNode& record = parser.get(node);
    if (next >= record.children.size()) {
      out += ")";
      stack.pop_back();
      continue;
    }
    int32_t index = record.children.get(next++);
    const XmlNode& child = parser.get(index);
    if (child.kind == node_attribute) {
      out.append(" ")
          .append(child.attr_name.window_bytes())
          .append("=")
          .append(child.name.window_bytes());
    } else if (child.kind == node_element) {
      *all_closed = *all_closed && child.closed;
      out.append("(").append(child.name.window_bytes());
      stack.emplace_back(index, 0);
    }
  }
  return out;
}

TEST(RealDocuments, ParseInPageModesAndWriteBackWellFormedXml) {
  std::vector<std::filesystem::path> files = documents();
  if (files.empty()) GTEST_SKIP() << "no HTML or XML documents installed";
  testing::TempDir dir;
  String scratch(dir.file("written.xml").c_str());
  auto start = std::chrono::steady_clock::now();
  std::uintmax_t bytes = 0;
  int parsed = 0;
  int round_trips = 0;
  for (const auto& path : files) {
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (bytes > byte_budget || elapsed > time_budget_seconds) break;
    TextScanner original;
    ASSERT_TRUE(original.load_file(String(path.c_str())));
    bytes += static_cast<std::uintmax_t>(original.length());
    ++parsed;
    for (ParseMode mode : {ParseMode::xml, ParseMode::html_head_charset, ParseMode::html_head}) {
      TextScanner text(original);
      XmlParser parser;
      parser.set_mode(mode);
      parser.parse(text);
      expect_consistent(parser, path.string());
      if (mode != ParseMode::xml) continue;

      // Documents that needed no repair come back with the same elements.
      bool all_closed = false;
      std::string before = outline(parser, &all_closed);
      std::string ext = path.extension().string();
      if ((ext != ".xml" && ext != ".xhtml") || parser.error != 0 || parser.warning != 0 ||
          !all_closed) {
        continue;
      }
      ASSERT_TRUE(parser.write_file(scratch, 0, String())) << path;
      TextScanner written;
      ASSERT_TRUE(written.load_file(scratch));
      written.set_encoding(original.encoding(), original.code_page());
      XmlParser reparsed;
      reparsed.parse(written);
      bool ignored = false;
      EXPECT_EQ(outline(reparsed, &ignored), before) << path;
      EXPECT_EQ(reparsed.error, 0) << path;
      ++round_trips;
    }
  }
  RecordProperty("documents", parsed);
  RecordProperty("round_trips", round_trips);
  std::printf("parsed %d documents (%ju bytes), %d written back\n", parsed, bytes, round_trips);
}

}  // namespace
}  // namespace wayfetch
