// The Extractor against the fixture news site: what one eNews writes, logs
// and reports, one table row per case; then parallel eNews, Stop, and the
// bounds a hostile site meets.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/extraction/extractor_fixture.h"
#include "tests/support/scoped_env.h"

namespace wayfetch::testing {
namespace {

struct SiteCase {
  const char* name;
  const char* body;  // the template after its declaration; "SITE" is the server
  std::vector<bool> items;
  // Data files by name after "news", content after the declaration; and
  // pictures saved in the eNews folder, as "picture".
  std::map<std::string, std::string> files;
  const char* log;     // compact records (ExtractorTest::site_records)
  const char* events;  // "event:section" in order
};

void PrintTo(const SiteCase& c, std::ostream* out) {
  *out << c.name;
}

class SiteCaseTest : public ExtractorTest, public ::testing::WithParamInterface<SiteCase> {};

TEST_P(SiteCaseTest, WritesLogsAndReports) {
  const SiteCase& c = GetParam();
  extract_one(c.body, c.items);
  std::map<std::string, std::string> files;
  for (const auto& [name, bytes] : data_files()) files[name] = replace_all(bytes, site_, "SITE");
  for (const char* picture : {"ferry.jpg", "front.jpg", "tide.jpg"}) {
    if (std::filesystem::exists(dir_.file(picture))) files[picture] = "picture";
  }
  std::map<std::string, std::string> expected;
  for (const auto& [name, content] : c.files) {
    expected[name] = name.ends_with(".jpg") ? content : declaration + content;
  }
  EXPECT_EQ(files, expected);
  EXPECT_EQ(site_log(), site_records(c.log));
  EXPECT_EQ(joined_events(), c.events);
}

// clang-format off
#define FOLLOW(path) "<f action=\"follow\"><url>SITE" path "</url></f>"
#define TEASER "<t action=\"iterate extract\"><begin><p class=\"teaser\"></begin><end></p></end></t>"
#define TEASERS "<t content=\"raw-text\" >Ferries leave <b>twenty minutes</b> early from Monday.</t>" \
  "<t content=\"raw-text\" >The lower car park floods on <b>Thursday</b> evening.</t>"
#define STORY "<s action=\"extract\" html-filter=\"no-tags\"><begin><p class=\"story\"></begin><end></p></end></s>"

const SiteCase site_cases[] = {
    {"FollowWithoutUrlWritesTheModel",
     "<e><n>model</n><f action=\"follow\"/></e>",
     {},
     {{".data.xml", "<e ><n >model</n></e>"}},
     "E61:1 W27:-",
     "2:-1 4:0 1:-1 0:-1"},
    {"PageNotUsed",
     "<e>" FOLLOW("/harbour/index.html") "<m>model</m></e>",
     {},
     {{".data.xml", "<e ><m >model</m></e>"}},
     "W26:1 W27:-",
     "2:-1 3:0 4:0 1:-1 0:-1"},
    {"MissingPageAndTheRestGoesOn",
     "<e><a action=\"section\">" FOLLOW("/harbour/yesterday.html") "</a>"
     "<b action=\"section\">" FOLLOW("/harbour/tide.html") STORY "</b></e>",
     {true, true},
     {{".data.xml", "<e ></e>"},
      {".data0.xml", "<e ><a ></a></e>"},
      {".data1.xml", "<e ><b ><s content=\"raw-text\" >The harbour master expects the highest "
                     "tides of the year this week. Drivers should not leave cars in the lower "
                     "car park after six.</s></b></e>"}},
     "W35:107@/harbour/yesterday.html W27:1",
     "2:-1 3:2 4:1 1:-1 0:-1"},
    {"ArticlesOfTheIndexRepeatedLinkOnce",
     "<e>" FOLLOW("/harbour/index.html") "<l action=\"iterate\"><a action=\"extract-url follow\">"
     "<filter>.html</filter></a>" STORY "</l></e>",
     {},
     {{".data.xml", "<e ><l ><s content=\"raw-text\" >While the north quay is repaired, every "
                    "crossing to the island leaves twenty minutes before its usual time. The last "
                    "boat of the day is unchanged.</s></l><l ><s content=\"raw-text\" >The harbour "
                    "master expects the highest tides of the year this week. Drivers should not "
                    "leave cars in the lower car park after six.</s></l><l ><s content=\"raw-text\" "
                    ">The north quay reopens in May.</s></l><l ></l></e>"}},
     "W35:107@/harbour/yesterday.html",
     "2:-1 3:0 3:0 3:0 3:0 1:-1 0:-1"},
    {"AnchorFoundAndNotFound",
     "<e><a action=\"section\">" FOLLOW("/harbour/ferry.html#quay") STORY
     FOLLOW("/harbour/ferry.html#nowhere") STORY "</a></e>",
     {true},
     {{".data.xml", "<e ></e>"},
      {".data0.xml", "<e ><a ><s content=\"raw-text\" >The north quay reopens in May.</s>"
                     "<s content=\"raw-text\" >While the north quay is repaired, every crossing "
                     "to the island leaves twenty minutes before its usual time. The last boat "
                     "of the day is unchanged.</s></a></e>"}},
     "W32:1",
     "2:-1 3:1 3:1 1:-1 0:-1"},
    {"IncludesInTheMainDocumentAndASection",
     "<e>" FOLLOW("/harbour/index.html") TEASER "<i action=\"include\"><url>/feeds/broken.xml</url></i>"
     "<s action=\"section\"><feed action=\"include\"><url>/feeds/local.xml</url></feed></s></e>",
     {true},
     {{".data.xml", "<e >" TEASERS "<i incurl=\"SITE/feeds/broken.xml\" ></i></e>"},
      {".data0.xml", "<e ><s ><feed incurl=\"SITE/feeds/local.xml\" incsec=\"00\" >\n"
                     "<channel >\n<item >\n<title >Ferry timetable changes</title>\n"
                     "<picture >pics/ferry.jpg</picture>\n<text content=\"raw-text\" >While the "
                     "north quay is repaired, every crossing to the island leaves twenty minutes "
                     "before its usual time. The last boat of the day is unchanged.</text>\n"
                     "</item>\n<item >\n<title >Spring tides expected</title>\n"
                     "<picture >pics/tide.jpg</picture>\n<text content=\"raw-text\" >The "
                     "<i>harbour master</i> expects the highest tides of the year this week. "
                     "Drivers should not leave cars in the lower car park after six.</text>\n"
                     "</item>\n</channel>\n</feed></s></e>"}},
     "E84",
     "2:-1 3:0 3:0 3:1 1:-1 0:-1"},
    {"PicturesWithAndWithoutSaveAs",
     "<e>" FOLLOW("/harbour/ferry.html") "<g action=\"get\"><url>pics/ferry.jpg</url></g>"
     "<h action=\"get\" save-as=\"front.jpg\"><url>pics/tide.jpg</url></h></e>",
     {},
     {{".data.xml", "<e ><g >ferry.jpg</g><h >front.jpg</h></e>"},
      {"ferry.jpg", "picture"},
      {"front.jpg", "picture"}},
     "W26:1",
     "2:-1 3:0 3:0 3:0 1:-1 0:-1"},
    {"SecondSectionNotSelected",
     "<e><s action=\"section\">" FOLLOW("/harbour/tide.html") STORY "</s>"
     "<t action=\"section\">" FOLLOW("/harbour/ferry.html") STORY "</t></e>",
     {true, false},
     {{".data.xml", "<e ></e>"},
      {".data0.xml", "<e ><s ><s content=\"raw-text\" >The harbour master expects the highest "
                     "tides of the year this week. Drivers should not leave cars in the lower "
                     "car park after six.</s></s></e>"}},
     "",
     "2:-1 3:1 1:-1 0:-1"},
    {"ShiftJisPageUnderALatinTemplate",
     "<e>" FOLLOW("/pages/sjis.html") "<j action=\"extract\"><begin><p></begin><end></p></end></j></e>",
     {},
     {{".data.xml", "<e ><j content=\"raw-text\" >?" "?</j></e>"}},
     "W36@/pages/sjis.html",
     "2:-1 3:0 1:-1 0:-1"},
    {"UnknownCharsetTakesTheTemplates",
     "<e>" FOLLOW("/pages/unknown-charset.html") "<j action=\"extract\"><begin><p></begin><end></p></end></j></e>",
     {},
     {{".data.xml", "<e ><j content=\"raw-text\" >Greetings</j></e>"}},
     "W37@/pages/unknown-charset.html",
     "2:-1 3:0 1:-1 0:-1"},
    {"BaseAddressOfAPage",
     "<e>" FOLLOW("/pages/base.html") "<w action=\"extract-url write\"/></e>",
     {},
     {{".data.xml", "<e ><w >SITE/harbour/tide.html</w></e>"}},
     "",
     "2:-1 3:0 1:-1 0:-1"},
    {"WebPageCannotNameLocalFiles",
     "<e>" FOLLOW("/pages/local-base.html") "<w action=\"extract-url write\"/>"
     "<g action=\"extract-url get\" save-as=\"host.txt\"><tag>img</tag><attr>src</attr></g></e>",
     {},
     {{".data.xml", "<e ><w >SITE/pages/passwd</w></e>"}},
     "E68:1 E68:1",
     "2:-1 3:0 1:-1 0:-1"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Site, SiteCaseTest, ::testing::ValuesIn(site_cases),
                         [](const ::testing::TestParamInfo<SiteCase>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace wayfetch::testing
