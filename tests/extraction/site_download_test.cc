// Site downloads: whole runs over the fixture site (tests/extraction/site/
// spider), data files compared byte for byte, and the site-page step over
// hostile pages without a network.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/extraction/extractor_fixture.h"

namespace wayfetch::testing {
namespace {

namespace fs = std::filesystem;

const fs::path expected_dir = fs::path(WAYFETCH_EXTRACTION_SITE_DIR) / "spider" / "expected";

int count_of(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) {
    ++count;
  }
  return count;
}

struct SiteRun {
  const char* name;        // expected/<name>.xml holds the data file ("SITE": the server)
  const char* parameters;  // attributes of the download-site element
  bool restricted;         // restrict-to the spider folder
  const char* fetched;     // the paths downloaded, in any order
  const char* pictures;    // picture files written into the folder
  const char* log;         // site_records() of the log
};

TEST_F(ExtractorTest, SiteRunsWriteTheExpectedDataAndFetchEachAddressOnce) {
  const SiteRun runs[] = {
      // Only the start page; its links to itself lead to its own anchors.
      {"one-level", "max-levels=\"1\"", false, "/spider/index.html", "", ""},
      {"two-levels", "max-levels=\" 2\"", false,
       "/other/out.html /spider/a.html /spider/b.html /spider/index.html /spider/missing.html", "",
       "W35:107@/spider/missing.html"},
      {"two-levels-restricted", "max-levels=\"2\"", true,
       "/spider/a.html /spider/b.html /spider/index.html /spider/missing.html", "",
       "W35:107@/spider/missing.html"},
      {"pictures", "max-levels=\"2\" get-pics=\"YES\"", true,
       "/spider/a.html /spider/b.html /spider/index.html /spider/missing.html "
       "/spider/pics/dot.gif /spider/pics/raw",
       "img2.gif img4", "W35:107@/spider/missing.html"},
      {"default-levels", "", true,
       "/spider/a.html /spider/b.html /spider/c.html /spider/index.html /spider/missing.html", "",
       "W35:107@/spider/missing.html"},
  };
  for (const SiteRun& run : runs) {
    SCOPED_TRACE(run.name);
    const std::string name = std::string("s-") + run.name;
    const std::string restrict_to =
        run.restricted ? "<restrict-to>SITE/SPIDER/</restrict-to>" : "";
    const std::string radix = write_template(
        "<site><pages action=\"download-site\" " + std::string(run.parameters) +
            "><url>SITE/spider/index.html</url>" + restrict_to + "</pages></site>",
        name);
    const std::size_t asked_before = server_->requests().size();
    const std::size_t logged = site_log().size();
    extract({{radix, {}}});
    EXPECT_EQ(replace_all(read_bytes(radix + ".data.xml"), site_, "SITE"),
              read_bytes((expected_dir / (std::string(run.name) + ".xml")).string()));
    std::vector<std::string> paths;
    for (std::size_t i = asked_before; i < server_->requests().size(); ++i) {
      paths.push_back(server_->requests()[i].path());
    }
    std::sort(paths.begin(), paths.end());
    std::string fetched;
    for (const std::string& path : paths) fetched += (fetched.empty() ? "" : " ") + path;
    EXPECT_EQ(fetched, run.fetched);
    std::string pictures;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      const std::string file = entry.path().filename().string();
      if (file.starts_with("img")) pictures += (pictures.empty() ? "" : " ") + file;
      if (file.starts_with("img")) fs::remove(entry.path());
    }
    EXPECT_EQ(pictures, run.pictures);
    EXPECT_EQ(site_log().substr(logged), site_records(run.log));
  }
}

// ---- the site-page step without a network ----

