#include "ebook/ebook_publisher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/date_format.h"
#include "tests/ebook/book_file.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::BookFile;
using testing::read_book;
using testing::read_bytes;
using testing::TempDir;
using testing::write_bytes;

// Hands out "BM" and the picture's path as its record, and fails for one path.
class FakePictures : public PictureRecordSource {
 public:
  bool make_record(const std::string& path, std::vector<uint8_t>& record,
                   std::string& error_text) override {
    asked.push_back(path);
    if (path == failing) {
      error_text = "cannot convert " + path;
      return false;
    }
    const std::string bytes = "BM" + path;
    record.assign(bytes.begin(), bytes.end());
    return true;
  }
  // Announced pictures, and "" where the publisher said none are coming.
  void expect(const std::string& path) override { expected.push_back(path); }
  void expect_none() override { expected.emplace_back(); }
  std::vector<std::string> asked;
  std::vector<std::string> expected;
  std::string failing;
};

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The `length` bytes after each occurrence of `label` ("filepos=\"").
std::vector<std::string> values_after(const std::string& text, const std::string& label,
                                      std::size_t length) {
  std::vector<std::string> found;
  for (std::size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1)) {
    found.push_back(text.substr(at + label.size(), length));
  }
  return found;
}

class EbookPublisherTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("TMPDIR", work.path().c_str(), 1); }
  void TearDown() override {
    unsetenv("TMPDIR");
    // Working files are removed on every path, success or failure.
    EXPECT_TRUE(names_in(work.path()).empty());
  }

  std::string write_page(const std::string& name, const std::string& body,
                         const std::string& head = "") {
    const std::string path = site.file(name);
    write_bytes(path, "<html><head>" + head + "</head><body>" + body + "</body></html>");
    return path;
  }

  bool publish(const std::string& page, bool notice = false, const std::string& title = "") {
    const EbookPackage package = EbookPackage::from_page(page, title);
    EbookPublisher publisher(package, &pictures);
    publisher.set_converter_progress(nullptr);
    const bool ok = publisher.publish(target, true, notice);
    error_text = publisher.error_text();
    text_records = publisher.text_record_count();
    book = read_book(target);
    return ok;
  }

  // The copied body of the page: between the book's "<BODY>" and the "<hr>"
  // that follows the page.
  std::string page_text() const {
    const std::size_t start = book.text.find("<BODY>") + 6;
    return book.text.substr(start, book.text.find("<hr><h1 align=\"center\">eBook Info") - start);
  }

  TempDir site;
  TempDir out;
  TempDir work;
  FakePictures pictures;
  std::string target = out.file("book.prc");
  std::string error_text;
  int32_t text_records = 0;
  BookFile book;
};

TEST_F(EbookPublisherTest, LinksPointAtTheirAnchors) {
  const std::string page = write_page(
      "page.html",
      "<a href=\"#sec\">to section</a> <a href=\"#nowhere\">lost</a> <a href='page.html'>top</a>\n"
      "<p>Intro</p>\n<h2><a name=\"sec\">Section</a></h2>\n"
      "text <div id=\"#far\" class=wide><p>Far</p></div><a href=\"#far\">far</a>\n"
      "<span class=\"long-class\"><a name=after-long>x</a></span><a href=#after-long>z</a>\n"
      "<a href=\"http://example.com/#sec\">web</a>");
  ASSERT_TRUE(publish(page)) << error_text;
  const std::vector<std::string> positions = values_after(book.text, "filepos=\"", 10);
  // The guide's two references come first.
  ASSERT_EQ(positions.size(), 8u);
  const std::size_t heading = book.text.find("<H2><a name=\"sec\">");
  ASSERT_NE(heading, std::string::npos);
  EXPECT_EQ(std::stoul(positions[2]), heading);
  EXPECT_EQ(positions[3], "XXXXXXXXXX");
  // A link to a file without a fragment points at the start of its body.
  EXPECT_EQ(std::stoul(positions[4]), book.text.find("<BODY>") + 6);
  EXPECT_EQ(std::stoul(positions[5]), book.text.find("<div id=\"#far\""));
  // A start tag longer than 11 bytes before an anchor does not take it.
  EXPECT_EQ(std::stoul(positions[6]), book.text.find("<a name=after-long>"));
  EXPECT_EQ(positions[7], "XXXXXXXXXX");
  // The tag keeps its own attributes; filepos comes last.
  EXPECT_NE(book.text.find("<a href=\"#sec\" filepos=\"" + positions[2] + "\">to section</A>"),
            std::string::npos);
  // The guide's metadata reference points at the "eBook Info" page.
  EXPECT_EQ(std::stoul(positions[1]), book.text.find("<h1 align=\"center\">eBook Info"));
}

