// Whole update runs through the application core: three eNews of 20
// articles each from the loopback server with 50 ms latency per request,
// every run fetching everything again (Update all).
//
// A run's requests: per eNews its two templates, its article list and its 20
// articles. The Extractor keeps nine downloads in flight, so the ideal run
// lasts the summed latency / 9 plus the rendering and building, which the
// run does on its own thread (measured in the same run from the status
// lines). The templates of due eNews are refreshed one after another before
// any download starts, so a second ideal counts their latency in full.
//
// Prints the best and the median run: wall time, both ideals and the ratios.
//   bench_update [runs]     (default 5)
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_usage.h"
#include "config/application_core.h"
#include "config/non_interactive_prompts.h"
#include "config/settings_names.h"
#include "core/string_table.h"
#include "extraction/extractor.h"
#include "platform/network_state.h"
#include "platform/settings_store_fake.h"
#include "tests/support/http_test_server.h"

namespace {

using namespace wayfetch;
using testing::HttpTestServer;
using testing::TestRequest;
using testing::TestResponse;
using Clock = std::chrono::steady_clock;

constexpr int enews_count = 3;
constexpr int article_count = 20;
constexpr int latency_ms = 50;
constexpr int requests_per_enews = 2 + 1 + article_count;

std::string site;  // the server's address, set before the first request

std::string description(const std::string& e) {
  std::ostringstream text;
  text << "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><enews><wayfetch-config "
          "action=\"ignore\"><enews name=\""
       << e << "\" xml-extraction=\"" << site << "/" << e << "/e.enews\" xsl-rendering=\"" << site
       << "/" << e << "/e.xsl\" validity=\"1 day\"><title>News " << e
       << "</title><enewsitem name=\"stories\" selected=\"yes\"><title>Stories</title>"
          "</enewsitem></enews></wayfetch-config><name>News "
       << e << "</name><stories action=\"section\"><f action=\"follow\"><url>" << site << "/" << e
       << "/list.html</url></f><l action=\"iterate\"><a action=\"extract-url follow\">"
          "<filter>article</filter></a><s action=\"extract\" html-filter=\"no-tags\">"
          "<begin><p class=\"story\"></begin><end></p></end></s></l></stories></enews>";
  return text.str();
}

const char* rendering_template =
    "<xsl:stylesheet encoding=\"iso-8859-1\"><html><head><title><xsl:value-of "
    "select=\"/enews/name\"/></title></head><body><xsl:for-each select=\"//s\"><p><xsl:value-of "
    "select=\".\"/></p></xsl:for-each></body></html></xsl:stylesheet>";

// "/eN/e.enews" and "/eN/e.xsl" are the templates; "/eN/list.html" links to
// the articles; "/eN/article-K.html" is one story.
TestResponse serve(const TestRequest& request) {
  const std::string path = request.path();
  const std::string e = path.substr(1, path.find('/', 1) - 1);
  TestResponse response;
  if (path.ends_with("/e.enews")) {
    response = TestResponse::typed("text/xml", description(e));
  } else if (path.ends_with("/e.xsl")) {
    response = TestResponse::typed("text/xml", rendering_template);
  } else {
    std::string page = "<html><head><title>" + path + "</title></head><body>";
    if (path.ends_with("/list.html")) {
      for (int k = 0; k < article_count; ++k) {
        page += std::string("<p><a href=\"article-") + std::to_string(k) + ".html\">Story " +
                std::to_string(k) + "</a></p>";
      }
    } else {
      page += "<p class=\"story\">";
      while (page.size() < 4000) page += "The ferry left the quay twenty minutes early today. ";
      page += "</p>";
    }
    response = TestResponse::html(page + "</body></html>");
  }
  response.delay_ms = latency_ms;
  return response;
}

// Adds up the time between status 10139 and 10140 (rendering) and between
// 10141 and the next line (building).
class TimingObserver : public UpdateObserver {
 public:
  void status(const StatusLine& line) override {
    const Clock::time_point now = Clock::now();
    std::lock_guard hold(mutex_);
    if (building_) {
      work_ += now - since_;
      building_ = false;
    }
    if (line.id == strings::rendering_enews || line.id == strings::building_enews) since_ = now;
    if (line.id == strings::enews_rendered) work_ += now - since_;
    building_ = line.id == strings::building_enews;
  }
  Prompts& prompts() override { return prompts_; }

