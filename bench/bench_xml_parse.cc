// Parsing speed and node-table memory over a folder of real pages.
//
//   bench_xml_parse FOLDER [ROUNDS]
//
// Loads every *.html / *.htm file of FOLDER into memory, then parses all of
// them ROUNDS times (default 5) in mode 0 (whole page) and mode 6 (page
// head), and, when built with libxml2, with its HTML parser on the same
// bytes. Prints MB/s (input bytes per second of process CPU time, best
// round: the machines we measure on are shared, and wall-clock time there
// mostly measures the neighbours) and the ratio, and the heap that the node
// table of the page nearest to 1 MB holds.
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_usage.h"
#include "bench/cpu_time.h"
#include "core/text_scanner.h"
#include "xml/xml_parser.h"

#ifdef WAYFETCH_BENCH_LIBXML2
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#endif

namespace {

using namespace wayfetch;

struct Page {
  std::string path;
  std::string bytes;
};

std::vector<Page> load_pages(const std::string& folder) {
  std::vector<Page> pages;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string ext = entry.path().extension().string();
    if (ext != ".html" && ext != ".htm") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    pages.push_back({entry.path().string(), std::string(std::istreambuf_iterator<char>(in), {})});
  }
  std::sort(pages.begin(), pages.end(),
            [](const Page& a, const Page& b) { return a.path < b.path; });
  return pages;
}

template <typename Parse>
double best_seconds(int rounds, Parse parse) {
  return bench::best_seconds(rounds, CLOCK_PROCESS_CPUTIME_ID, parse);
}

int64_t nodes_parsed = 0;

double ours(const std::vector<Page>& pages, ParseMode mode, int rounds) {
  return best_seconds(rounds, [&] {
    nodes_parsed = 0;
    for (const Page& page : pages) {
      TextScanner text(std::string_view(page.bytes));
      XmlParser parser;
      parser.set_mode(mode);
      parser.parse(text);
      nodes_parsed += parser.node_count();
    }
  });
}

#ifdef WAYFETCH_BENCH_LIBXML2
double libxml2(const std::vector<Page>& pages, int rounds) {
  return best_seconds(rounds, [&] {
    for (const Page& page : pages) {
      htmlDocPtr doc = htmlReadMemory(
          page.bytes.data(), static_cast<int>(page.bytes.size()), nullptr, nullptr,
          HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
      xmlFreeDoc(doc);
    }
  });
}
#endif

#ifdef WAYFETCH_BENCH_LIBXML2
void quiet(void*, const char*, ...) {}
#endif

// Small blocks from the heap and large ones mapped on their own: both count.
size_t heap_in_use() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void table_memory(const std::vector<Page>& pages) {
  const Page* nearest = nullptr;
  for (const Page& page : pages) {
    auto distance = [](const Page& p) {
      return std::llabs(static_cast<long long>(p.bytes.size()) - (1 << 20));
    };
    if (nearest == nullptr || distance(page) < distance(*nearest)) nearest = &page;
  }
  if (nearest == nullptr) return;
  for (ParseMode mode : {ParseMode::xml, ParseMode::html_head}) {
    TextScanner text(std::string_view(nearest->bytes));
    malloc_trim(0);
    size_t before = heap_in_use();
    auto* parser = new XmlParser;
    parser->set_mode(mode);
    parser->parse(text);
    size_t after = heap_in_use();
    std::printf("node table, mode %d, %s (%.2f MB): %d nodes, %.2f MB of heap (%.0f bytes/node)\n",
                static_cast<int>(mode), nearest->path.c_str(), nearest->bytes.size() / 1048576.0,
                parser->node_count(), (after - before) / 1048576.0,
                static_cast<double>(after - before) / parser->node_count());
    delete parser;
  }
}

}  // namespace

int main(int argc, char** argv) {
  constexpr const char* usage =
      "usage: bench_xml_parse FOLDER [ROUNDS]\n"
      "Parses the pages of FOLDER (.html, .htm) ROUNDS times (default 5); prints MB/s.\n";
  if (wayfetch::bench::asked_for_help(argc, argv, usage)) return 0;
  if (argc >= 2 && !wayfetch::bench::is_folder_argument(argv[1], usage)) {
    return wayfetch::bench::usage_exit;
  }
  if (argc < 2) {
    std::fputs(usage, stderr);
    return 2;
  }
  int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::vector<Page> pages = load_pages(argv[1]);
  double megabytes = 0;
  for (const Page& page : pages) megabytes += page.bytes.size() / 1048576.0;
  std::printf("%zu pages, %.2f MB, best of %d rounds\n", pages.size(), megabytes, rounds);
  if (pages.empty()) return 1;

  double mode0 = ours(pages, ParseMode::xml, rounds);
  std::printf("ours, mode 0 (whole page): %8.1f MB/s  (%lld nodes)\n", megabytes / mode0,
              static_cast<long long>(nodes_parsed));
  double mode6 = ours(pages, ParseMode::html_head, rounds);
  std::printf("ours, mode 6 (page head):  %8.1f MB/s of pages offered  (%lld nodes)\n",
              megabytes / mode6, static_cast<long long>(nodes_parsed));
#ifdef WAYFETCH_BENCH_LIBXML2
  xmlInitParser();
  xmlSetGenericErrorFunc(nullptr, quiet);
  double theirs = libxml2(pages, rounds);
  std::printf("libxml2 htmlReadMemory:    %8.1f MB/s\n", megabytes / theirs);
  std::printf("ratio ours mode 0 / libxml2: %.2f\n", theirs / mode0);
  xmlCleanupParser();
#else
  std::printf("libxml2: not built in\n");
#endif
  table_memory(pages);
  return 0;
}