TEST_F(EbookPublisherTest, EachDistinctPictureIsOneRecord) {
  write_bytes(site.file("bb.gif"), "gif");
  write_bytes(site.file("cc.JPG"), "jpeg");
  write_bytes(site.file("a.gif"), "spacer");
  write_bytes(site.file("d.bmp"), "bmp");
  std::filesystem::create_directory(site.file("pics"));
  write_bytes(site.file("pics/ee.png"), "png");
  const std::string page = write_page(
      "page.html",
      "<img src=\"bb.gif\" alt=\"x\" width=10><img src=cc.JPG><img src='./bb.gif'>"
      "<img src=\"a.gif\"><img src=\"missing.png\"><img src=\"d.bmp\">"
      "<img src=\"http://example.com/bb.gif\"><img src=\"pics/ee.png\"><img src=\"BB.GIF\">"
      "<img src=\"bb.gif\"><img alt=none>");
  ASSERT_TRUE(publish(page)) << error_text;

  // Records in the order of first appearance, each converted once; the
  // source is told them before and that none are coming after.
  const std::vector<std::string> expected = {site.file("bb.gif"), site.file("cc.JPG"),
                                             site.file("pics/ee.png")};
  EXPECT_EQ(pictures.asked, expected);
  EXPECT_EQ(pictures.expected, (std::vector<std::string>{expected[0], expected[1], expected[2], ""}));
  ASSERT_EQ(book.record_count, 1u + text_records + 3u);
  EXPECT_EQ(book.picture(1), "BM" + site.file("bb.gif"));
  EXPECT_EQ(book.picture(3), "BM" + site.file("pics/ee.png"));

  EXPECT_EQ(page_text(),
            "<img src=\"BMP\" recindex=\"00001\">   "
            "<img src=\"BMP\" recindex=\"00002\">   "
            "<img src=\"BMP\" recindex=\"00001\">   "
            "<img src=\"a.gif\" recindex=\"XXXXX\">"
            "<img src=\"missing.png\" recindex=\"XXXXX\">"
            "<img src=\"d.bmp\" recindex=\"XXXXX\">"
            "<img src=\"bb.gif\" recindex=\"XXXXX\">"
            "<img src=\"BMP\" recindex=\"00003\">   "
            "<img src=\"BB.GIF\" recindex=\"XXXXX\">"
            "<img src=\"BMP\" recindex=\"00001\">   "
            "<img alt=none>");
}

TEST_F(EbookPublisherTest, FullTablesLeavePlaceholders) {
  write_bytes(site.file("photo.gif"), "gif");
  std::string body = "<p id=t>target</p>";
  for (int i = 0; i < 1100; ++i) body += "<a href=\"#t\">l</a>";
  for (int i = 0; i < 520; ++i) body += "<img src=\"photo.gif\">";
  ASSERT_TRUE(publish(write_page("page.html", body))) << error_text;
  // 1023 links in all, the guide's two included; the rest are written as read.
  EXPECT_EQ(values_after(book.text, "filepos=\"", 10).size(), 1023u);
  const std::vector<std::string> numbers = values_after(book.text, "recindex=\"", 5);
  ASSERT_EQ(numbers.size(), 520u);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), "00001"), 511);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), "XXXXX"), 9);
  EXPECT_EQ(pictures.asked.size(), 1u);
}

