// The rendering engine over files: the steps of a rendering, the codes it
// ends with, which of them still write the page, and the log records.
#include "rendering/rendering_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/error_log.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::read_bytes;
using testing::write_bytes;

constexpr const char* data =
    "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n"
    "<enews><title>Harbour</title><story><h>Ferry</h></story><story><h>Tide</h></story></enews>";

class EngineTest : public ::testing::Test {
 protected:
  std::string radix() const { return dir_.file("news"); }
  void write(const std::string& suffix, std::string_view text) {
    write_bytes(radix() + suffix, text);
  }
  bool render(const std::string& stylesheet_body, const char* data_text = data) {
    write(".data.xml", data_text);
    write(".xsl", "<xsl:stylesheet>" + stylesheet_body + "</xsl:stylesheet>");
    engine_.set_radix(String(radix().c_str()));
    engine_.add_datasource(String("data"));
    return engine_.render();
  }
  bool html_written() const { return std::filesystem::exists(radix() + ".html"); }
  std::string html() const { return read_bytes(radix() + ".html"); }

  testing::TempDir dir_;
  RenderingEngine engine_;
};

TEST_F(EngineTest, RendersTheDataIntoThePage) {
  EXPECT_TRUE(
      render("<h1><xsl:value-of select='/enews/title'/></h1>\n"
             "<xsl:for-each select='//story' index='s'><p><xsl:value-of select='h'/>"
             "</p></xsl:for-each>"));
  EXPECT_EQ(html(), "<h1>Harbour</h1>\n<p>Ferry</p><p>Tide</p>");
  EXPECT_EQ(engine_.error, 0);
  EXPECT_EQ(engine_.datasources().size(), 1);
  EXPECT_EQ(engine_.datasources().get(0).to_utf8(), radix() + ".data.xml");
}

TEST_F(EngineTest, TemplateWithoutStylesheetGivesAnEmptyPage) {
  write(".data.xml", data);
  write(".xsl", "<html><body>no instructions</body></html>");
  engine_.set_radix(String(radix().c_str()));
  engine_.add_datasource(String("data"));
  EXPECT_TRUE(engine_.render());
  EXPECT_TRUE(html_written());
  EXPECT_EQ(html(), "");
}

TEST_F(EngineTest, SectionsAreLoadedIntoOneTree) {
  write(".data0.xml", "<enews><story><h>Wind</h></story></enews>");
  engine_.set_radix(String(radix().c_str()));
  engine_.add_datasource(String("data0"));
  EXPECT_TRUE(
      render("<xsl:for-each select='/enews/story'><xsl:value-of select='h'/>,"
             "</xsl:for-each>"));
  EXPECT_EQ(html(), "Wind,Ferry,Tide,");
}

TEST_F(EngineTest, MissingRadixOrData) {
  RenderingEngine engine;
  engine.add_datasource(String("data"));
  EXPECT_EQ(engine.error, 88);
  EXPECT_EQ(engine.datasources().size(), 0);
  EXPECT_FALSE(engine.render());
  EXPECT_EQ(engine.error, 89);

  // No data file could be read: error 90, but the rendering goes on.
  write(".xsl", "<xsl:stylesheet>page</xsl:stylesheet>");
  engine_.set_radix(String(radix().c_str()));
  engine_.add_datasource(String("data"));
  EXPECT_FALSE(engine_.render());
  EXPECT_EQ(engine_.error, 90);
  EXPECT_EQ(html(), "page");
}

TEST_F(EngineTest, PartOfTheDataMissingIsAWarning) {
  engine_.set_radix(String(radix().c_str()));
  engine_.add_datasource(String("data7"));
  EXPECT_TRUE(render("<xsl:value-of select='/enews/title'/>"));
  EXPECT_EQ(engine_.warning, 40);
  EXPECT_EQ(html(), "Harbour");
}

TEST_F(EngineTest, TemplateFailures) {
  // Unreadable template: 45 on the template, 92 on the engine, no page.
  write(".data.xml", data);
  engine_.set_radix(String(radix().c_str()));
  engine_.add_datasource(String("data"));
  EXPECT_FALSE(engine_.render());
  EXPECT_EQ(engine_.template_parser().error, 45);
  EXPECT_EQ(engine_.error, 92);
  EXPECT_FALSE(html_written());

  // A parse error other than a request's is fatal as well.
  RenderingEngine broken;
  write(".xsl", "<xsl:stylesheet>a</xsl:if-exist></xsl:stylesheet>");
  broken.set_radix(String(radix().c_str()));
  broken.add_datasource(String("data"));
  EXPECT_FALSE(broken.render());
  EXPECT_EQ(broken.error, 92);
  EXPECT_FALSE(html_written());
}

TEST_F(EngineTest, FaultyRequestsStillWriteThePage) {
  EXPECT_FALSE(render("a<xsl:value-of select='/enews/title['/>b"));
  EXPECT_EQ(engine_.error, 91);
  EXPECT_EQ(html(), "ab");
}

TEST_F(EngineTest, ExecutionErrors) {
  EXPECT_FALSE(render("<xsl:value-of select='//story[h]'/>x"));
  EXPECT_EQ(engine_.error, 93);
  EXPECT_EQ(html(), "x");

  RenderingEngine limited;
  XslParser::Limits limits;
  limits.execution_steps = 3;
  limited.template_parser().set_limits(limits);
  write(".xsl",
        "<xsl:stylesheet><xsl:for-each select='//story'>xxxxxxxxxx</xsl:for-each>"
        "</xsl:stylesheet>");
  std::filesystem::remove(radix() + ".html");
  limited.set_radix(String(radix().c_str()));
  limited.add_datasource(String("data"));
  EXPECT_FALSE(limited.render());
  EXPECT_EQ(limited.template_parser().error, 47);
  EXPECT_EQ(limited.error, 94);
  EXPECT_FALSE(html_written());
}

