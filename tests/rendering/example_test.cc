// The worked example in examples/enews-rendering renders to the page stored
// beside it (with the date masked).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "rendering/rendering_engine.h"
#include "tests/support/temp_dir.h"

#ifndef WAYFETCH_EXAMPLES_DIR
#error "WAYFETCH_EXAMPLES_DIR must name the project's examples folder"
#endif

namespace wayfetch {
namespace {

// The page with the text of its date span replaced by "DATE".
std::string masked(std::string page) {
  const std::string open = "<span class=\"date\">";
  std::size_t start = page.find(open);
  if (start == std::string::npos) return page;
  start += open.size();
  std::size_t end = page.find("</span>", start);
  if (end == std::string::npos) return page;
  return page.replace(start, end - start, "DATE");
}

TEST(ExampleTest, HarbourGazette) {
  std::filesystem::path example = std::filesystem::path(WAYFETCH_EXAMPLES_DIR) / "enews-rendering";
  testing::TempDir dir;
  for (const char* name : {"harbour.data.xml", "harbour.data0.xml", "harbour.xsl"}) {
    std::filesystem::copy_file(example / name, std::filesystem::path(dir.path()) / name);
  }
  RenderingEngine engine;
  PictureList pictures;
  engine.set_picture_target(pictures, String("http://news.harbour.example/templates/harbour.xsl"));
  engine.set_radix(String(dir.file("harbour").c_str()));
  engine.add_datasource(String("data"));
  engine.add_datasource(String("data0"));
  ASSERT_TRUE(engine.render()) << "error " << engine.error;
  EXPECT_EQ(engine.warning, 0);
  EXPECT_EQ(engine.template_parser().warning, 0);

  std::string page = testing::read_bytes(dir.file("harbour.html"));
  EXPECT_NE(masked(page), page) << "the date is written";
  EXPECT_EQ(masked(page), testing::read_bytes((example / "harbour.html").string()));

  ASSERT_EQ(pictures.size(), 3);
  EXPECT_EQ(pictures.get(0).address.to_utf8(),
            "http://news.harbour.example/templates/art/masthead.gif");
  EXPECT_EQ(pictures.get(0).section, -1);
  EXPECT_EQ(pictures.get(1).address.to_utf8(), "http://news.harbour.example/feeds/pics/ferry.jpg");
  EXPECT_EQ(pictures.get(1).section, 0);
  EXPECT_EQ(pictures.get(2).address.to_utf8(), "http://news.harbour.example/feeds/pics/tide.jpg");
  EXPECT_EQ(pictures.get(2).section, 0);
}

}  // namespace
}  // namespace wayfetch