TEST_F(EbookPublisherTest, StyleSheetsBecomeTags) {
  write_bytes(site.file("style.css"), ".big { font-size: x-large }\n");
  const std::string page =
      write_page("page.html", "<p class=note id=n>Note</p><h1 class=big>Big</h1><p>Plain</p>",
                 "<style>P.note { font-weight: bold; text-align: center }</style>"
                 "<link rel=alternate type=\"application/rss+xml\" href=\"feed.xml\">"
                 "<link rel=icon type=image/png href=\"favicon.png\">"
                 "<link rel=stylesheet type=TEXT/CSS href=\"https://cdn.example.com/site.css\">"
                 "<link rel=stylesheet type=text/css href=\"style.css\">");
  ASSERT_TRUE(publish(page)) << error_text;
  // The linked sheet replaced the STYLE element's rules.
  EXPECT_EQ(page_text(), "<p class=note id=n>Note</P><h2><H1>Big</H1></h2><P>Plain</P>");

  const std::string styled =
      write_page("styled.html", "<p class=note id=n>Note</p><h1 class=big>Big</h1>",
                 "<style>P.note { font-weight: bold; text-align: center }</style>");
  ASSERT_TRUE(publish(styled)) << error_text;
  EXPECT_EQ(page_text(), "<b><P align='center' >Note</P></b><h1 class=big>Big</H1>");
}

TEST_F(EbookPublisherTest, CompactStyleElementKeepsTheBody) {
  const std::string page =
      write_page("page.html", "<h1>Lorem</h1>", "<style>h1{text-decoration:underline}</style>");
  ASSERT_TRUE(publish(page)) << error_text;
  // The sheet stays in force for the pages after, the "eBook Info" page too.
  EXPECT_NE(book.text.find("<BODY><u><H1>Lorem</H1></u><hr><u><H1>eBook Info</H1></u>"),
            std::string::npos);
}

TEST_F(EbookPublisherTest, MissingStyleSheetFailsAndKeepsTheOldBook) {
  write_bytes(target, "yesterday's book");
  const std::string page = write_page("page.html", "<p>x</p>",
                                      "<link rel=stylesheet type=\"text/css\" href=\"gone.css\">");
  EXPECT_FALSE(publish(page));
  EXPECT_EQ(error_text, "The style sheet " + site.file("gone.css") + ", linked from " + page +
                            ", is not available / ");
  EXPECT_EQ(read_bytes(target), "yesterday's book");
  EXPECT_EQ(names_in(out.path()), std::vector<std::string>{"book.prc"});
}

TEST_F(EbookPublisherTest, StyleSheetOfAnotherLanguageFails) {
  for (const char* link : {"<link rel=stylesheet type=\"text/xsl\" href=\"page.xsl\">",
                           "<link type=\"text/xsl\" href=\"page.xsl\">"}) {
    const std::string page = write_page("page.html", "<p>x</p>", link);
    EXPECT_FALSE(publish(page)) << link;
    EXPECT_EQ(error_text,
              "The style sheet page.xsl, linked from " + page + ", is not a CSS style sheet / ");
  }
}

