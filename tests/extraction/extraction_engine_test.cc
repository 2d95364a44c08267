// What the walk guarantees beyond single templates: downloads of rolled back
// passes, budgets, kept data files, safe names and the page buffer.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <random>
#include <string>
#include <vector>

#include "extraction/page_text.h"
#include "extraction/safe_name.h"
#include "tests/extraction/extraction_fixture.h"

namespace wayfetch::testing {
namespace {

using extraction::Match;
using extraction::PageText;

#define FOLLOW "<f action=\"follow\"><url>http://news.example/index.html</url></f>"

TEST_F(ExtractionTest, RolledBackPassDetachesItsDownloadsAndSections) {
  // Pass 1 includes, begins section 0 and finds its bold word; pass 2 does
  // the same, then finds none and is rolled back.
  write_bytes(radix() + ".enews",
              std::string(declaration) +
                  "<e>" FOLLOW "<l action=\"iterate\" var=\"g\">"
                  "<i action=\"include\"><url>/x.xml</url></i>"
                  "<s action=\"section\"><j action=\"include\"><url>/y.xml</url></j></s>"
                  "<g action=\"goto\"><begin><b></begin></g></l></e>");
  engine_.set_selection({true, true});
  ASSERT_TRUE(engine_.load_template(String(radix().c_str())));
  engine_.run_main_walk();
  ASSERT_EQ(downloads_.requests.size(), 1u);
  engine_.continue_follow(downloads_.requests[0], String("a <b>1</b> c"),
                          downloads_.requests[0].address);
  engine_.task_done(0);
  ASSERT_EQ(requests(), (std::vector<std::string>{
                            "follow http://news.example/index.html",
                            "include http://news.example/x.xml", "include http://news.example/y.xml in 1",
                            "include http://news.example/x.xml", "include http://news.example/y.xml in 2"}));
  EXPECT_TRUE(engine_.documents().record(0).reached);
  EXPECT_FALSE(engine_.documents().record(0).has_content);
  EXPECT_TRUE(engine_.documents().record(1).built);
  EXPECT_TRUE(engine_.task_live(1));
  EXPECT_TRUE(engine_.task_live(2));
  EXPECT_FALSE(engine_.task_live(3));
  EXPECT_FALSE(engine_.task_live(4));
  EXPECT_EQ(engine_.documents().section_count(), 1);

  // The main document waits for every download counted in it, the detached
  // one included; the dropped section is never written.
  for (int32_t ticket : {1, 2, 4}) engine_.task_done(ticket);
  engine_.write_ready_documents();
  EXPECT_EQ(data_files().count(".data.xml"), 0u);
  engine_.task_done(3);
  engine_.task_done(3);
  engine_.write_ready_documents();
  EXPECT_TRUE(engine_.all_written());
  EXPECT_EQ(data_files(),
            (std::map<std::string, std::string>{
                {".data.xml", std::string(declaration) + "<e ><l ><i ></i></l></e>"},
                {".data0.xml", std::string(declaration) + "<e ><l ><s ><j ></j></s></l></e>"}}));
  EXPECT_EQ(log_text(), records("W26:1"));
}

TEST_F(ExtractionTest, TemplatesThatDoNotLoadDoNotRun) {
  EXPECT_FALSE(engine_.load_template(String(radix().c_str())));
  write_bytes(radix() + ".enews", std::string(declaration) + "<e>\n</x><m/></e>");
  EXPECT_FALSE(engine_.load_template(String(radix().c_str())));
  engine_.run_main_walk();
  engine_.write_ready_documents();
  EXPECT_TRUE(data_files().empty());
  EXPECT_EQ(log_text(), "Error(core): Could not access file.\r\n      in file: DIR/news.enews\r\n" +
                            records("E57") + " in file: DIR/news.enews\r\n" +
                            "Warning(parsing): Unclosed XML node(s) above.\r\n" +
                            "       line: 0000002 in file: DIR/news.enews\r\n" +
                            "Error(parsing): Closing an unknown node.\r\n" +
                            "     line: 0000002 in file: DIR/news.enews\r\n" + records("E79"));
}

TEST_F(ExtractionTest, DeepTemplatesRunWithoutRecursion) {
  constexpr int depth = 25000;
  std::string body;
  for (int i = 0; i < depth; ++i) body += "<d>";
  body += "<s action=\"section\"/>";
  for (int i = 0; i < depth; ++i) body += "</d>";
  run(body);
  std::string section = read_bytes(radix() + ".data0.xml");
  EXPECT_EQ(section.size(), std::string(declaration).size() + depth * 8 + 8);
  EXPECT_EQ(read_bytes(radix() + ".data.xml").size(), std::string(declaration).size() + depth * 8);
  EXPECT_EQ(log_text(), "");
}

TEST_F(ExtractionTest, LogRecordsPerRunAreCapped) {
  ExtractionEngine::Limits limits;
  limits.messages = 2;
  engine_.set_limits(limits);
  run("<e><a action=\"x\"/><b action=\"goto\"/><c action=\"z\"/></e>");
  EXPECT_EQ(log_text(), records("W31:1 E62:1"));
  EXPECT_EQ(engine_.warning, 31);
}

TEST_F(ExtractionTest, BudgetsStopTheRunWithWhatItHas) {
  struct Budget {
    const char* body;
    void (*set)(ExtractionEngine::Limits&);
  };
  std::string page(20000, 'x');
  page.insert(0, 1, 'y');
  page.append("z<a href=\"/z\"> ");
  const Budget budgets[] = {
      {"<e><a/><b/><c/><d/><g/><h/></e>", [](auto& l) { l.walk_steps = 4; }},
      {"<e>" FOLLOW "<l action=\"iterate\"><t action=\"goto-top goto\"><begin>z</begin></t></l></e>",
       [](auto& l) { l.page_work = 100000; }},
      {"<e>" FOLLOW "<l action=\"iterate\"><t action=\"goto-top extract-url\" mode=\"standard\"/></l></e>",
       [](auto& l) { l.page_work = 100000; }},
      {"<e>" FOLLOW "<l action=\"iterate\"><t action=\"goto-top\"/><g action=\"goto\">"
       "<begin>x</begin></g></l></e>",
       [](auto& l) { l.document_nodes = 50; }},
      {"<e>" FOLLOW "<l action=\"iterate\"><s action=\"section\"/><g action=\"goto\">"
       "<begin>x</begin></g></l></e>",
       [](auto& l) { l.sections = 2; }},
      {"<e>" FOLLOW "<l action=\"iterate\" max=\"3\"><t action=\"goto-top extract\">"
       "<begin>y</begin><end>z</end></t></l></e>",
       [](auto& l) { l.document_bytes = 30000; }},
      {"<e>" FOLLOW "<l action=\"iterate\"><s action=\"section\"><x/><y/></s><g action=\"goto\">"
       "<begin>x</begin></g></l></e>",
       [](auto& l) { l.held_nodes = 40; }},
  };
  for (const Budget& budget : budgets) {
    SCOPED_TRACE(budget.body);
    TempDir dir;
    ErrorLog log(String(dir.file("error_log.txt").c_str()), true);
    ScopedErrorSink scope(&log);
    RecordingDownloads downloads;
    ExtractionEngine engine;
    ExtractionEngine::Limits limits;
    budget.set(limits);
    engine.set_limits(limits);
    engine.set_sink(&downloads);
    engine.set_selection({true, true, true, true});
    write_bytes(dir.file("news.enews"), std::string(declaration) + budget.body);
    ASSERT_TRUE(engine.load_template(String(dir.file("news").c_str())));
    engine.run_main_walk();
    if (!downloads.requests.empty()) {
      engine.continue_follow(downloads.requests[0], String(std::string_view(page)),
                             String("http://news.example/"));
      engine.task_done(0);
    }
    EXPECT_TRUE(engine.stopped());
    EXPECT_EQ(engine.error, 56);
    // Once stopped, nothing more runs; what was built is still written.
    engine.continue_follow(downloads.requests.empty() ? DownloadRequest() : downloads.requests[0],
                           String("x"), String("http://news.example/"));
    engine.write_ready_documents();
    EXPECT_EQ(read_bytes(dir.file("news.data.xml")).rfind(declaration, 0), 0u);
    std::string text = read_bytes(dir.file("error_log.txt"));
    EXPECT_EQ(text.find(utf16le("Failed memory allocation in class ExtractionEngine.")),
              text.rfind(utf16le("Failed memory allocation in class ExtractionEngine.")));
    EXPECT_NE(text.find(utf16le("Failed memory allocation")), std::string::npos);
  }
}

TEST_F(ExtractionTest, FailedWriteKeepsThePreviousDataFile) {
  write_bytes(radix() + ".data.xml", "previous");
  // Files may not grow past 4 KB while the 8 KB document is written.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  run("<e>" + std::string(8192, 'w') + "</e>");
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(read_bytes(radix() + ".data.xml"), "previous");
  EXPECT_EQ(log_text(), records("E70"));
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) ++files;
  EXPECT_EQ(files, 3);  // template, log, previous data file: no temporary left
}

TEST(SafeNameTest, NamesBecomeOnePlainFileInTheFolder) {
  const std::pair<const char*, const char*> names[] = {
      {"pic.gif", "pic.gif"},         {"../../etc/passwd", "passwd"},
      {"dir\\sub/p.png", "p.png"},    {"..", ""},
      {"...", ""},                    {".hidden.gif", "hidden.gif"},
      {"a\x01\x7F" "b", "a__b"},      {"", ""},
      {"NEWS.ENEWS", "_NEWS.ENEWS"},  {"news.xsl", "_news.xsl"},
      {"news.html", "_news.html"},    {"news.prc", "_news.prc"},
      {"news.data.xml", "_news.data.xml"}, {"news.data12.xml", "_news.data12.xml"},
      {"news.data", "news.data"},     {"newsy.html", "newsy.html"},
      {"x/news.prc", "_news.prc"},
  };
  for (const auto& [name, safe] : names) {
    String result = extraction::safe_file_name(String(name), String("news"));
    EXPECT_EQ(std::string(result.window_bytes()), safe) << name;
  }
  // A Shift-JIS trail byte 0x5C is no backslash; UTF-16 names stay UTF-16.
  String japanese;
  japanese.set_text(std::string_view("a/\x95\x5C.gif"), TextEncoding::Multibyte, 932);
  EXPECT_EQ(std::string(extraction::safe_file_name(japanese, String("news")).window_bytes()),
            "\x95\x5C.gif");
  String wide;
  wide.set_text(std::string_view("d\0/\0.\0x\0", 8), TextEncoding::Unicode, -1);
  String wide_safe = extraction::safe_file_name(wide, String("news"));
  EXPECT_EQ(wide_safe.encoding(), TextEncoding::Unicode);
  EXPECT_EQ(std::string(wide_safe.window_bytes()), std::string("x\0", 2));
}

TEST(PageTextTest, EditsAndSearchesMatchAPlainString) {
  std::mt19937 random(7);
  std::string model;
  for (int i = 0; i < 2000; ++i) model.push_back("ab<>x "[random() % 6]);
  PageText page;
  page.assign(String(std::string_view(model)));
  String pattern("<x");
  int64_t work = 0;
  for (int step = 0; step < 3000; ++step) {
    const auto length = static_cast<int32_t>(model.size());
    int32_t a = length == 0 ? 0 : static_cast<int32_t>(random() % (length + 1));
    int32_t b = std::min(length, a + static_cast<int32_t>(random() % 8));
    switch (random() % 4) {
      case 0:
        page.erase(a, b);
        model.erase(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a));
        break;
      case 1: {
        std::string insert(random() % 12, 'y');
        page.replace(a, b, insert);
        model.replace(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a), insert);
        break;
      }
      case 2: {
        Match match;
        int32_t last = a + static_cast<int32_t>(random() % 50);
        bool found = page.find(pattern, a, last, false, match, work);
        std::size_t at = model.find("<x", static_cast<std::size_t>(a));
        bool expected = at != std::string::npos && static_cast<int32_t>(at) <= last;
        ASSERT_EQ(found, expected) << step;
        if (found) {
          ASSERT_EQ(match.start, static_cast<int32_t>(at)) << step;
        }
        break;
      }
      default:
        ASSERT_EQ(std::string(page.copy(a, b).window_bytes()),
                  model.substr(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a)));
    }
    ASSERT_EQ(page.length(), static_cast<int32_t>(model.size()));
  }
  EXPECT_EQ(std::string(page.copy(0, page.length()).window_bytes()), model);
}

}  // namespace
}  // namespace wayfetch::testing
