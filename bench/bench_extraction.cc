// One extraction run over three eNews against the loopback test server:
// each eNews follows a list of 20 articles and keeps every story, with
// 50 ms of server latency per request (and once without latency, for the
// run's own cost).
//
// Prints, per scenario, the best and the median of the runs: wall time, its
// ratio to the ideal (the summed latency of all requests spread over the
// nine downloads the run may have in flight), and the CPU time of the thread
// that ran the Extractor (templates, parsing, data files), which must stay
// small next to the waiting.
//   bench_extraction [runs]     (default 5)
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_usage.h"
#include "bench/cpu_time.h"
#include "extraction/extractor.h"
#include "tests/support/http_test_server.h"
#include "web/web_connector.h"

namespace {

using wayfetch::Extractor;
using wayfetch::String;
using wayfetch::testing::HttpTestServer;
using wayfetch::testing::TestRequest;
using wayfetch::testing::TestResponse;

constexpr int enews_count = 3;
constexpr int article_count = 20;
constexpr int latency_ms = 50;

std::atomic<int> server_latency_ms{0};

// "/eN/list.html" links to the articles; "/eN/article-K.html" is one story.
TestResponse serve(const TestRequest& request) {
  const std::string path = request.path();
  std::string page = "<html><head><title>" + path + "</title></head><body>";
  if (path.ends_with("/list.html")) {
    for (int k = 0; k < article_count; ++k) {
      page += "<p><a href=\"article-" + std::to_string(k) + ".html\">Story " + std::to_string(k) +
              "</a></p>";
    }
  } else {
    page += "<div class=\"nav\">";
    for (int k = 0; k < 40; ++k) page += "<a href=\"/section-" + std::to_string(k) + "\">x</a> ";
    page += "</div><p class=\"story\">";
    while (page.size() < 4000) page += "The ferry left the quay twenty minutes early today. ";
    page += "</p></body></html>";
  }
  TestResponse response = TestResponse::html(page);
  response.delay_ms = server_latency_ms.load();
  return response;
}

struct Run {
  double wall = 0;
  double cpu = 0;
};

Run extract_all(const std::vector<std::string>& radixes) {
  wayfetch::WebConnector connector;
  connector.set_proxy(wayfetch::WebConnector::ProxyMode::none, String(), String(), String());
  Extractor extractor(&connector, nullptr, nullptr);
  for (std::size_t i = 0; i < radixes.size(); ++i) {
    extractor.add(String(radixes[i].c_str()), {}, static_cast<int32_t>(i));
  }
  const double cpu_start = wayfetch::bench::cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
  const auto start = std::chrono::steady_clock::now();
  extractor.run();
  Run run;
  run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpu = wayfetch::bench::cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - cpu_start;
  return run;
}

void report(const char* name, std::vector<Run> runs, double ideal) {
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.wall < b.wall; });
  const Run& best = runs.front();
  const Run& median = runs[runs.size() / 2];
  double least_cpu = runs.front().cpu;
  for (const Run& run : runs) least_cpu = std::min(least_cpu, run.cpu);
  std::printf("%-22s wall best %.3f s median %.3f s", name, best.wall, median.wall);
  if (ideal > 0) {
    std::printf("  ideal %.3f s  ratio best %.2f median %.2f", ideal, best.wall / ideal,
                median.wall / ideal);
  }
  std::printf("  Extractor thread CPU least %.1f ms median %.1f ms\n", least_cpu * 1000,
              median.cpu * 1000);
}

}  // namespace

int main(int argc, char** argv) {
  if (wayfetch::bench::asked_for_help(
          argc, argv,
          "usage: bench_extraction [RUNS]\n"
          "Three eNews of 20 articles each extracted from the loopback server, with and\n"
          "without 50 ms latency per request, RUNS times each (default 5).\n")) {
    return 0;
  }
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  HttpTestServer server(serve);
  if (!server.start()) {
    std::fprintf(stderr, "cannot start the loopback server\n");
    return 1;
  }
  char pattern[] = "/tmp/bench-extraction-XXXXXX";
  const char* folder = mkdtemp(pattern);
  if (folder == nullptr) return 1;
  std::vector<std::string> radixes;
  for (int i = 0; i < enews_count; ++i) {
    const std::string radix = std::string(folder) + "/e" + std::to_string(i);
    std::ofstream(radix + ".enews")
        << "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><e><f action=\"follow\"><url>"
        << server.url("/e" + std::to_string(i) + "/list.html")
        << "</url></f><l action=\"iterate\"><a action=\"extract-url follow\">"
           "<filter>article</filter></a><s action=\"extract\" html-filter=\"no-tags\">"
           "<begin><p class=\"story\"></begin><end></p></end></s></l></e>";
    radixes.push_back(radix);
  }
  const int requests = enews_count * (article_count + 1);
  std::printf("%d eNews x %d articles (%d requests), %d runs per scenario\n", enews_count,
              article_count, requests, runs);
  for (int latency : {latency_ms, 0}) {
    server_latency_ms = latency;
    std::vector<Run> results;
    for (int r = 0; r < runs; ++r) results.push_back(extract_all(radixes));
    const double ideal =
        latency * requests / 1000.0 / (Extractor::slot_count * Extractor::downloads_per_slot);
    report(latency > 0 ? "50 ms latency" : "no latency", results, ideal);
  }
  std::printf("requests served: %zu (expected %d)  most in flight: %d\n", server.requests().size(),
              requests * runs * 2, server.max_in_flight());
  server.stop();
  std::filesystem::remove_all(folder);
  return 0;
}