TEST_F(EbookPublisherTest, FailuresNameTheirCause) {
  EXPECT_FALSE(publish(site.file("missing.html")));
  EXPECT_EQ(error_text, "The file " + site.file("missing.html") +
                            ", referenced in the Manifest is not available / ");

  write_bytes(site.file("frag.html"), "<p>no body tag at all</p>");
  EXPECT_FALSE(publish(site.file("frag.html")));
  EXPECT_EQ(error_text, "The file " + site.file("frag.html") +
                            ", referenced in the Manifest is not a valid OEB Document : no tag "
                            "<BODY> found / ");

  // A picture that cannot be converted fails the book; the message names the
  // target, not the temporary file the book was written to.
  write_bytes(target, "old");
  write_bytes(site.file("photo.gif"), "gif");
  pictures.failing = site.file("photo.gif");
  EXPECT_FALSE(publish(write_page("page.html", "<img src=photo.gif>")));
  EXPECT_EQ(error_text, "cannot convert " + site.file("photo.gif") + " / ");
  EXPECT_EQ(pictures.expected.back(), "") << "told none are coming";
  EXPECT_EQ(read_bytes(target), "old");
  EXPECT_EQ(names_in(out.path()), std::vector<std::string>{"book.prc"});

  // A page or style sheet the disk fails to read makes no shorter book: it
  // is not available (the kernel fails reads of a process's memory at 0).
  for (const char* name : {"broken.html", "broken.txt", "broken.css"}) {
    std::filesystem::create_symlink("/proc/self/mem", site.file(name));
  }
  for (const char* name : {"broken.html", "broken.txt"}) {
    EXPECT_FALSE(publish(site.file(name)));
    EXPECT_EQ(error_text,
              "The file " + site.file(name) + ", referenced in the Manifest is not available / ");
  }
  const std::string styled =
      write_page("styled.html", "x", "<link type=\"text/css\" href=\"broken.css\">");
  EXPECT_FALSE(publish(styled));
  EXPECT_EQ(error_text, "The style sheet " + site.file("broken.css") + ", linked from " + styled +
                            ", is not available / ");

  target = out.file("no/such/folder/book.prc");
  EXPECT_FALSE(publish(write_page("ok.html", "x")));
  EXPECT_EQ(error_text, "Unable to create the PRC target  file : " + target + " / ");
}

TEST_F(EbookPublisherTest, TextFilesAreCopiedAsTheyAre) {
  write_bytes(site.file("notes.TXT"), std::string("line 1\r\n<b>kept</b>\r\n\x1A"
                                                  "after the end",
                                                  33));
  ASSERT_TRUE(publish(site.file("notes.TXT")));
  const std::size_t start = book.text.find("<BODY>") + 6;
  EXPECT_EQ(book.text.substr(start, 21), "line 1\r\n<b>kept</b>\r\n");
  // No "<hr>" after a text file: the "eBook Info" page follows at once.
  EXPECT_EQ(book.text.substr(start + 21, 19), "<h1 align=\"center\">");

  // A file of another kind is skipped.
  write_bytes(site.file("data.xml"), "<body>xml</body>");
  ASSERT_TRUE(publish(site.file("data.xml")));
  EXPECT_TRUE(book.text.find("<BODY><h1 align=\"center\">eBook Info") != std::string::npos);
}

