// The site-page step of download-site over a 1 MB page with 5000 links (and
// 1000 pictures) against a mode-0 parse of the same page, in the same run:
// the step parses the page once, numbers every link and rewrites the page
// in one pass, so it must stay within 2 times the parse. Times are the
// thread's CPU time, best of several rounds.
//
//   bench_extraction_site [ROUNDS]
// Exit status 1 when the step is over its bound or did not number every link.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_usage.h"
#include "bench/cpu_time.h"
#include "core/text_scanner.h"
#include "extraction/extraction_engine.h"
#include "xml/xml_parser.h"

namespace {

using namespace wayfetch;

// About 1 MB: 5000 links, half of them to distinct pages, the rest to
// anchors; one picture in five paragraphs; text filling the rest.
std::string make_page() {
  std::string page = "<html><head><title>Index</title></head><body>\n";
  std::string filler;
  while (filler.size() < 140) filler += "Words of the article that pad the page. ";
  for (int i = 0; i < 5000; ++i) {
    const std::string n = std::to_string(i);
    page += "<p>" + filler;
    page += i % 2 == 0 ? "<a href=\"/articles/" + n + ".html\">Article " + n + "</a>"
                       : "<a href=\"#part" + n + "\">part " + n + "</a><a name=\"part" + n + "\"></a>";
    if (i % 5 == 0) page += "<img src=\"/pics/" + n + ".png\">";
    page += "</p>\n";
  }
  page += "</body></html>\n";
  return page;
}

class Accepting : public DownloadSink {
 public:
  SinkAnswer schedule(const DownloadRequest& request) override {
    if (request.kind == DownloadKind::site_page && start.ticket < 0) start = request;
    ++asked;
    return SinkAnswer::accepted;
  }
  DownloadRequest start;
  int asked = 0;
};

// Runs download-site to the start page and its site-page step over `page`;
// returns the downloads the step asked for.
int site_step(const String& page) {
  Accepting sink;
  ExtractionEngine engine;
  engine.set_sink(&sink);
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><e><s action=\"download-site\" "
      "get-pics=\"yes\"><url>http://news.example/index.html</url></s></e>";
  engine.load_template_text(String("/tmp/bench-extraction-site"),
                            TextScanner(std::string_view(text)));
  engine.run_main_walk();
  engine.continue_site_page(sink.start, page, sink.start.address);
  return sink.asked - 1;
}

}  // namespace

constexpr const char* usage =
    "usage: bench_extraction_site [ROUNDS]\n"
    "Times the site-page step of download-site over a generated 1 MB page with 5000 links\n"
    "against a mode-0 parse of the page; exit status 1 when over 2 times.\n";

int main(int argc, char** argv) {
  if (wayfetch::bench::asked_for_help(argc, argv, usage)) return 0;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string bytes = make_page();
  String page{std::string_view(bytes)};
  page.set_encoding(TextEncoding::SingleByte, 1252);

  int32_t nodes = 0;
  const double parse = bench::best_seconds(rounds, CLOCK_THREAD_CPUTIME_ID, [&] {
    TextScanner text(page);
    XmlParser parser;
    parser.parse(text);
    nodes = parser.node_count();
  });
  int asked = 0;
  const double step =
      bench::best_seconds(rounds, CLOCK_THREAD_CPUTIME_ID, [&] { asked = site_step(page); });
  // 2500 pages and 1000 pictures.
  const bool complete = asked == 3500;
  std::printf("page: %.2f MB, 5000 links, 1000 pictures; mode-0 parse: %d nodes, %.2f ms\n",
              static_cast<double>(bytes.size()) / 1048576.0, nodes, parse * 1e3);
  std::printf("site-page step: %d downloads asked, %.2f ms, %.2fx the parse\n", asked,
              step * 1e3, step / parse);
  const bool within = step <= 2 * parse;
  std::printf("%s\n", !complete ? "INCOMPLETE: not every link was numbered"
                      : within  ? "within 2x the parse"
                                : "OVER 2x the parse");
  return complete && within ? 0 : 1;
}