class SitePageTest : public ExtractionTest {
 protected:
  // Runs download-site (`parameters`) on http://h.example/s/index.html, the
  // site-page step over `page` for the start page, and writes the data.
  void site(const std::string& page, const std::string& parameters = "max-levels=\"2\"",
            const char* page_address = nullptr) {
    write_bytes(radix() + ".enews", std::string(declaration) +
                                        "<e><s action=\"download-site\" " + parameters +
                                        "><url>http://h.example/s/index.html</url></s></e>");
    ASSERT_TRUE(engine_.load_template(String(radix().c_str())));
    engine_.run_main_walk();
    ASSERT_FALSE(downloads_.requests.empty());
    const DownloadRequest start = downloads_.requests[0];
    downloads_.answer = answer_after_start;
    String text{std::string_view(page)};
    text.set_encoding(TextEncoding::SingleByte, 1252);
    engine_.continue_site_page(start, text,
                               page_address != nullptr ? String(page_address) : start.address);
    for (const DownloadRequest& request : downloads_.requests) engine_.task_done(request.ticket);
    engine_.write_ready_documents();
    data_ = data_files()[".data.xml"];
  }
  // The body element's text in the data file.
  std::string body() const {
    const std::string open = "<body content=\"raw-text\" >";
    const std::size_t at = data_.find(open);
    if (at == std::string::npos) return "(none)";
    const std::size_t from = at + open.size();
    return data_.substr(from, data_.find("</body>", from) - from);
  }
  // The requests after the start page's.
  std::vector<std::string> scheduled() const {
    std::vector<std::string> lines = requests();
    lines.erase(lines.begin());
    return lines;
  }

  SinkAnswer answer_after_start = SinkAnswer::accepted;
  std::string data_;
};

TEST_F(SitePageTest, LinksThatCannotBeFetchedLeadNowhereAndPicturesStayInTheFolder) {
  site("<body>"
       "<a href=\"mailto:x@h.example\">m</a><a href=\"javascript:go()\">j</a>"
       "<a href=\"file:///etc/passwd\">f</a><a href=\"ftp://h.example/x\">t</a>"
       "<a href=\"data:text/html,x\">d</a><a href=\"http://[::1\">b</a>"
       "<a href=\"news:x\">n</a><a href=\"\x01\x02\">c</a>"
       "<img src=\"../../../../etc/passwd\"><img src=\"..\\..\\x.exe\">"
       "<img src=\"\x01/.png\"><img src=\"http://h.example/dir.v2/pic\">"
       "<img src=\"http://h.example/p.png?x=1.2#a\"><img src=\"/p.longextension\">"
       "<img src=\"/d/p.news.enews\"><img src=\"file:///etc/passwd\"><img src=\"   \">"
       "</body>",
       "max-levels=\"2\" get-pics=\"yes\"");
  EXPECT_EQ(body(),
            "<a href=\"#anchorFFFFFFFF\">m</a><a href=\"#anchorFFFFFFFF\">j</a>"
            "<a href=\"#anchorFFFFFFFF\">f</a><a href=\"#anchorFFFFFFFF\">t</a>"
            "<a href=\"#anchorFFFFFFFF\">d</a><a href=\"#anchorFFFFFFFF\">b</a>"
            "<a href=\"#anchorFFFFFFFF\">n</a><a href=\"#anchor0\">c</a>"
            "<img src=\"img1\"><img src=\"img2.exe\">"
            "<img src=\"img3.png\"><img src=\"img4\">"
            "<img src=\"img5.png\"><img src=\"img6\">"
            "<img src=\"img7.enews\"><img src=\"file:///etc/passwd\"><img src=\"   \">");
  EXPECT_EQ(scheduled(), (std::vector<std::string>{
                             "get http://h.example/etc/passwd as 'img1'",
                             "get http://h.example/x.exe as 'img2.exe'",
                             "get http://h.example/.png as 'img3.png'",
                             "get http://h.example/dir.v2/pic as 'img4'",
                             "get http://h.example/p.png?x=1.2 as 'img5.png'",
                             "get http://h.example/p.longextension as 'img6'",
                             "get http://h.example/d/p.news.enews as 'img7.enews'",
                         }));
}