TEST_F(EngineTest, UnwritablePage) {
  std::filesystem::create_directory(radix() + ".html");
  EXPECT_FALSE(render("page"));
  EXPECT_EQ(engine_.error, 95);
}

TEST_F(EngineTest, PicturesOfDataAndTemplate) {
  PictureList pictures;
  engine_.set_picture_target(pictures, String("http://ex.org/t/news.xsl"));
  EXPECT_TRUE(render("<img src=\"logo/top.gif\"><xsl:img select='//pic'/>",
                     "<enews><feed incurl='http://ex.org/f/rss' incsec='012'>"
                     "<pic>p/1.jpg</pic></feed></enews>"));
  EXPECT_EQ(html(), "<img src=\"logo\\top.gif\"><img src=\"p/1.jpg\" />");
  ASSERT_EQ(pictures.size(), 2);
  EXPECT_EQ(pictures.get(0).address.to_utf8(), "http://ex.org/t/logo/top.gif");
  EXPECT_EQ(pictures.get(0).section, -1);
  EXPECT_EQ(pictures.get(1).address.to_utf8(), "http://ex.org/f/p/1.jpg");
  EXPECT_EQ(pictures.get(1).section, 12);
  EXPECT_EQ(pictures.get(1).key, picture_key(pictures.get(1).address));
}

TEST_F(EngineTest, TemplateEncodingComesFromTheStylesheetOrMetaElements) {
  // "\xE9" is e-acute in Windows-1252; the page keeps the template's bytes.
  write(".data.xml", data);
  write(".xsl", "<xsl:stylesheet encoding='iso-8859-1'>caf\xE9</xsl:stylesheet>");
  engine_.set_radix(String(radix().c_str()));
  engine_.add_datasource(String("data"));
  EXPECT_TRUE(engine_.render());
  EXPECT_EQ(html(), "caf\xE9");
  EXPECT_EQ(engine_.template_parser().get(2).name.code_page(), 1252);

  RenderingEngine meta;
  write(".xsl",
        "<html><head><meta http-equiv='Content-Type' content='text/html; "
        "charset=shift_jis'></head><xsl:stylesheet>x</xsl:stylesheet>");
  meta.set_radix(String(radix().c_str()));
  meta.add_datasource(String("data"));
  EXPECT_TRUE(meta.render());
  EXPECT_EQ(meta.template_parser().get(1).name.code_page(), 932);
}

TEST_F(EngineTest, InstructionMessagesQuoteTheTemplateLine) {
  std::string log_path = dir_.file("error_log.txt");
  {
    ErrorLog log(String(log_path.c_str()), true);
    ScopedErrorSink install(&log);
    write(".xsl", "<xsl:stylesheet>\n\n<xsl:for-each>x</xsl:for-each></xsl:stylesheet>");
    write(".data.xml", data);
    engine_.set_radix(String(radix().c_str()));
    engine_.add_datasource(String("data"));
    EXPECT_TRUE(engine_.render());
  }
  std::string expected =
      "Warning(rendering): XSL instruction has no select attribute (and "
      "needs one).\r\n       line: 0000003 in file: " +
      radix() + ".xsl\r\n";
  std::string log = read_bytes(log_path);
  std::string narrow;
  for (std::size_t i = 2; i + 1 < log.size(); i += 2) narrow.push_back(log[i]);
  EXPECT_NE(narrow.find(expected), std::string::npos) << narrow;
}

// The records one rendering leaves in the log, in order: request errors
// quote the template line of their attribute or instruction, the engine's
// own codes have no location line.
TEST_F(EngineTest, ErrorRecordsInTheLog) {
  std::string log_path = dir_.file("error_log.txt");
  {
    ErrorLog log(String(log_path.c_str()), true);
    ScopedErrorSink install(&log);
    RenderingEngine no_radix;
    no_radix.add_datasource(String("data"));
    EXPECT_FALSE(no_radix.render());
    EXPECT_FALSE(render("\n<xsl:value-of select='a['/>\n<xsl:value-of select='//story[h]'/>"));
    EXPECT_EQ(engine_.error, 93);
    EXPECT_EQ(engine_.template_parser().error, 41);
  }
  std::string file = " in file: " + radix() + ".xsl\r\n";
  std::string log = read_bytes(log_path);
  std::string narrow;
  for (std::size_t i = 2; i + 1 < log.size(); i += 2) narrow.push_back(log[i]);
  const std::string expected[] = {
      "Error(rendering): Filename radix not specified when adding a datasource to the XSL "
      "rendering engine.\r\nError(rendering): No XML data to render in the XSL rendering "
      "engine.\r\n",
      "Error(rendering): Unexpected end of string while parsing XSL request.\r\n"
      "     line: 0000002" +
          file + "Error(rendering): Errors while loading XSL rendering template file.\r\n",
      "Error(rendering): Using an XSL request feature that is not implemented in the current "
      "version.\r\n     line: 0000003" +
          file + "Error(rendering): Errors occured while executing XSL rendering template.\r\n",
  };
  std::size_t at = 0;
  for (const std::string& record : expected) {
    std::size_t found = narrow.find(record, at);
    ASSERT_NE(found, std::string::npos) << record << "\nin\n" << narrow;
    at = found + record.size();
  }
  EXPECT_EQ(at, narrow.size()) << "nothing follows the last record";
}

}  // namespace
}  // namespace wayfetch
