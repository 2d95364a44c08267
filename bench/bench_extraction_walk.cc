// Extraction walks over a 1 MB page against a whole-page parse of the same
// page in the same run: an iteration of extract-url over every link, and an
// iteration of erase removing 5000 small blocks spread over the page. Each
// must stay within 3 times the parse (the walk is linear in the page, never
// quadratic). Times are the thread's CPU time, best of several rounds.
//
//   bench_extraction_walk [ROUNDS] [PAGE...]
// Exit status 1 when a walk is over its bound. Each PAGE given (a real page,
// read as Windows-1252) is also measured: the extract-url iteration over it
// against its parse, for information.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "bench/bench_usage.h"
#include "bench/cpu_time.h"
#include "core/text_scanner.h"
#include "extraction/extraction_engine.h"
#include "xml/xml_parser.h"

namespace {

using namespace wayfetch;

template <typename Run>
double best_seconds(int rounds, Run run) {
  return bench::best_seconds(rounds, CLOCK_THREAD_CPUTIME_ID, run);
}

// About 1 MB of list items, each with a link, every other one with a small
// block to erase.
std::string make_page(int& links, int& blocks) {
  std::string page = "<html><head><title>Index</title></head><body><ul>\n";
  links = blocks = 0;
  while (page.size() < (1u << 20)) {
    std::string number = std::to_string(links);
    page += "<li class=\"item\"><a href=\"/articles/2026/" + number + ".html\">Article " + number +
            " of the day, with a title</a>";
    if (blocks < 5000 && links % 9 < 5) {
      page += " <span class=ad>advert</span>";
      ++blocks;
    }
    page += "</li>\n";
    ++links;
  }
  return page + "</ul></body></html>\n";
}

class KeepFollow : public DownloadSink {
 public:
  SinkAnswer schedule(const DownloadRequest& request) override {
    if (request.kind == DownloadKind::follow) follow = request;
    return SinkAnswer::accepted;
  }
  DownloadRequest follow;
};

// Runs `body` (after a follow of the page) over the page; returns the
// number of passes kept: the output elements in the main data document.
int32_t walk(const std::string& body, const String& page) {
  KeepFollow sink;
  ExtractionEngine engine;
  ExtractionEngine::Limits limits;
  limits.passes = 1 << 20;
  engine.set_limits(limits);
  engine.set_sink(&sink);
  std::string text = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><e><f action=\"follow\">"
                     "<url>http://news.example/</url></f>" + body + "</e>";
  engine.load_template_text(String("/tmp/bench-extraction"), TextScanner(std::string_view(text)));
  engine.run_main_walk();
  engine.continue_follow(sink.follow, page, String("http://news.example/"));
  const XmlParser* document = engine.documents().document(0);
  int32_t passes = 0;
  for (int32_t i = 1; i < document->node_count(); ++i) {
    const XmlNode& node = document->get(i);
    passes += node.kind == node_element && node.blank == 0 && node.name.equals("l");
  }
  return passes;
}

}  // namespace

constexpr const char* usage =
    "usage: bench_extraction_walk [ROUNDS] [PAGE...]\n"
    "Times an iteration of extract-url over every link and of erase over 5000 blocks of a\n"
    "generated 1 MB page against a whole-page parse; exit status 1 when over 3 times.\n"
    "Each PAGE file is also measured (extract-url over its links), for information.\n";

int main(int argc, char** argv) {
  if (wayfetch::bench::asked_for_help(argc, argv, usage)) return 0;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  int links = 0;
  int blocks = 0;
  const std::string bytes = make_page(links, blocks);
  String page{std::string_view(bytes)};
  page.set_encoding(TextEncoding::SingleByte, 1252);

  int32_t parsed_nodes = 0;
  const double parse = best_seconds(rounds, [&] {
    TextScanner text(page);
    XmlParser parser;
    parser.parse(text);
    parsed_nodes = parser.node_count();
  });
  int32_t link_nodes = 0;
  const double extract_url = best_seconds(rounds, [&] {
    link_nodes = walk("<l action=\"iterate\"><u action=\"extract-url\"/></l>", page);
  });
  int32_t erase_nodes = 0;
  const double erase = best_seconds(rounds, [&] {
    erase_nodes = walk(
        "<l action=\"iterate\"><x action=\"erase\"><begin><span class=ad></begin>"
        "<end></span></end></x></l>",
        page);
  });

  const bool complete = link_nodes == links && erase_nodes == blocks;
  std::printf("page: %.2f MB, %d links, %d blocks; mode-0 parse: %d nodes, %.2f ms\n",
              static_cast<double>(bytes.size()) / 1048576.0, links, blocks, parsed_nodes,
              parse * 1e3);
  std::printf("iterate extract-url over every link: %d passes, %.2f ms, %.2fx the parse\n",
              link_nodes, extract_url * 1e3, extract_url / parse);
  std::printf("iterate erase of every block:        %d passes, %.2f ms, %.2fx the parse\n",
              erase_nodes, erase * 1e3, erase / parse);
  const bool within = extract_url <= 3 * parse && erase <= 3 * parse;
  std::printf("%s\n", !complete ? "INCOMPLETE: a walk stopped early"
                      : within  ? "within 3x the parse"
                                : "OVER 3x the parse");
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::string real(std::istreambuf_iterator<char>(in), {});
    String text{std::string_view(real)};
    text.set_encoding(TextEncoding::SingleByte, 1252);
    const double real_parse = best_seconds(rounds, [&] {
      TextScanner scanner(text);
      XmlParser parser;
      parser.parse(scanner);
    });
    int32_t passes = 0;
    const double real_walk = best_seconds(rounds, [&] {
      passes = walk("<l action=\"iterate\"><u action=\"extract-url\" mode=\"standard\"/></l>",
                    text);
    });
    std::printf("%s: %.2f MB, parse %.2f ms; extract-url over %d links %.2f ms, %.2fx\n", argv[i],
                static_cast<double>(real.size()) / 1048576.0, real_parse * 1e3, passes,
                real_walk * 1e3, real_walk / real_parse);
  }
  return complete && within ? 0 : 1;
}
