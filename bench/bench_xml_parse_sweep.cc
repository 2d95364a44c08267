// A sweep of the parser over a folder of real pages, for trying it by hand.
//
//   bench_xml_parse_sweep FOLDER
//
// Each *.html / *.htm / *.xml / *.xhtml file is parsed in modes 0, 3 and 6,
// walked tag by tag in mode 8, and its mode-0 table is written out and
// parsed again. One line per file (nodes, error and warning codes, time,
// whether the written file gives the same elements in the same order and
// nesting), then totals. A crash or a hang is the finding it looks for.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_usage.h"
#include "core/text_scanner.h"
#include "xml/xml_parser.h"

namespace {

using namespace wayfetch;
using Clock = std::chrono::steady_clock;

// Pre-order element names with their depth: equal for equal element trees.
std::string element_outline(XmlParser& parser) {
  std::string out;
  std::vector<int32_t> depth_of(static_cast<size_t>(parser.node_count()), 0);
  for (int32_t i = 1; i < parser.node_count(); ++i) {
    const XmlNode& node = parser.get(i);
    int32_t parent = node.parent;
    depth_of[static_cast<size_t>(i)] =
        parent >= 0 && parent < i ? depth_of[static_cast<size_t>(parent)] + 1 : 0;
  }
  // Walk in document order (the children lists), not in table order.
  std::vector<std::pair<int32_t, int32_t>> stack{{0, 0}};
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const XmlNode& record = parser.get(node);
    if (next >= record.children.size()) {
      stack.pop_back();
      continue;
    }
    int32_t child = record.children.get(next++);
    if (parser.get(child).kind != node_element) continue;
    String name(parser.get(child).name);
    name.lower_case();
    out += std::to_string(depth_of[static_cast<size_t>(child)]) + ":" +
           std::string(name.window_bytes()) + " ";
    stack.emplace_back(child, 0);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr const char* usage =
      "usage: bench_xml_parse_sweep FOLDER\n"
      "Parses every page below FOLDER (.html, .htm, .xml, .xhtml) and reports each.\n";
  if (wayfetch::bench::asked_for_help(argc, argv, usage)) return 0;
  if (argc < 2) {
    std::fputs(usage, stderr);
    return wayfetch::bench::usage_exit;
  }
  if (!wayfetch::bench::is_folder_argument(argv[1], usage)) return wayfetch::bench::usage_exit;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
    std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() &&
        (ext == ".html" || ext == ".htm" || ext == ".xml" || ext == ".xhtml")) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  std::string scratch = (std::filesystem::temp_directory_path() / "bench_xml_sweep.xml").string();
  int same = 0;
  int different = 0;
  double slowest = 1e30;
  std::string slowest_name;
  double total_bytes = 0;
  double total_seconds = 0;
  for (const auto& path : files) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    total_bytes += static_cast<double>(bytes.size());
    auto start = Clock::now();
    std::printf("%s (%zu bytes):", path.filename().c_str(), bytes.size());
    XmlParser whole;
    for (ParseMode mode : {ParseMode::xml, ParseMode::html_head_charset, ParseMode::html_head}) {
      TextScanner text{std::string_view(bytes)};
      XmlParser parser;
      parser.set_mode(mode);
      parser.parse(text);
      std::printf(" m%d %d nodes e%d w%d;", static_cast<int>(mode), parser.node_count(),
                  parser.error, parser.warning);
      if (mode == ParseMode::xml) whole = std::move(parser);
    }
    // Tag by tag, as the extraction actions walk a page.
    TextScanner text{std::string_view(bytes)};
    XmlParser tags;
    tags.set_mode(ParseMode::html_tag);
    int32_t steps = 0;
    while (text.cursor() < text.length()) {
      int32_t before = text.cursor();
      tags.parse(text);
      ++steps;
      if (text.cursor() <= before && before >= 0) {
        std::printf(" MODE 8 DID NOT MOVE at %d;", before);
        break;
      }
    }
    std::printf(" m8 %d tags;", steps);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    total_seconds += seconds;
    double rate = bytes.size() / 1048576.0 / std::max(seconds, 1e-9);
    if (rate < slowest && bytes.size() > 10000) {
      slowest = rate;
      slowest_name = path.filename().string();
    }
    // The written table, parsed again, holds the same elements.
    std::string outline = element_outline(whole);
    bool written = whole.write_file(String(scratch.c_str()), 0, String());
    TextScanner again;
    again.load_file(String(scratch.c_str()));
    XmlParser reparsed;
    reparsed.parse(again);
    bool equal = written && element_outline(reparsed) == outline;
    (equal ? same : different) += 1;
    std::printf(" round trip %s; %.1f ms\n", equal ? "same" : "DIFFERENT", seconds * 1000);
  }
  std::filesystem::remove(scratch);
  std::printf(
      "%zu files, %.1f MB in %.2f s; round trip same %d, different %d; slowest %s %.1f MB/s\n",
      files.size(), total_bytes / 1048576.0, total_seconds, same, different, slowest_name.c_str(),
      slowest);
  return 0;
}
