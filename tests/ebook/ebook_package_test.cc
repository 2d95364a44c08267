#include "ebook/ebook_package.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/date_format.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::TempDir;
using testing::write_bytes;

TEST(EbookPackageTest, FromPage) {
  platform::FakeClock clock;  // the date cannot change half-way
  platform::ScopedClock use(clock);
  const EbookPackage package = EbookPackage::from_page("/home/u/my.page.html", "");
  ASSERT_EQ(package.manifest().size(), 1u);
  EXPECT_EQ(package.manifest()[0].id, "ContentFile1");
  EXPECT_EQ(package.manifest()[0].href, "/home/u/my.page.html");
  EXPECT_EQ(package.manifest()[0].media_type, "text/html");
  ASSERT_EQ(package.spine().size(), 1u);
  EXPECT_EQ(package.spine()[0].item, 0);
  EXPECT_EQ(package.package_path(), "/home/u/my.page.html.opf");
  EXPECT_EQ(package.package_folder(), "/home/u");

  // Date first, then the title: the file name up to its first dot.
  ASSERT_EQ(package.metadata().size(), 2u);
  EXPECT_EQ(package.metadata()[0].name, "dc:Date");
  std::string today;
  platform::format_date("", platform::today(), today);
  EXPECT_EQ(package.metadata()[0].value, today);
  EXPECT_EQ(package.metadata()[1].name, "dc:Title");
  ASSERT_NE(package.metadata_value("DC:TITLE"), nullptr);
  EXPECT_EQ(*package.metadata_value("DC:TITLE"), "my");

  ASSERT_EQ(package.guide().size(), 1u);
  EXPECT_EQ(package.guide()[0].type, "toc");
  EXPECT_EQ(package.guide()[0].title, "Inhaltsverzeichnis");
  EXPECT_EQ(package.guide()[0].href, "/home/u/my.page.html#toc");

  EXPECT_EQ(*EbookPackage::from_page("/x/a.html", "Daily News").metadata_value("dc:Title"),
            "Daily News");
  EXPECT_EQ(EbookPackage::from_page("page.html", "")
                .content_path(EbookPackage::from_page("page.html", "").manifest()[0]),
            "page.html");
}

TEST(EbookPackageTest, TablesHaveFixedCapacities) {
  EbookPackage package;
  for (int i = 0; i < EbookPackage::max_metadata; ++i) {
    ASSERT_TRUE(package.add_metadata("dc:M" + std::to_string(i), "v"));
  }
  EXPECT_FALSE(package.add_metadata("dc:Extra", "v"));
  for (int i = 0; i < EbookPackage::max_manifest; ++i) {
    ASSERT_TRUE(package.add_manifest_item("id" + std::to_string(i), "a.html", "text/html"));
  }
  EXPECT_FALSE(package.add_manifest_item("more", "a.html", "text/html"));
  for (int i = 0; i < EbookPackage::max_guide; ++i)
    ASSERT_TRUE(package.add_guide_reference("t", "", ""));
  EXPECT_FALSE(package.add_guide_reference("t", "", ""));

  // A spine id seen before is ignored, whatever its case.
  EXPECT_TRUE(package.add_spine_entry("id7"));
  EXPECT_TRUE(package.add_spine_entry("ID7"));
  EXPECT_EQ(package.spine().size(), 1u);
  for (int i = 1; i < EbookPackage::max_spine; ++i)
    ASSERT_TRUE(package.add_spine_entry("spine" + std::to_string(i)));
  EXPECT_FALSE(package.add_spine_entry("one-more"));
  package.link_spine();
  EXPECT_EQ(package.spine()[0].item, 7);
  EXPECT_EQ(package.spine()[1].item, -1);

  // Values are cut to their fields.
  EbookPackage cut;
  cut.add_metadata(std::string(300, 'n'), std::string(2000, 'v'));
  EXPECT_EQ(cut.metadata()[0].name.size(), EbookPackage::max_name);
  EXPECT_EQ(cut.metadata()[0].value.size(), EbookPackage::max_value);
}

TEST(EbookPackageTest, DetectsBig5AndGbDeclarations) {
  struct Case {
    std::string head;
    int32_t charset;
  };
  const Case cases[] = {
      {"<meta http-equiv=Content-Type content=\"text/html; charset=big5\">", 200},
      {"<META CONTENT=\"text/html; CHARSET=GB2312\">", 201},
      {"<meta charset=\"gbk\">", 201},
      {"<meta charset=\"utf-8\"><meta content=\"text/html; charset=big5\">", 200},
      {"<meta content=\"charset=big5\"><meta content=\"charset=gb2312\">", 200},
      // A description is no declaration, and the body ends the search.
      {"<meta name=description content=\"rugby and big5 news\">", 0},
      {"<!-- <meta charset=big5> -->", 0},
      {"</head><body><meta charset=big5>", 0},
      {"<meta content=\"text/html; charset=utf-8\">", 0},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head);
    write_bytes(dir.file("page.html"), "<html><head>" + c.head + "</head><body>x</body></html>");
    EXPECT_EQ(EbookPackage::from_page(dir.file("page.html"), "").detect_charset(), c.charset);
  }
  EXPECT_EQ(EbookPackage::from_page(dir.file("missing.html"), "").detect_charset(), 0);
}

}  // namespace
}  // namespace wayfetch