TEST_F(EbookPublisherTest, HeadNoticeAndInfoPage) {
  platform::FakeClock clock;  // the date cannot change half-way
  platform::ScopedClock use(clock);
  const std::string page =
      write_page("news.today.html", "<p>x</p>",
                 "<meta http-equiv=Content-Type content=\"text/html; charset=big5\">");
  ASSERT_TRUE(publish(page, true, "Q&A <draft>"));
  EXPECT_EQ(book.title, "Q&A <draft>");
  std::string date;
  platform::format_date("", platform::today(), date);
  const std::string head =
      "<HTML><HEAD><META content=\"text/html;charset=big5\"><metadata>\r\n"
      "<dc-metadata xmlns:dc=\"http://purl.org/dc/elements/1.0/\" "
      "xmlns:oebpackage=\"http://openebook.org/namespaces/oeb-package/1.0/\">\r\n"
      "<dc:Date>" +
      date +
      "</dc:Date>\r\n"
      "<dc:Title>Q&amp;A &lt;draft&gt;</dc:Title>\r\n"
      "</dc-metadata>\r\n</metadata>\r\n"
      "<GUIDE>\r\n"
      "<reference type=\"toc\" title=\"Inhaltsverzeichnis\" href=\"" +
      page +
      "#toc\" filepos=\"XXXXXXXXXX\">\r\n"
      "</GUIDE>\r\n"
      "<metadata href=\"xyz_metadata.htm\"  filepos=\"";
  EXPECT_EQ(book.text.substr(0, head.size()), head);
  EXPECT_NE(
      book.text.find(
          "<hr></HEAD><BODY><h1>Copyright Information</h1><p>This eBook file was generated by "
          "Lorvane Publisher Personal Edition.</p><br><b>This eBook file is for personal use "
          "only and cannot be sold.</b><br><p>To generate eBooks to be sold or for corporate "
          "or public usage, please purchase the commercial version at : " +
          std::string(maker_web_address) + "</p><P>x</P><hr>"),
      std::string::npos);
  EXPECT_TRUE(book.text.ends_with(
      "<hr><h1 align=\"center\">eBook Info</H1><BR><B>Date:</B></BR><BLOCKQUOTE>" + date +
      "</BLOCKQUOTE><BR><B>Title:</B></BR><BLOCKQUOTE>Q&amp;A &lt;draft&gt;</BLOCKQUOTE><BR><hr>"
      "</BODY></HTML>"));

  // Without a title the file name gives one; without the notice the page
  // follows the head at once.
  ASSERT_TRUE(publish(page));
  EXPECT_EQ(book.title, "news");
  EXPECT_NE(book.text.find("<hr></HEAD><BODY><P>x</P><hr>"), std::string::npos);
}

TEST_F(EbookPublisherTest, ReadOnlyPageFolderGivesTheSameBook) {
  write_bytes(site.file("photo.gif"), "gif");
  const std::string page =
      write_page("page.html", "<a href=#a>a</a><p id=a><img src=photo.gif></p>");
  ASSERT_TRUE(publish(page));
  const std::string first = book.bytes;
  const std::vector<std::string> before = names_in(site.path());

  chmod(site.path().c_str(), 0555);
  target = out.file("second.prc");
  const bool ok = publish(page);
  chmod(site.path().c_str(), 0755);
  ASSERT_TRUE(ok) << error_text;
  EXPECT_EQ(book.bytes, first);
  EXPECT_EQ(names_in(site.path()), before);
}