  double take_work_seconds() {
    std::lock_guard hold(mutex_);
    const double seconds = std::chrono::duration<double>(work_).count();
    work_ = {};
    return seconds;
  }

 private:
  std::mutex mutex_;
  Clock::time_point since_;
  Clock::duration work_{};
  bool building_ = false;
  NonInteractivePrompts prompts_;
};

struct Run {
  double wall = 0;
  double work = 0;  // rendering and building
};

}  // namespace

int main(int argc, char** argv) {
  if (bench::asked_for_help(argc, argv,
                            "usage: bench_update [RUNS]\n"
                            "Update all over three eNews of 20 articles from the loopback server\n"
                            "with 50 ms latency per request, RUNS times (default 5).\n")) {
    return 0;
  }
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char pattern[] = "/tmp/bench-update-XXXXXX";
  const char* folder = mkdtemp(pattern);
  if (folder == nullptr) return 1;
  // The conduit pipe and the settings stay inside the bench's folder.
  const std::string runtime = std::string(folder) + "/run";
  std::filesystem::create_directories(runtime);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

  HttpTestServer server(serve);
  if (!server.start()) {
    std::fprintf(stderr, "cannot start the loopback server\n");
    return 1;
  }
  site = server.url("");
  int status = 0;
  {
    platform::MemorySettingsStore store;
    (void)store.write_value(settings_names::program_key, settings_names::installation_path,
                            std::string(folder) + "/installation");
    platform::FakeNetworkState network;
    network.set_connection_state(platform::NetworkState::local_network);
    TimingObserver observer;
    ApplicationCore core(store, observer, network);
    WayfetchConfiguration& config = core.configuration();
    config.register_program();
    config.settings().proxy.mode = ProxyMode::none;
    for (int i = 0; i < enews_count; ++i) {
      config.queue_description(description(std::string("e") + std::to_string(i)));
      if (!config.add_queued().ok) {
        std::fprintf(stderr, "cannot subscribe\n");
        return 1;
      }
    }
    std::vector<Run> results;
    // The first run is a warm-up.
    for (int r = 0; r <= runs; ++r) {
      const std::size_t served_before = server.requests().size();
      const Clock::time_point start = Clock::now();
      if (!core.update_all() || !core.wait_for_update(120000)) {
        std::fprintf(stderr, "the update did not run\n");
        status = 1;
        break;
      }
      Run run;
      run.wall = std::chrono::duration<double>(Clock::now() - start).count();
      run.work = observer.take_work_seconds();
      const std::size_t served = server.requests().size() - served_before;
      if (served != enews_count * requests_per_enews) {
        std::fprintf(stderr, "run %d: %zu requests, expected %d\n", r, served,
                     enews_count * requests_per_enews);
        status = 1;
      }
      if (r > 0) results.push_back(run);
    }
    if (!results.empty()) {
      std::sort(results.begin(), results.end(),
                [](const Run& a, const Run& b) { return a.wall < b.wall; });
      const int requests = enews_count * requests_per_enews;
      const int in_flight = Extractor::slot_count * Extractor::downloads_per_slot;
      const double spread = latency_ms * requests / 1000.0 / in_flight;
      const double templates = latency_ms * 2 * enews_count / 1000.0;
      const double spread_after =
          latency_ms * (requests - 2 * enews_count) / 1000.0 / in_flight + templates;
      std::printf("%d eNews x %d articles (%d requests, %d in flight), %d runs\n", enews_count,
                  article_count, requests, in_flight, runs);
      for (const auto& [name, run] :
           {std::pair{"best", results.front()}, std::pair{"median", results[results.size() / 2]}}) {
        const double ideal = spread + run.work;
        const double ideal_sequential = spread_after + run.work;
        std::printf(
            "%-6s wall %.3f s  render+build %.3f s  ideal %.3f s ratio %.2f  "
            "ideal with templates in turn %.3f s ratio %.2f\n",
            name, run.wall, run.work, ideal, run.wall / ideal, ideal_sequential,
            run.wall / ideal_sequential);
      }
    }
  }
  server.stop();
  std::filesystem::remove_all(folder);
  return status;
}
