// The Extractor tests' fixture: the fixture news site of tests/extraction/site
// served by the loopback server (every "http://SITE" in a served file is the
// server's own address; "/gen/" serves generated lists of articles; answers
// can be slowed, and "/stall/" is never answered), a connector to it, and a
// recorder of the progress events.
#ifndef WAYFETCH_TESTS_EXTRACTION_EXTRACTOR_FIXTURE_H
#define WAYFETCH_TESTS_EXTRACTION_EXTRACTOR_FIXTURE_H

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "extraction/extractor.h"
#include "tests/extraction/extraction_fixture.h"
#include "tests/support/http_test_server.h"
#include "web/web_connector.h"

#ifndef WAYFETCH_EXTRACTION_SITE_DIR
#error "WAYFETCH_EXTRACTION_SITE_DIR must name tests/extraction/site"
#endif

namespace wayfetch::testing {

class ExtractorTest : public ExtractionTest {
 protected:
  void SetUp() override {
    ExtractionTest::SetUp();
    server_ = std::make_unique<HttpTestServer>([this](const TestRequest& r) { return serve(r); });
    ASSERT_TRUE(server_->start());
    site_ = server_->url("");
    connector_.set_proxy(WebConnector::ProxyMode::none, String(), String(), String());
  }
  void TearDown() override {
    server_->stop();
    ExtractionTest::TearDown();
  }

  // Writes radix + ".enews" (the declaration in front, "SITE" standing for
  // the server's address) for an eNews called `name` in the scratch folder.
  std::string write_template(const std::string& body, const std::string& name = "news") {
    const std::string radix = dir_.file(name);
    write_bytes(radix + ".enews", std::string(declaration) + replace_all(body, "SITE", site_));
    return radix;
  }

  // Runs one Extractor over the eNews given by radix and selection.
  void extract(const std::vector<std::pair<std::string, std::vector<bool>>>& enews) {
    Extractor extractor(&connector_, &ExtractorTest::record, this);
    for (std::size_t i = 0; i < enews.size(); ++i) {
      extractor.add(String(enews[i].first.c_str()), enews[i].second, static_cast<int32_t>(i));
    }
    extractor.run();
  }
  void extract_one(const std::string& body, std::vector<bool> items = {true, true}) {
    extract({{write_template(body), std::move(items)}});
  }

  // The records of a compact list (records()), where "W27:-" is a record
  // naming the template without a line, "W35:107@/path" a failed request
  // with its status and address, and "W37@/path" a record quoting an address.
  static std::string site_records(const std::string& list) {
    std::string out;
    std::size_t at = 0;
    while (at < list.size()) {
      std::size_t stop = list.find(' ', at);
      if (stop == std::string::npos) stop = list.size();
      const std::string item = list.substr(at, stop - at);
      at = stop + 1;
      if (item.ends_with(":-")) {
        // A record of the template without a line.
        out += records(item.substr(0, item.size() - 2)) + " in file: DIR/news.enews\r\n";
        continue;
      }
      const std::size_t where = item.find('@');
      if (where == std::string::npos) {
        out += records(item);
        continue;
      }
      const std::size_t colon = item.find(':');
      const int code = std::stoi(item.substr(1, std::min(colon, where) - 1));
      out += std::string(messages::warning_text(code));
      if (colon < where) {
        out += " " + std::string(messages::error_text(std::stoi(item.substr(colon + 1))));
      }
      out += "\r\n       URL: SITE" + item.substr(where + 1) + "\r\n";
    }
    return out;
  }

  // The events of eNews 0 as "event:section"; downloads that run together
  // end in any order, so each run of 3s is sorted.
  std::string joined_events() const { return joined(events_); }
  static std::string joined(std::vector<std::string> events) {
    for (auto run = events.begin(); run != events.end();) {
      auto end = std::find_if(run, events.end(),
                              [](const std::string& e) { return !e.starts_with("0:3:"); });
      std::sort(run, end);
      run = end == events.end() ? end : end + 1;
    }
    std::string text;
    for (const std::string& event : events) {
      if (event.starts_with("0:")) text += (text.empty() ? "" : " ") + event.substr(2);
    }
    return text;
  }

  // The log with the folder as "DIR" and the server as "SITE".
  std::string site_log() const { return replace_all(log_text(), site_, "SITE"); }

  // Events as "identifier:event:section".
  static void record(void* self, int32_t identifier, ProgressEvent event, int32_t section,
                     PictureList* pictures) {
    auto* test = static_cast<ExtractorTest*>(self);
    test->events_.push_back(std::to_string(identifier) + ":" +
                            std::to_string(static_cast<int>(event)) + ":" +
                            std::to_string(section));
    test->callback_threads_.push_back(std::this_thread::get_id());
    if (pictures != nullptr) {
      for (const auto& [address, item, written] : test->pictures_) {
        PictureListEntry& entry = pictures->at(pictures->size());
        entry.address =
            String((address.starts_with("/") ? test->site_ + address : address).c_str());
        entry.section = item;
        entry.written = String(written);
      }
    }
  }

  std::unique_ptr<HttpTestServer> server_;
  std::string site_;
  WebConnector connector_;
  std::vector<std::string> events_;
  std::vector<std::thread::id> callback_threads_;
  // Listed at event 1: (path on the site or address, item, reference as the
  // page writes it).
  std::vector<std::tuple<std::string, int32_t, std::string>> pictures_;
  // Served with this delay, or never answered, by path prefix.
  std::atomic<int> latency_ms_{0};
  std::string stall_prefix_ = "/stall/";
  std::chrono::steady_clock::time_point stop_time_;
  // Articles a generated list ("/gen/.../list.html") links to.
  int generated_articles = 12;

 private:
  TestResponse serve(const TestRequest& request) {
    const std::string path = request.path();
    if (path.starts_with(stall_prefix_)) {
      TestResponse stalled;
      stalled.stall = true;
      return stalled;
    }
    if (path.starts_with("/gen/")) {
      // ".../list.html" links to generated_articles articles beside it.
      std::string page = "<html><body>";
      if (path.ends_with("/list.html")) {
        for (int i = 0; i < generated_articles; ++i) {
          page +=
              "<a href=\"article-" + std::to_string(i) + ".html\">" + std::to_string(i) + "</a>";
        }
      } else {
        page += "<p class=\"story\">Story " + path + "</p>";
      }
      TestResponse response = TestResponse::html(page + "</body></html>");
      response.delay_ms = latency_ms_.load();
      return response;
    }
    const std::filesystem::path file =
        std::filesystem::path(WAYFETCH_EXTRACTION_SITE_DIR) / path.substr(1);
    std::error_code error;
    TestResponse response =
        std::filesystem::is_regular_file(file, error)
            ? TestResponse::typed(content_type(path),
                                  replace_all(read_bytes(file.string()), "http://SITE", site_))
            : TestResponse::status_only(404, "Not Found");
    response.delay_ms = latency_ms_.load();
    return response;
  }
  static std::string content_type(const std::string& path) {
    if (path.ends_with(".xml")) return "text/xml";
    if (path.ends_with(".jpg")) return "image/jpeg";
    if (path.ends_with(".gif")) return "image/gif";
    return "text/html";
  }
};

}  // namespace wayfetch::testing

#endif