TEST_F(EbookPublisherTest, NewBooksGetOrdinaryPermissions) {
  const mode_t old_mask = umask(022);
  const bool ok = publish(write_page("page.html", "x"));
  umask(old_mask);
  ASSERT_TRUE(ok);
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(EbookPublisherTest, MetadataLinesAndInfoLabels) {
  const std::string page =
      write_page("page.html", "<p>x</p>",
                 "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">");
  EbookPackage package = EbookPackage::from_page(page, "T");
  for (auto [name, value] :
       {std::pair{"dc:Identifier", "id-7"}, std::pair{"cd:Creator", "Ann"},
        std::pair{"cd:Title", "Walks"}, std::pair{"cd:Date", "May"}, std::pair{"cd:Rights", "Free"},
        std::pair{"CD:Creator", "Bob"}, std::pair{"DC:Subject", "Sea"},
        std::pair{"Publisher", "Pub"}, std::pair{"dc:Empty", ""}}) {
    ASSERT_TRUE(package.add_metadata(name, value));
  }
  EbookPublisher publisher(package, &pictures);
  publisher.set_converter_progress(nullptr);
  ASSERT_TRUE(publisher.publish(target, true, false)) << publisher.error_text();
  book = read_book(target);
  const std::string date = *package.metadata_value("dc:Date");

  // Every entry in use gets its line, an empty value too; the identifier
  // carries id="uid".
  const std::string head =
      "<HTML><HEAD><META content=\"text/html;charset=gb\"><metadata>\r\n"
      "<dc-metadata xmlns:dc=\"http://purl.org/dc/elements/1.0/\" "
      "xmlns:oebpackage=\"http://openebook.org/namespaces/oeb-package/1.0/\">\r\n"
      "<dc:Date>" +
      date +
      "</dc:Date>\r\n"
      "<dc:Title>T</dc:Title>\r\n"
      "<dc:Identifier id=\"uid\">id-7</dc:Identifier>\r\n"
      "<cd:Creator>Ann</cd:Creator>\r\n"
      "<cd:Title>Walks</cd:Title>\r\n"
      "<cd:Date>May</cd:Date>\r\n"
      "<cd:Rights>Free</cd:Rights>\r\n"
      "<CD:Creator>Bob</CD:Creator>\r\n"
      "<DC:Subject>Sea</DC:Subject>\r\n"
      "<Publisher>Pub</Publisher>\r\n"
      "<dc:Empty></dc:Empty>\r\n"
      "</dc-metadata>\r\n</metadata>\r\n<GUIDE>\r\n";
  EXPECT_EQ(book.text.substr(0, head.size()), head);

  // Labels: the four names of the string table exactly as written, others
  // without their first three characters when they hold "dc:" or "DC:".
  std::string info = "<hr><h1 align=\"center\">eBook Info</H1><BR>";
  for (auto [label, value] :
       {std::pair{"Date", date.c_str()}, std::pair{"Title", "T"}, std::pair{"Identifier", "id-7"},
        std::pair{"Autor", "Ann"}, std::pair{"Titel", "Walks"}, std::pair{"Datum", "May"},
        std::pair{"License", "Free"}, std::pair{"CD:Creator", "Bob"}, std::pair{"Subject", "Sea"},
        std::pair{"Publisher", "Pub"}}) {
    info += std::string("<B>") + label + ":</B></BR><BLOCKQUOTE>" + value + "</BLOCKQUOTE><BR>";
  }
  info += "<hr></BODY></HTML>";
  EXPECT_TRUE(book.text.ends_with(info)) << book.text.substr(book.text.find("eBook Info"));
}

// UTF-8 pages reach the book as Windows-1252 with "&#NNNN;" for what it
// lacks; links, anchors and pictures still work from the original text, and
// positions count the bytes the book holds.
TEST_F(EbookPublisherTest, Utf8PagesAreWrittenAsWindows1252) {
  write_bytes(site.file("caf\xC3\xA9.gif"), "gif");
  const std::string body =
      "<a href=\"#s\xC3\xBC\">to</a> Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x94 \xE2\x80\x9Cq\xE2\x80\x9D "
      "\xE6\x97\xA5\xE6\x9C\xAC \xE2\x82\xAC bad:\xE9\xC3 "
      "<h2 id=\"s\xC3\xBC\" title=\"\xC3\xA9t\xC3\xA9\">x</h2><img src=\"caf\xC3\xA9.gif\">";
  const std::string converted =
      "Gr\xFC\xDF" "e \x97 \x93q\x94 &#26085;&#26412; \x80 bad:\xE9\xC3 "
      "<h2 id=\"s\xFC\" title=\"\xE9t\xE9\">x</H2>"
      "<img src=\"BMP\" recindex=\"00001\">     ";  // "caf\xE9.gif" covered: 8 - 3 blanks
  struct Case {
    const char* name;
    std::string start;  // before <html>
    std::string head;
    std::optional<int32_t> code_page;
    bool utf8;
  };
  const Case cases[] = {
      {"meta", "", "<meta http-equiv=Content-Type content='text/html; charset=UTF-8'>", {}, true},
      {"mark", "\xEF\xBB\xBF", "", {}, true},
      {"xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>", "", {}, true},
      {"given", "", "", 65001, true},  // a rendered page: its template's code page
      {"first declaration decides", "", "<meta charset=windows-1252><meta charset=utf-8>", {}, false},
      {"undeclared", "", "", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string page = site.file("p.html");
    write_bytes(page, c.start + "<html><head>" + c.head + "</head><body>" + body + "</body></html>");
    const EbookPackage package = EbookPackage::from_page(page, "", c.code_page);
    EXPECT_EQ(package.code_page(), c.utf8 ? 65001 : 0);
    EbookPublisher publisher(package, &pictures);
    publisher.set_converter_progress(nullptr);
    ASSERT_TRUE(publisher.publish(target, true, false)) << publisher.error_text();
    book = read_book(target);
    if (!c.utf8) {
      EXPECT_NE(page_text().find(body.substr(body.find("Gr"), 40)), std::string::npos);
      continue;
    }
    const std::string text = page_text();
    EXPECT_NE(text.find(converted), std::string::npos) << text;
    // The link finds the anchor named in UTF-8, at its place in the book.
    const std::vector<std::string> positions = values_after(book.text, "filepos=\"", 10);
    ASSERT_EQ(positions.size(), 3u);
    EXPECT_EQ(std::stoul(positions[2]), book.text.find("<h2 id="));
    ASSERT_EQ(book.record_count, 1u + book.text_records + 1u);
    EXPECT_EQ(book.picture(1), "BM" + site.file("caf\xC3\xA9.gif"));
  }
}

TEST_F(EbookPublisherTest, TitlesAreWindows1252InTheNameAndText) {
  const std::string page = write_page("page.html", "x");
  // 29 characters that fit, then one that does not and one cut off.
  const std::string title = "M\xC3\xA4rchen \xE2\x80\x93 Grimm und Andersen \xE6\x97\xA5\xC3\xBC!";
  ASSERT_TRUE(publish(page, false, title)) << error_text;
  EXPECT_EQ(book.title, "M\xE4rchen \x96 Grimm und Andersen ?\xFC");
  EXPECT_NE(book.text.find("<dc:Title>M\xE4rchen \x96 Grimm und Andersen &#26085;\xFC!</dc:Title>"),
            std::string::npos);
  EXPECT_NE(book.text.find("<BLOCKQUOTE>M\xE4rchen \x96 Grimm und Andersen &#26085;\xFC!"),
            std::string::npos);
}

class RecordingProgress : public PublishProgress {
 public:
  void set_range(Stage stage, int32_t count) override { ranges.emplace_back(stage, count); }
  void set_position(int32_t position) override { last = position; }
  std::vector<std::pair<Stage, int32_t>> ranges;
  int32_t last = 0;
};

TEST_F(EbookPublisherTest, ReportsProgress) {
  write_bytes(site.file("photo.gif"), "gif");
  std::string body = "<img src=photo.gif>";
  for (int i = 0; i < 500; ++i) body += "<p>A line of text to fill a few records.</p>\n";
  const EbookPackage package = EbookPackage::from_page(write_page("page.html", body), "");
  EbookPublisher publisher(package, &pictures);
  RecordingProgress progress;
  publisher.set_progress(&progress);
  publisher.set_converter_progress(stdout);
  ::testing::internal::CaptureStdout();
  const bool published = publisher.publish(target, false, false);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  // Unless asked, a publisher prints nothing.
  EbookPublisher quiet(package, &pictures);
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(quiet.publish(out.file("quiet.prc"), false, false));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  ASSERT_TRUE(published);
  book = read_book(target);
  using Stage = PublishProgress::Stage;
  const int32_t records = publisher.text_record_count() + 1;
  ASSERT_GT(publisher.text_record_count(), 3);
  const std::vector<std::pair<Stage, int32_t>> expected = {
      {Stage::content, 1}, {Stage::text_records, records}, {Stage::pictures, records}};
  EXPECT_EQ(progress.ranges, expected);
  EXPECT_EQ(progress.last, records + 1);
  // The converter's progress lines go to standard output, one per record.
  std::string lines;
  for (int32_t i = 1; i <= records; ++i) {
    lines += "\rconverting record " + std::to_string(i) + " of " + std::to_string(records);
  }
  EXPECT_EQ(printed, lines);
  // Stored, not compressed: the text is in the records as it is.
  EXPECT_EQ(book.records[0].substr(0, 2), std::string("\0\1", 2));
}

}  // namespace
}  // namespace wayfetch
