// Templates run over one page: the data files byte for byte, the whole log
// and the downloads asked for.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/extraction/extraction_fixture.h"

namespace wayfetch::testing {
namespace {

struct Case {
  const char* name;
  const char* body;  // the template after its declaration
  const char* page;  // served to every follow ("": none)
  std::map<std::string, std::string> files;  // ".data.xml" etc. -> content after the declaration
  const char* log;                           // compact records (ExtractionTest::records)
  std::vector<std::string> requests;
  std::vector<bool> items = {true, true, true};
  SinkAnswer answer = SinkAnswer::accepted;
  int32_t passes = 10000;
  int32_t page_code_page = 1252;
};

constexpr const char* news_page =
    "<html><head><title>T</title></head><body>\n"
    "<p>Ferries <b>early</b> today, <b>late</b> tomorrow.</p>\n"
    "<a href=\"/a/1.html\">one</a><a href='/a/1.html'>again</a><a href=\"/a/2.html\">two</a>\n"
    "<div class=ad>buy</div><img src=\"/pics/ferry.jpg\"><a name=\"end\">x</a> <b>last</b>\n"
    "</body></html>";
constexpr const char* six_bold = "<b>1</b><b>2</b><b>3</b><b>4</b><b>5</b><b>6</b>";

// The template's first element follows the page; what comes after runs on it.
#define FOLLOW "<f action=\"follow\"><url>http://news.example/index.html</url></f>"
#define BOLD "<begin><b></begin><end></b></end>"
#define RAW(text) "content=\"raw-text\" >" text

const Case cases[] = {
    // ---- the language: lists, names, parameters, pairing ----
    {"ModelOnlyIsCopiedWithoutActionAttributes",
     "<enews x=\"1\" var=\"v\" from=\"1\" max=\"2\">\n<name>Gazette</name><!--c--></enews>", "",
     {{".data.xml", "<enews x=\"1\" >\n<name >Gazette</name><!--c--></enews>"}}, "", {}},
    {"UnknownNameIsReportedTheRestRuns",
     "<e>" FOLLOW "<t action=\"goto bogus extract\">" BOLD "</t></e>", news_page,
     {{".data.xml", "<e ><t " RAW("late") "</t></e>"}}, "W31:1",
     {"follow http://news.example/index.html"}},
    {"EmptyOrUnknownListLeavesTheElementOut",
     "<e><a action=\"\"><m/></a><b action=\"bogus\"><m/></b><g action=\"ignore\"><m/></g><c/></e>",
     "",
     {{".data.xml", "<e ><c ></c></e>"}}, "W8:1 W31:1", {}},
    {"ExtractBeforeSectionIsRefused", "<e>" FOLLOW "<s action=\"extract section\">" BOLD "</s></e>",
     news_page, {{".data.xml", "<e ></e>"}, {".data0.xml", "<e ><s ></s></e>"}}, "W29:1 W26:1",
     {"follow http://news.example/index.html"}},
    {"RefusedEraseStillMovesThePosition",
     "<e>" FOLLOW "<s action=\"erase section\"><begin>early</begin><end></b></end></s>"
     "<t action=\"extract\">" BOLD "</t></e>",
     news_page, {{".data.xml", "<e ><t " RAW("late") "</t></e>"}, {".data0.xml", "<e ><s ></s></e>"}},
     "W29:1", {"follow http://news.example/index.html"}},
    {"GotoAfterSectionAndWriteInSectionAreRefused",
     "<e><s action=\"section goto write\">" BOLD "</s></e>", "",
     {{".data.xml", "<e ></e>"}, {".data0.xml", "<e ><s ></s></e>"}}, "W29:1 W29:1", {}},
    {"FollowEndsTheListWithOneWarning",
     "<e><f action=\"follow extract extract\"><url>http://news.example/</url>" BOLD "</f></e>", "",
     {{".data.xml", "<e ></e>"}}, "W30:1", {"follow http://news.example/"}},
    {"WriteAloneDoesNothing", "<e><w action=\"write\"/></e>", "", {{".data.xml", "<e ></e>"}}, "",
     {}},
    {"UrlElementFollowsItsOwnFirstWord",
     "<e><url action=\"follow\"> http://news.example/a.html#top more</url></e>", "",
     {{".data.xml", "<e ></e>"}}, "", {"follow http://news.example/a.html #top"}},
    {"CaseSensitivityOfSearches",
     "<e>" FOLLOW "<n action=\"extract\" case-sens=\"NO\"><begin><B></begin><end></B></end></n>"
     "<a action=\"extract\"><begin><B></begin><end></B></end></a>"
     "<y action=\"extract\" case-sens=\"yes\"><begin><B></begin><end></B></end></y></e>",
     news_page, {{".data.xml", "<e ><n " RAW("early") "</n><a " RAW("late") "</a></e>"}}, "",
     {"follow http://news.example/index.html"}},
    {"MissingParametersAndNoPage",
     "<e><t action=\"extract\"/><g action=\"goto\"/><f action=\"follow\"/><m/></e>", "",
     {{".data.xml", "<e ></e>"}}, "E62:1 E63:1 E64:1 E62:1 E61:1", {}},
    {"BadIterationParameters", "<e><l action=\"iterate\" from=\" x\" max=\" \"><m/></l></e>", "",
     {{".data.xml", "<e ></e>"}}, "E66:1 E67:1 E65:1", {}},
    {"FailedExtractUrlStopsWhatNeedsItsAddress",
     "<e>" FOLLOW "<u action=\"extract-url follow\"><tag>nav</tag></u><m/></e>", news_page,
     {{".data.xml", "<e ></e>"}}, "W26:1", {"follow http://news.example/index.html"}},

    // ---- page actions ----
    {"FollowWithoutAddressKeepsTheModelBeforeIt",
     "<e><n>keep</n><f action=\"follow\"/><m>gone</m></e>", "",
     {{".data.xml", "<e ><n >keep</n></e>"}}, "E61:1", {}},
    {"UnusedPageIsReported", "<e>" FOLLOW "<m>model</m></e>", news_page,
     {{".data.xml", "<e ><m >model</m></e>"}}, "W26:1", {"follow http://news.example/index.html"}},
    {"AnchorFoundIgnoringCase",
     "<e><url action=\"follow\">http://news.example/p.html#END</url><t action=\"extract\">" BOLD
     "</t></e>",
     news_page, {{".data.xml", "<e ><t " RAW("last") "</t></e>"}}, "",
     {"follow http://news.example/p.html #END"}},
    {"AnchorMissingStartsAtTheTop",
     "<e><url action=\"follow\">http://news.example/p.html#nowhere</url><t action=\"extract\">" BOLD
     "</t></e>",
     news_page, {{".data.xml", "<e ><t " RAW("early") "</t></e>"}}, "W32:1",
     {"follow http://news.example/p.html #nowhere"}},
    {"BoldWordTwice", "<e>" FOLLOW "<t action=\"extract\">" BOLD "</t><u action=\"extract\">" BOLD
     "</u></e>",
     "a <b>one</b> c", {{".data.xml", "<e ><t " RAW("one") "</t></e>"}}, "",
     {"follow http://news.example/index.html"}},
    {"EraseThenExtract",
     "<e>" FOLLOW "<x action=\"erase\">" BOLD "</x><t action=\"extract\">" BOLD "</t></e>",
     "a <b>one</b> c <b>two</b>", {{".data.xml", "<e ><t " RAW("two") "</t></e>"}}, "",
     {"follow http://news.example/index.html"}},
    {"EraseShrinksTheScope",
     "<e>" FOLLOW "<s action=\"goto-scope\"><begin><p></begin><end></p></end></s>"
     "<x action=\"erase\">" BOLD "</x><t action=\"extract\"><begin>z</begin><end></p></end></t>"
     "<u action=\"extract\"><begin><p></begin><end>!</end></u></e>",
     "<p><b>1234567890</b>zz</p>!", {{".data.xml", "<e ><t " RAW("z") "</t></e>"}}, "",
     {"follow http://news.example/index.html"}},
    {"GotoStopsAtTheScopeEnd",
     "<e>" FOLLOW "<s action=\"goto-scope\"><begin><p></begin><end></p></end></s>"
     "<h action=\"goto\"><begin><a</begin></h>"
     "<t action=\"extract\">" BOLD "</t></e>",
     news_page, {{".data.xml", "<e ><t " RAW("early") "</t></e>"}}, "",
     {"follow http://news.example/index.html"}},
    {"FirstTextKeepsTheSpacesAroundTheWord",
     "<e>" FOLLOW "<t action=\"extract\" html-filter=\"first-text\"><begin><div></begin>"
     "<end></div></end></t></e>",
     "<div>  <p> word  <b>x</b></div>", {{".data.xml", "<e ><t " RAW(" word  ") "</t></e>"}}, "",
     {"follow http://news.example/index.html"}},
    {"NoTags",
     "<e>" FOLLOW "<t action=\"extract\" html-filter=\"no-tags bogus\"><begin><p></begin>"
     "<end></p></end></t><u action=\"extract\" html-filter=\"no-tags\"><begin>x</begin>"
     "<end>y</end></u></e>",
     "<p>Ferries <b>early</b> today</p>x<br>y",
     {{".data.xml", "<e ><t " RAW("Ferries early today") "</t><u " RAW("") "</u></e>"}}, "",
     {"follow http://news.example/index.html"}},
    {"GetPicsRewritesSourcesToSafeNames",
     "<e>" FOLLOW "<t action=\"extract\" html-filter=\"get-pics\"><begin><div></begin>"
     "<end></div></end></t><u action=\"extract\">" BOLD "</u></e>",
     "<div><img src=\"/p/a.gif\"><img src='..'><img alt=x src=\"/p/.h.gif\"><img "
     "src=\"NEWS.prc\"><img src=\" \"></div><b>after</b>",
     {{".data.xml", "<e ><t " RAW("<img src=\"a.gif\"><img src=''><img alt=x src=\"h.gif\">"
                                  "<img src=\"_NEWS.prc\"><img src=\" \">") "</t><u "
                                  RAW("after") "</u></e>"}},
     "",
     {"follow http://news.example/index.html", "get http://news.example/p/a.gif as 'a.gif'",
      "get http://news.example/ as ''", "get http://news.example/p/.h.gif as 'h.gif'",
      "get http://news.example/NEWS.prc as '_NEWS.prc'"}},
    {"ExtractUrlFindsPictures",
     "<e>" FOLLOW "<p action=\"extract-url write\"><tag> img x</tag><attr>SRC</attr></p></e>",
     news_page, {{".data.xml", "<e ><p >http://news.example/pics/ferry.jpg</p></e>"}}, "",
     {"follow http://news.example/index.html"}},
    {"ExtractUrlFilter",
     "<e>" FOLLOW "<p action=\"extract-url write\" case-sens=\"yes\"><filter>/A/</filter></p>"
     "<q action=\"extract-url write\"><filter>/A/2</filter></q></e>",
     news_page, {{".data.xml", "<e ><q >http://news.example/a/2.html</q></e>"}}, "",
     {"follow http://news.example/index.html"}},
    {"ExtractUrlUnquotesAndSkipsBlankAddresses",
     "<e>" FOLLOW "<p action=\"extract-url write\"><tag> </tag></p><q action=\"extract-url write\"/>"
     "</e>",
     "<a href=\"'/q.html'\">x</a><a href=\" \">y</a><a href=/r.html>z</a> ",
     {{".data.xml", "<e ><p >http://news.example/q.html</p><q >http://news.example/r.html</q></e>"}},
     "", {"follow http://news.example/index.html"}},
    {"UnresolvableAddresses",
     "<e><g action=\"get\"><url>pic.gif</url></g><f action=\"follow\"><url>a b</url></f></e>", "",
     {{".data.xml", "<e ></e>"}}, "E68:1 E68:1", {}},
    {"PageTextIsWrittenInTheTemplateEncoding",
     "<e>" FOLLOW "<t action=\"extract\">" BOLD "</t></e>",
     "<b>\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD</b>", {{".data.xml", "<e ><t " RAW("\xE9\x80?") "</t></e>"}},
     "", {"follow http://news.example/index.html"}, {true}, SinkAnswer::accepted, 10000, 65001},

    // ---- downloads ----
    {"GetNames",
     "<e>" FOLLOW "<g action=\"get\"><url>http://news.example/p/pic.gif?x=1</url></g>"
     "<h action=\"get\" save-as=\"../../etc/x.gif\"><url>/q.gif</url></h>"
     "<i action=\"extract-url get\"/></e>",
     news_page, {{".data.xml", "<e ><g >pic.gif?x=1</g><h >x.gif</h><i ></i></e>"}}, "",
     {"follow http://news.example/index.html", "get http://news.example/p/pic.gif?x=1 as 'pic.gif?x=1'",
      "get http://news.example/q.gif as 'x.gif'", "get http://news.example/a/1.html as ''"}},
    {"NoConnectionFailsDownloads",
     "<e><i action=\"include\"><url>http://news.example/x.xml</url></i>"
     "<g action=\"get\"><url>http://news.example/p.gif</url></g><h>kept</h></e>", "",
     {{".data.xml", "<e ><h >kept</h></e>"}}, "E77 E58:1 E77 E58:1", {}, {true},
     SinkAnswer::no_connection},
    {"RefusedIncludeIsTakenOutAndEndsTheList",
     "<e><i action=\"include extract\"><url>http://news.example/x.xml</url></i></e>", "",
     {{".data.xml", "<e ></e>"}}, "W30:1", {}, {true}, SinkAnswer::refused},
    {"DownloadsInSectionsCountThere",
     "<e><s action=\"section\"><i action=\"include\"><url>http://news.example/x.xml</url></i></s>"
     "<t action=\"section\"><i action=\"include\"><url>http://news.example/y.xml</url></i></t></e>",
     "", {{".data.xml", "<e ></e>"}, {".data1.xml", "<e ><t ><i ></i></t></e>"}}, "",
     {"include http://news.example/y.xml in 2"},
     {false, true}},

    // ---- iterations and sections ----
    {"MaxZeroNeverRuns",
     "<e>" FOLLOW "<l action=\"iterate\" max=\"0\"><t action=\"extract\">" BOLD "</t></l></e>",
     news_page, {{".data.xml", "<e ></e>"}}, "W26:1", {"follow http://news.example/index.html"}},
    {"IterationFailingInItsFirstPass",
     "<e>" FOLLOW "<l action=\"iterate\"><t action=\"extract\"><begin><i></begin><end></i></end>"
     "</t></l></e>",
     news_page, {{".data.xml", "<e ></e>"}}, "W25:1 W26:1",
     {"follow http://news.example/index.html"}},
    {"FromTwoMaxThree",
     "<e>" FOLLOW "<l action=\"iterate\" from=\"2\" max=\"3\"><t action=\"extract\">" BOLD
     "</t></l></e>",
     six_bold,
     {{".data.xml", "<e ><l ><t " RAW("3") "</t></l><l ><t " RAW("4") "</t></l><l ><t "
                    RAW("5") "</t></l></e>"}},
     "", {"follow http://news.example/index.html"}},
    {"UniqueSkipsTheRepeatedLink",
     "<e>" FOLLOW "<l action=\"iterate\"><u action=\"extract-url write\"/></l></e>", news_page,
     {{".data.xml", "<e ><l ><u >http://news.example/a/1.html</u></l>"
                    "<l ><u >http://news.example/a/2.html</u></l></e>"}},
     "", {"follow http://news.example/index.html"}},
    {"StandardReturnsTheRepeatedLink",
     "<e>" FOLLOW "<l action=\"iterate\"><u action=\"extract-url write\" mode=\"Standard\"/></l></e>",
     news_page,
     {{".data.xml", "<e ><l ><u >http://news.example/a/1.html</u></l>"
                    "<l ><u >http://news.example/a/1.html</u></l>"
                    "<l ><u >http://news.example/a/2.html</u></l></e>"}},
     "", {"follow http://news.example/index.html"}},
    {"IterationLastInAFollowedScopeRunsEveryPass",
     "<e><o action=\"iterate\" max=\"1\"><f action=\"follow\"><url>http://news.example/</url></f>"
     "<l action=\"iterate\" var=\"u\"><u action=\"extract-url write\"/></l></o></e>",
     news_page,
     {{".data.xml", "<e ><o ><l ><u >http://news.example/a/1.html</u></l>"
                    "<l ><u >http://news.example/a/2.html</u></l></o></e>"}},
     "", {"follow http://news.example/"}},
    {"PassLimitKeepsEveryPass",
     "<e>" FOLLOW "<l action=\"iterate\" from=\"1\" max=\"99999999999\"><t action=\"goto-top "
     "extract\">" BOLD "</t></l></e>",
     news_page,
     {{".data.xml", "<e ><l ><t " RAW("early") "</t></l><l ><t " RAW("early") "</t></l></e>"}},
     "W33:1", {"follow http://news.example/index.html"}, {true}, SinkAnswer::accepted, 3},
    {"TwoSectionsAndANestedOne",
     "<e><s action=\"section\"><x/></s><s action=\"section\"><n action=\"section\"/></s></e>", "",
     {{".data.xml", "<e ></e>"}, {".data0.xml", "<e ><s ><x ></x></s></e>"},
      {".data1.xml", "<e ><s ><n ></n></s></e>"}},
     "E69:1", {}},
    {"UnselectedSectionIsWalkedWithoutOutput",
     "<e>" FOLLOW "<s action=\"section\"><t action=\"extract\">" BOLD "</t></s>"
     "<s action=\"section\"><l action=\"iterate\" from=\"1\" max=\"2\"><t action=\"extract\">" BOLD
     "</t></l></s><t action=\"extract\">" BOLD "</t></e>",
     six_bold,
     {{".data.xml", "<e ><t " RAW("5") "</t></e>"}, {".data0.xml", "<e ><s ><t " RAW("1") "</t></s></e>"}},
     "", {"follow http://news.example/index.html"}, {true, false}},
    {"SkipModePositionsAndStillFetchesPictures",
     "<e>" FOLLOW "<s action=\"section\"><x action=\"erase\">" BOLD "</x><p action=\"extract\" "
     "html-filter=\"get-pics\"><begin><div></begin><end></div></end></p></s>"
     "<t action=\"extract\">" BOLD "</t><u action=\"goto-top extract\">" BOLD "</u></e>",
     "<b>1</b><div><img src=\"/a.gif\"></div><b>2</b>",
     {{".data.xml", "<e ><t " RAW("2") "</t><u " RAW("1") "</u></e>"}}, "",
     {"follow http://news.example/index.html", "get http://news.example/a.gif as 'a.gif' in 1"},
     {false}},
};

// Cases print as their names (in test lists and failures).
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class WalkTest : public ExtractionTest, public ::testing::WithParamInterface<Case> {};

TEST_P(WalkTest, Runs) {
  const Case& c = GetParam();
  downloads_.answer = c.answer;
  ExtractionEngine::Limits limits;
  limits.passes = c.passes;
  engine_.set_limits(limits);
  run(c.body, c.page, c.items, c.page_code_page);
  std::map<std::string, std::string> expected;
  for (const auto& [name, content] : c.files) expected[name] = declaration + content;
  EXPECT_EQ(data_files(), expected);
  EXPECT_EQ(log_text(), records(c.log));
  EXPECT_EQ(requests(), c.requests);
}

INSTANTIATE_TEST_SUITE_P(Templates, WalkTest, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<Case>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace wayfetch::testing