TEST_F(SitePageTest, ValuesAreReplacedWholeInEveryQuotingAndAPageIsFetchedOnce) {
  site("<html><head><title>T &amp; <b>t</b></title></head>"
       "<body class=\"x\">\n<a name=top href=a.html>1</a> <a href='A.html#top'>2</a>"
       " <a href=\"a.html#TOP\">3</a> <a href=\" a.html \">4</a> <a href=\"#top\">5</a>"
       " <a href='x\"y'>6</a><a name=\"top\"></a><svg><title>i</title></svg></body></html>");
  EXPECT_EQ(body(),
            "\n<a name=anchor1 href=#anchor2>1</a> <a href='#anchor3'>2</a>"
            " <a href=\"#anchor4\">3</a> <a href=\"#anchor2\">4</a> <a href=\"#anchor1\">5</a>"
            " <a href='#anchor5'>6</a><a name=\"anchor1\"></a><svg><title>i</title></svg>");
  // Only the page's first title; the pages make the section's content.
  EXPECT_EQ(count_of(data_, "<title content"), 1);
  EXPECT_TRUE(engine_.documents().record(0).has_content);
  EXPECT_NE(data_.find("<title content=\"raw-text\" >T &amp; <b>t</b></title>"),
            std::string::npos)
      << data_;
  EXPECT_NE(data_.find("<anchor >anchor0</anchor></page><page ></page><page ></page><page ></page>"),
            std::string::npos)
      << data_;
  // The stored value ends at its first double quote.
  EXPECT_EQ(scheduled(), (std::vector<std::string>{"site http://h.example/s/a.html",
                                                   "site http://h.example/s/A.html",
                                                   "site http://h.example/s/x"}));
}

TEST_F(SitePageTest, LinksToTheAddressABaseGaveLeadToThePageItself) {
  site("<body><a href=\"#top\">1</a><a href=\"./\">2</a><a name=\"top\"></a></body>",
       "max-levels=\"2\"", "http://h.example/base/");
  EXPECT_EQ(body(), "<a href=\"#anchor1\">1</a><a href=\"#anchor0\">2</a><a name=\"anchor1\"></a>");
  EXPECT_TRUE(scheduled().empty());
}

TEST_F(SitePageTest, BoundsHoldOnHostilePages) {
  // Thousands of distinct anchors: numbered up to the registry's bound.
  std::string many = "<body>";
  for (int i = 0; i < 3000; ++i) many += "<a href=\"#a" + std::to_string(i) + "\">x</a>";
  ExtractionEngine::Limits limits;
  limits.site_anchors = 100;
  engine_.set_limits(limits);
  site(many + "<a href=\"other.html\">o</a></body>");
  EXPECT_EQ(count_of(body(), "#anchorFFFFFFFF"), 3000 - 99 + 1);
  EXPECT_NE(body().find("<a href=\"#anchor63\">x</a><a href=\"#anchorFFFFFFFF\">"),
            std::string::npos);
  EXPECT_TRUE(scheduled().empty());
  EXPECT_NE(data_.find("<anchor >anchor0</anchor>"), std::string::npos);
}

TEST_F(SitePageTest, RefusedDownloadsLeadNowhereAndLeaveNoPage) {
  answer_after_start = SinkAnswer::refused;
  site("<body><a href=\"a.html\">a</a><a href=\"a.html#x\">b</a></body>");
  EXPECT_EQ(body(), "<a href=\"#anchorFFFFFFFF\">a</a><a href=\"#anchorFFFFFFFF\">b</a>");
  EXPECT_EQ(count_of(data_, "<page"), 1) << data_;
}

TEST_F(SitePageTest, NothingIsTakenWithoutLevelsOrAfterAFailedExtractUrl) {
  write_bytes(radix() + ".enews",
              std::string(declaration) +
                  "<e><s action=\"download-site\" max-levels=\"0\"><url>http://h/</url></s>"
                  "<t action=\"extract-url download-site\"><url>http://h/</url></t>"
                  "<u action=\"download-site\" max-levels=\"x\"><url>mailto:a@h</url></u></e>");
  ASSERT_TRUE(engine_.load_template(String(radix().c_str())));
  engine_.run_main_walk();
  engine_.write_ready_documents();
  EXPECT_TRUE(downloads_.requests.empty());
  EXPECT_EQ(data_files()[".data.xml"], std::string(declaration) + "<e ><s ></s><u ></u></e>");
  EXPECT_EQ(log_text(), records("E68:1"));
}

}  // namespace
}  // namespace wayfetch::testing
