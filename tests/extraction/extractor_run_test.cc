// Whole runs: the worked example end to end, several eNews in parallel,
// Stop, and what bounds a run.
#include <gtest/gtest.h>

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
    renderer->events.push_back(std::to_string(static_cast<int>(event)) + ":" +
                               std::to_string(section));
    if (pictures == nullptr) return;
    RenderingEngine engine;
    engine.set_picture_target(*pictures, String((renderer->site + "/templates/harbour.xsl").c_str()));
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
  EXPECT_EQ(renderer.events, (std::vector<std::string>{"2:-1", "3:0", "3:1", "1:-1", "3:0", "3:1",
                                                       "3:1", "0:-1"}));
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

}  // namespace
}  // namespace wayfetch::testing
