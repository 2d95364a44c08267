// Whole runs: the worked example end to end, several eNews in parallel,
// Stop, and what bounds a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ebook/local_link.h"
#include "rendering/rendering_engine.h"
#include "tests/extraction/extractor_fixture.h"
#include "tests/support/scoped_env.h"

#ifndef WAYFETCH_EXAMPLES_DIR
#error "WAYFETCH_EXAMPLES_DIR must name the project's examples folder"
#endif

namespace wayfetch::testing {
namespace {

namespace fs = std::filesystem;

const fs::path example = fs::path(WAYFETCH_EXAMPLES_DIR) / "enews-rendering";
// The address the example's template and data name the fixture site by.
constexpr const char* example_site = "http://127.0.0.1:8317";
constexpr const char* example_data_site = "http://news.harbour.example";

// Renders the eNews at event 1, as the update job does, listing its pictures.
struct Renderer {
  std::string radix;
  std::string site;
  std::vector<std::string> events;
  static void on_progress(void* self, int32_t, ProgressEvent event, int32_t section,
                          PictureList* pictures) {
    auto* renderer = static_cast<Renderer*>(self);
    renderer->events.push_back("0:" + std::to_string(static_cast<int>(event)) + ":" +
                               std::to_string(section));
    if (pictures == nullptr) return;
    RenderingEngine engine;
    engine.set_picture_target(*pictures,
                              String((renderer->site + "/templates/harbour.xsl").c_str()));
    engine.set_radix(String(renderer->radix.c_str()));
    engine.add_datasource(String("data"));
    engine.add_datasource(String("data0"));
    EXPECT_TRUE(engine.render());
  }
};

TEST_F(ExtractorTest, HarbourGivesTheExampleDataAndThePicturesItsPageShows) {
  const std::string radix = dir_.file("harbour");
  write_bytes(radix + ".enews",
              replace_all(read_bytes((example / "harbour.enews").string()), example_site, site_));
  fs::copy_file(example / "harbour.xsl", radix + ".xsl");
  Renderer renderer{radix, site_, {}};
  {
    Extractor extractor(&connector_, &Renderer::on_progress, &renderer);
    extractor.add(String(radix.c_str()), {true}, 0);
    extractor.run();
  }
  for (const char* name : {"harbour.data.xml", "harbour.data0.xml"}) {
    EXPECT_EQ(replace_all(read_bytes(dir_.file(name)), site_, example_data_site),
              read_bytes((example / name).string()))
        << name;
  }
  EXPECT_EQ(log_text(), "");
  // The template's picture (item -1) is counted in the main document, the
  // stories' pictures in item 0's section.
  EXPECT_EQ(joined(renderer.events), "2:-1 3:0 3:1 1:-1 3:0 3:1 3:1 0:-1");
  // Every picture of the rendered page is where the e-book builder will
  // look for it, beside the page.
  const std::string page = read_bytes(radix + ".html");
  int pictures = 0;
  for (std::size_t at = 0; (at = page.find("<img src=\"", at)) != std::string::npos; ++pictures) {
    at += 10;
    const std::string src = page.substr(at, page.find('"', at) - at);
    const LinkTarget target = resolve_link(radix + ".html", src);
    EXPECT_TRUE(target.local && fs::is_regular_file(target.file)) << src;
  }
  EXPECT_EQ(pictures, 3);
}

// A list of generated articles, each followed and its story kept.
std::string article_list(const std::string& prefix) {
  return "<e><f action=\"follow\"><url>SITE" + prefix +
         "list.html</url></f>"
         "<l action=\"iterate\"><a action=\"extract-url follow\"><filter>article</filter></a>"
         "<s action=\"extract\"><begin><p class=\"story\"></begin><end></p></end></s></l></e>";
}

int count_of(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) {
    ++count;
  }
  return count;
}

TEST_F(ExtractorTest, RunsThreeEnewsAtOnceWithThreeDownloadsEach) {
  latency_ms_ = 30;
  std::vector<std::pair<std::string, std::vector<bool>>> enews;
  for (int i = 0; i < 4; ++i) {
    const std::string name = "e" + std::to_string(i);
    enews.push_back({write_template(article_list("/gen/" + name + "/"), name), {}});
  }
  extract(enews);
  for (int i = 0; i < 4; ++i) {
    const std::string name = "e" + std::to_string(i);
    EXPECT_EQ(count_of(read_bytes(dir_.file(name + ".data.xml")), "Story /gen/" + name), 12);
    EXPECT_LE(server_->max_in_flight("/gen/" + name + "/"), 3) << name;
  }
  // Several eNews download at once, never more than nine requests (how
  // close the run comes to nine depends on the machine's load).
  EXPECT_GT(server_->max_in_flight(), 3);
  EXPECT_LE(server_->max_in_flight(), 9);
  EXPECT_EQ(server_->requests().size(), 4u * 13u);
  // The fourth eNews starts in the first slot that is free.
  const auto first_end = std::find_if(events_.begin(), events_.end(),
                                      [](const std::string& e) { return e.ends_with(":0:-1"); });
  EXPECT_LT(first_end - events_.begin(),
            std::find(events_.begin(), events_.end(), "3:2:-1") - events_.begin());
  // Every event came on the thread that ran the Extractor.
  for (const std::thread::id& thread : callback_threads_)
    EXPECT_EQ(thread, std::this_thread::get_id());
  EXPECT_EQ(log_text(), "");
}

TEST_F(ExtractorTest, EnewsWithoutDownloadsFollowEachOtherInTheirSlot) {
  std::vector<std::pair<std::string, std::vector<bool>>> enews;
  for (int i = 0; i < 5; ++i) {
    enews.push_back(
        {write_template("<e>" + std::to_string(i) + "</e>", "m" + std::to_string(i)), {}});
  }
  extract(enews);
  EXPECT_EQ(log_text(), "");
  EXPECT_EQ(events_.size(), 15u);
  EXPECT_EQ(read_bytes(dir_.file("m4.data.xml")), std::string(declaration) + "<e >4</e>");
}

TEST_F(ExtractorTest, StopEndsTheRunAtOnceAndLeavesNoTemporaryFiles) {
  const std::string temporary = dir_.file("tmp");
  fs::create_directory(temporary);
  ScopedEnv env;
  env.set("TMPDIR", temporary.c_str());
  std::string body = "<e><m>kept</m>";
  for (int i = 0; i < 6; ++i) {
    body += "<s action=\"section\"><f action=\"follow\"><url>SITE/stall/" + std::to_string(i) +
            ".html</url></f></s>";
  }
  const std::string radix = write_template(body + "</e>");
  std::thread stopper([this] {
    while (server_->requests().size() < 3)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop_time_ = std::chrono::steady_clock::now();
    connector_.abort_all();
  });
  extract({{radix, std::vector<bool>(6, true)}});
  const auto returned = std::chrono::steady_clock::now();
  stopper.join();
  EXPECT_LT(returned - stop_time_, std::chrono::seconds(1));
  EXPECT_EQ(server_->requests().size(), 3u);
  EXPECT_EQ(read_bytes(dir_.file("news.data.xml")),
            std::string(declaration) + "<e ><m >kept</m></e>");
  EXPECT_TRUE(fs::is_empty(temporary));
  // The downloads under way say how they ended; the ones never started say it once.
  EXPECT_EQ(count_of(site_log(), "Failed HTTP request. HTTP requests are disabled."), 1)
      << site_log();
  EXPECT_EQ(events_.back(), "0:0:-1");
}

TEST_F(ExtractorTest, DownloadLimitRefusesTheRestWithOneRecord) {
  const std::string radix = write_template(article_list("/gen/x/"));
  {
    Extractor extractor(&connector_, &ExtractorTest::record, this);
    extractor.set_download_limit(5);
    extractor.add(String(radix.c_str()), {}, 0);
    extractor.run();
  }
  EXPECT_EQ(server_->requests().size(), 5u);
  EXPECT_EQ(count_of(read_bytes(radix + ".data.xml"), "Story /gen/x/"), 4);
  EXPECT_EQ(site_log(), site_records("W35@/gen/x/article-4.html"));
  EXPECT_EQ(events_.back(), "0:0:-1");
}

TEST_F(ExtractorTest, PicturesListedAtTheEndStayInTheFolderAndOffLocalFiles) {
  const std::string radix = write_template(
      "<e><s action=\"section\"><f action=\"follow\"><url>SITE/harbour/tide.html</url></f>"
      "<x action=\"extract\"><begin><h2></begin><end></h2></end></x></s></e>");
  pictures_ = {{"/harbour/pics/ferry.jpg", 0, "../../elsewhere/ferry.jpg"},
               {"/harbour/pics/tide.jpg", 1, "pics/tide.jpg"},
               {"file:///etc/hostname", -1, "hostname"},
               {"/templates/art/masthead.gif", -1, "art\\masthead.gif"},
               {"/harbour/pics/ferry.jpg", 0, "news.enews"}};
  // Item 2 is selected but the template has no third section.
  extract({{radix, {true, false, true}}});
  EXPECT_TRUE(fs::is_regular_file(dir_.file("ferry.jpg")));
  EXPECT_TRUE(fs::is_regular_file(dir_.file("art/masthead.gif")));
  // A reference naming one of the eNews's own files takes the address's name.
  EXPECT_EQ(read_bytes(radix + ".enews").find("<e>"), std::string(declaration).size());
  EXPECT_FALSE(fs::exists(dir_.file("pics")));
  EXPECT_FALSE(fs::exists(dir_.file("hostname")));
  EXPECT_EQ(site_log(), site_records("W28:- E68:-"));
  EXPECT_EQ(joined_events(), "2:-1 3:1 4:3 1:-1 3:0 3:1 3:1 0:-1");
}

TEST_F(ExtractorTest, EnewsThatCannotStartAndOneWithoutConnection) {
  const std::string radix =
      write_template("<e><f action=\"follow\"><url>SITE/harbour/index.html</url></f></e>");
  pictures_ = {{"/harbour/pics/ferry.jpg", -1, "ferry.jpg"}};
  {
    Extractor extractor(nullptr, &ExtractorTest::record, this);
    extractor.add(String(dir_.file("missing").c_str()), {true}, 0);
    extractor.add(String(radix.c_str()), {true}, 1);
    extractor.run();
  }
  // The first slot takes the second eNews at once.
  EXPECT_EQ(events_, (std::vector<std::string>{"0:4:0", "0:0:-1", "1:2:-1", "1:4:0", "1:4:1",
                                               "1:1:-1", "1:0:-1"}));
  EXPECT_EQ(server_->requests().size(), 0u);
  EXPECT_EQ(replace_all(site_log(), "missing", "news"),
            "Error(core): Could not access file.\r\n      in file: DIR/news.enews\r\n" +
                site_records("E57:- E77 E58:1 W27:- W28:- E77"));
}

TEST_F(ExtractorTest, TaskOfAnotherKindEndsTheRunInsteadOfWaiting) {
  const std::string radix = write_template(
      "<e><m>kept</m><f action=\"follow\"><url>SITE/harbour/index.html</url></f></e>");
  {
    Extractor extractor(&connector_, &ExtractorTest::record, this);
    static_cast<ThreadManager&>(extractor).add(
        std::make_unique<Thread>([](void*) -> uint32_t { return 0; }));
    extractor.add(String(radix.c_str()), {}, 0);
    extractor.run();
  }
  EXPECT_EQ(read_bytes(radix + ".data.xml"), std::string(declaration) + "<e ><m >kept</m></e>");
  EXPECT_EQ(site_log(), site_records("E76 E76 E76 E85 W27:-"));
  EXPECT_EQ(events_.back(), "0:0:-1");
}

TEST_F(ExtractorTest, WebTemplateAndOversizedDocumentsGetNothing) {
  // A template from the web may not name local files; an included document
  // past the data documents' budgets is left out whole.
  const std::string web = write_template(
      "<e><l action=\"section\"><f action=\"follow\"><url>file:///etc/hostname</url></f></l>"
      "<i action=\"include\"><url>SITE/feeds/local.xml</url></i></e>",
      "news");
  {
    Extractor extractor(&connector_, &ExtractorTest::record, this);
    ExtractionEngine::Limits limits;
    limits.document_nodes = 20;
    extractor.set_engine_limits(limits);
    extractor.add(String(web.c_str()), {true}, 0, true);
    extractor.run();
  }
  EXPECT_EQ(server_->requests().size(), 1u);
  EXPECT_EQ(replace_all(read_bytes(web + ".data.xml"), site_, "SITE"),
            std::string(declaration) + "<e ><i incurl=\"SITE/feeds/local.xml\" ></i></e>");
  EXPECT_EQ(site_log(), site_records("E68:1 E84 W27:- W27:1"));
}

TEST_F(ExtractorTest, FilesThatCannotBeWrittenAreReported) {
  // A folder where the data file and the picture would go.
  const std::string radix =
      write_template("<e><g action=\"get\"><url>SITE/harbour/pics/ferry.jpg</url></g></e>");
  fs::create_directory(radix + ".data.xml");
  fs::create_directory(dir_.file("ferry.jpg"));
  extract({{radix, {}}});
  EXPECT_EQ(site_log(), site_records("E74 E70 E73"));
  EXPECT_EQ(joined_events(), "2:-1 3:0 1:-1 0:-1");
}

}  // namespace
}  // namespace wayfetch::testing
