// Download throughput of one WebConnector shared by nine threads, against
// the loopback test server: 200 small pages and 50 pictures of 100 KB, with
// and without 50 ms of server latency per request.
//
// Prints, per scenario, the best and the median of the runs: requests per
// second, and for the latency runs the ratio of the time taken to the ideal
// (the summed latency spread over the nine threads).
//   bench_web_connector [runs]     (default 5)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_usage.h"
#include "core/file.h"
#include "core/string.h"
#include "tests/support/http_test_server.h"
#include "web/web_connector.h"

namespace {

using wayfetch::File;
using wayfetch::String;
using wayfetch::WebConnector;
using wayfetch::testing::HttpTestServer;
using wayfetch::testing::TestRequest;
using wayfetch::testing::TestResponse;

constexpr int thread_count = 9;
constexpr int page_count = 200;
constexpr int picture_count = 50;
constexpr int latency_ms = 50;

std::atomic<int> server_latency_ms{0};

TestResponse serve(const TestRequest& request, const std::string& page,
                   const std::string& picture) {
  TestResponse response = request.path().ends_with(".jpg")
                              ? TestResponse::typed("image/jpeg", picture)
                              : TestResponse::html(page);
  response.delay_ms = server_latency_ms.load();
  return response;
}

struct Run {
  double seconds = 0;
  int requests = 0;
  int failures = 0;
};

// Fetches the listed paths with nine threads sharing one connector.
Run fetch_all(HttpTestServer& server, const std::vector<std::string>& paths) {
  WebConnector connector;
  connector.set_proxy(WebConnector::ProxyMode::none, String(), String(), String());
  connector.set_timeouts(120000, 60000, 300000);
  std::atomic<int> next{0};
  std::atomic<int> failures{0};
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < thread_count; ++t) {
    threads.emplace_back([&] {
      File target;
      if (!target.open_temporary()) {
        ++failures;
        return;
      }
      for (int i; (i = next.fetch_add(1)) < static_cast<int>(paths.size());) {
        bool picture = paths[static_cast<std::size_t>(i)].ends_with(".jpg");
        wayfetch::WebRequest request;
        request.address = String(server.url(paths[static_cast<std::size_t>(i)]));
        request.target = &target;
        request.kind = picture ? wayfetch::ContentKind::get : wayfetch::ContentKind::page;
        if (connector.get(request).status != 0) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  Run run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.requests = static_cast<int>(paths.size());
  run.failures = failures.load();
  return run;
}

void report(const char* name, std::vector<Run> runs, double ideal_seconds) {
  std::sort(runs.begin(), runs.end(),
            [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  const Run& best = runs.front();
  const Run& median = runs[runs.size() / 2];
  int failures = 0;
  for (const Run& run : runs) failures += run.failures;
  std::printf("%-34s %4d requests  best %7.3f s %8.1f req/s  median %7.3f s %8.1f req/s", name,
              best.requests, best.seconds, best.requests / best.seconds, median.seconds,
              median.requests / median.seconds);
  if (ideal_seconds > 0) {
    std::printf("  ideal %.3f s  ratio best %.3f median %.3f", ideal_seconds,
                best.seconds / ideal_seconds, median.seconds / ideal_seconds);
  }
  std::printf("  failures %d\n", failures);
}

}  // namespace

int main(int argc, char** argv) {
  if (wayfetch::bench::asked_for_help(
          argc, argv,
          "usage: bench_web_connector [RUNS]\n"
          "Nine threads download from the loopback server, RUNS times (default 5).\n")) {
    return 0;
  }
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  // A small page with a head for the refresh search, and a picture.
  std::string page = "<html><head><title>Item</title><meta name=\"x\" content=\"y\"></head><body>";
  while (page.size() < 2000) page += "<p>Some text of the article, in a paragraph.</p>";
  page += "</body></html>";
  std::string picture(100 * 1024, '\x5A');

  HttpTestServer server([&](const TestRequest& r) { return serve(r, page, picture); });
  if (!server.start()) {
    std::fprintf(stderr, "cannot start the loopback server\n");
    return 1;
  }
  std::vector<std::string> mixed;
  std::vector<std::string> pages;
  for (int i = 0; i < page_count; ++i) {
    pages.push_back("/page-" + std::to_string(i) + ".html");
    mixed.push_back(pages.back());
    if (i % 4 == 3) mixed.push_back("/picture-" + std::to_string(i / 4) + ".jpg");
  }
  if (static_cast<int>(mixed.size()) != page_count + picture_count) return 1;

  std::printf("%d threads, one connector; %d runs per scenario\n", thread_count, runs);
  for (int latency : {0, latency_ms}) {
    server_latency_ms = latency;
    std::vector<Run> small_runs;
    std::vector<Run> mixed_runs;
    for (int r = 0; r < runs; ++r) {
      small_runs.push_back(fetch_all(server, pages));
      mixed_runs.push_back(fetch_all(server, mixed));
    }
    double ideal_small = latency * page_count / 1000.0 / thread_count;
    double ideal_mixed = latency * (page_count + picture_count) / 1000.0 / thread_count;
    std::string suffix = latency > 0 ? ", 50 ms latency" : ", no latency";
    report(("200 pages" + suffix).c_str(), small_runs, ideal_small);
    report(("200 pages + 50 pictures" + suffix).c_str(), mixed_runs, ideal_mixed);
  }
  std::printf("connections opened in all: %d\n", server.connections());
  server.stop();
  return 0;
}
