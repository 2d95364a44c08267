// Node tables of a folder of pages as text, for comparing two builds of the
// parser with `diff -r`.
//
//   xml_table_dump [--reference] FOLDER OUTDIR
//
// Parses every *.html, *.htm, *.xml and *.xhtml file of FOLDER in modes 0,
// 3, 6 and 8 and writes OUTDIR/<file>.mode<N>.txt with the table, parse
// state and status (fuzz/xml_table_dump.h). Mode 8 walks the page tag by
// tag until the text is used up: each step writes the scanner's cursor,
// encoding and code page and the nodes it added, and the whole table
// follows at the end. --reference uses the reference copy of the parser
// (fuzz/reference_xml) instead of the current one.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_usage.h"
#include "core/text_scanner.h"
#include "fuzz/reference_xml/xml_parser.h"
#include "fuzz/xml_table_dump.h"
#include "xml/xml_parser.h"

namespace {

using namespace wayfetch;

constexpr int32_t dumped_modes[] = {0, 3, 6, 8};

std::string scanner_state(const TextScanner& text) {
  return "cursor=" + std::to_string(text.cursor()) + " length=" + std::to_string(text.length()) +
         " enc=" + std::to_string(static_cast<int32_t>(text.encoding())) +
         " cp=" + std::to_string(text.code_page()) + "\n";
}

template <class Parser>
std::string dump_page(const std::string& bytes, int32_t mode) {
  TextScanner text{String(std::string_view(bytes))};
  Parser parser;
  parser.set_mode(mode);
  std::string out;
  if (mode == 8) {
    for (int32_t step = 0; text.cursor() < text.length(); ++step) {
      int32_t before = text.cursor();
      int32_t first = parser.node_count();
      parser.parse(text);
      out += "step " + std::to_string(step) + " " + scanner_state(text);
      out += fuzzing::dump_table(parser, first);
      if (text.cursor() <= before || step > text.length()) break;
    }
    out += "whole table\n";
  } else {
    parser.parse(text);
  }
  return out + fuzzing::dump_table(parser) + scanner_state(text);
}

bool is_page(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  return ext == ".html" || ext == ".htm" || ext == ".xml" || ext == ".xhtml";
}

}  // namespace

int main(int argc, char** argv) {
  constexpr const char* usage =
      "usage: xml_table_dump [--reference] FOLDER OUTDIR\n"
      "Writes OUTDIR/<file>.mode<N>.txt, the node table of each page of FOLDER (.html, .htm,\n"
      ".xml, .xhtml) in modes 0, 3, 6 and 8; --reference parses with the reference copy.\n";
  if (bench::asked_for_help(argc, argv, usage)) return 0;
  bool reference = argc > 1 && std::strcmp(argv[1], "--reference") == 0;
  int first_argument = reference ? 2 : 1;
  if (argc != first_argument + 2) {
    std::fputs(usage, stderr);
    return bench::usage_exit;
  }
  const char* folder = argv[first_argument];
  const std::filesystem::path out_folder = argv[first_argument + 1];
  if (!bench::is_folder_argument(folder, usage)) return bench::usage_exit;
  std::error_code error;
  std::filesystem::create_directories(out_folder, error);
  if (error) {
    std::fprintf(stderr, "cannot create '%s': %s\n", out_folder.c_str(), error.message().c_str());
    return 1;
  }

  std::vector<std::filesystem::path> pages;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file() && is_page(entry.path())) pages.push_back(entry.path());
  }
  std::sort(pages.begin(), pages.end());
  for (const auto& page : pages) {
    std::ifstream in(page, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    for (int32_t mode : dumped_modes) {
      std::string dump = reference ? dump_page<reference_xml::XmlParser>(bytes, mode)
                                   : dump_page<XmlParser>(bytes, mode);
      auto name = page.filename().string() + ".mode" + std::to_string(mode) + ".txt";
      std::ofstream out(out_folder / name, std::ios::binary);
      out << dump;
      if (!out) {
        std::fprintf(stderr, "cannot write '%s'\n", (out_folder / name).c_str());
        return 1;
      }
    }
  }
  std::printf("%zu pages, %zu dumps in %s\n", pages.size(), pages.size() * 4, out_folder.c_str());
  return 0;
}
