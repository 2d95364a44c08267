// The state machine: what each mode builds, how it repairs broken input,
// where it stops, and what it reports.
#include <gtest/gtest.h>

#include <string>

#include "core/error_log.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"
#include "tests/xml/tree_text.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

using testing::parsed;
using testing::tree_text;
using testing::utf16le;

struct Case {
  const char* input;
  ParseMode mode;
  const char* tree;
  int32_t error;
  int32_t warning;
};

class ParseCases : public ::testing::TestWithParam<Case> {};

TEST_P(ParseCases, BuildsTheTreeAndReports) {
  const Case& c = GetParam();
  XmlParser parser = parsed(c.input, c.mode);
  EXPECT_EQ(tree_text(parser), c.tree) << c.input;
  EXPECT_EQ(parser.error, c.error) << c.input;
  EXPECT_EQ(parser.warning, c.warning) << c.input;
  // Every parse ends with the stack emptied and the root current.
  EXPECT_EQ(parser.open_elements().top(), 1);
  EXPECT_EQ(parser.current(), 0);
  EXPECT_FALSE(parser.silent);
}

constexpr ParseMode xml = ParseMode::xml;
constexpr ParseMode xsl = ParseMode::xsl_template;
constexpr ParseMode tmpl = ParseMode::extraction_template;
constexpr ParseMode head = ParseMode::html_head;

INSTANTIATE_TEST_SUITE_P(
    Xml, ParseCases,
    ::testing::Values(
        Case{"<a x=\"1\" y='2'>hi<b/>there<!-- c --><?pi x?></a>", xml,
             "[a[@x=1,@y=2,'hi',b[],'there',#!-- c --,#?pi x?]]", 0, 0},
        // Implicit closing: b and c move under a and stay open.
        Case{"<a><b><c>x</a>", xml, "[a[b~[],c~['x']]]", 0, 9},
        // An end tag that matches nothing: the rest of the tag is text.
        Case{"</x>hello", xml, "['>hello']", 23, 0},
        Case{"<a>t</b>u</a>", xml, "[a['t','>u']]", 23, 9},
        Case{"<p checked>t</p>", xml, "[p[@checked=,'t']]", 0, 8},
        Case{"<p a=>t</p>", xml, "[p[@a=,'t']]", 0, 8},
        Case{"<p a=\"\" b=c>t</p>", xml, "[p[@a=,@b=c,'t']]", 0, 8},
        Case{"<a t='say \"hi\"'/>", xml, "[a[@t=say ]]", 0, 0},
        // A quoted value that reaches the end of the text ends the parse.
        Case{"<p a=\"never", xml, "[p~[@a=]]", 0, 8},
        Case{"<p a='never b=1 ", xml, "[p~[@a=]]", 0, 8},
        Case{"<a>\n  <b/>\n</a>", xml, "[a['\n  ',b[],'\n']]", 0, 0},
        Case{"<a>\n  <b/>\n</a>", tmpl, "[a['\n  ',b[],'\n']]", 0, 0},
        // Blanks after "<" are skipped; a "<" that starts no name is text.
        Case{"< a>x</ a >", xml, "[a['x']]", 0, 0}, Case{"1 <5 2", xml, "['1 ','<5 2']", 18, 0},
        Case{"a</ 5>b", xml, "['a','</ 5>b']", 18, 0},
        Case{"<!-- never closed", xml, "[#!-- never closed]", 24, 0},
        Case{"<!DOCTYPE html", xml, "[#!DOCTYPE html]", 24, 0},
        Case{"<!---->x<!-- a - b -- c --->", xml, "[#!----,'x',#!-- a - b -- c ---]", 0, 0},
        Case{"<?xml version=\"1.0\"?><!DOCTYPE r><r/>", xml,
             "[#?xml version=\"1.0\"?,#!DOCTYPE r,r[]]", 0, 0},
        Case{"<a>t</a x>y", xml, "[a['t'],'y']", 0, 13},
        Case{"<a b=1/>t</a>", xml, "[a[@b=1/,'t']]", 0, 0},
        Case{"<a =b>t</a>", xml, "[a[@b=,'t']]", 0, 8},
        Case{"<a % x=1>t</a>", xml, "[a[@x=1,'t']]", 0, 14},
        // Raw text: content="raw-text" in every mode but the XSL ones.
        Case{"<x content=\"raw-text\"><b>bold</b></x><y/>", xml,
             "[x[@content=raw-text,'<b>bold</b>'],y[]]", 0, 0},
        Case{"<x content='raw-text'><b>bold</ X ></b></x>", xml,
             "[x[@content=raw-text,'<b>bold'],'>','>']", 23, 0},
        Case{"<begin><a href=\"y\"></begin><c/>", tmpl, "[begin['<a href=\"y\">'],c[]]", 0, 0},
        Case{"<FILTER><b></filter>", tmpl, "[FILTER['<b>']]", 0, 0},
        Case{"<begin><a href=\"y\"></begin>", xml, "[begin[a~[@href=y]]]", 0, 9},
        // Outside the page modes a script is markup like any other.
        Case{"<script>a<b</script>", xml, "[script~['a',b~[@script=]]]", 0, 8},
        Case{"<head><script>if (a<b) w(\"</p>\")</script></head><p>x</p>", head,
             "[head[script['if (a<b) w(\"</p>\")']]]", 0, 0},
        // NUL bytes are characters like any other.
        Case{"<a>x\0y", xml, "[a~['x']]", 0, 0}));

INSTANTIATE_TEST_SUITE_P(
    XslText, ParseCases,
    ::testing::Values(Case{"<p>Hello<xsl:value-of/></p>", xsl, "['<p>Hello',xsl:value-of[],'</p>']",
                           0, 0},
                      Case{"  <xsl:if select=\"a\"><b>x</b></xsl:if>", xsl,
                           "[xsl:if[@select=a,'<b>x</b>']]", 0, 0},
                      Case{"<XSL:for-each>x</xsl:FOR-EACH>", xsl, "[XSL:for-each['x']]", 0, 0},
                      Case{"a</xsl:if>b", xsl, "['a','>b']", 23, 0},
                      // A text that ends inside a tag keeps all of its last run.
                      Case{"<xsl:if/>abc<", xsl, "[xsl:if[],'abc<']", 0, 0},
                      Case{"<xsl:if/>abc< ", xsl, "[xsl:if[],'abc< ']", 0, 0},
                      Case{"<xsl:if/>abc</", xsl, "[xsl:if[],'abc</']", 0, 0},
                      Case{"abc</ ", xsl, "['abc</ ']", 0, 0}));

TEST(Parser, ImplicitCloseEndsTheMovedElementsAtTheEndTag) {
  XmlParser parser = parsed("<a><b><c>x</a>");
  // Nodes: 1 a, 2 b, 3 c, 4 text.
  EXPECT_EQ(parser.get(1).source_end, 14);
  EXPECT_EQ(parser.get(2).source_end, 10);
  EXPECT_EQ(parser.get(3).source_end, 10);
  EXPECT_EQ(parser.get(3).parent, 1);
  EXPECT_EQ(parser.get(2).children.size(), 0);
}

TEST(Parser, RecordsSourceOffsetsAndLines) {
  XmlParser parser = parsed("<r>\n<b x='v'/>\n\n<c>t</c></r>");
  // 1 r, 2 text, 3 b, 4 @x, 5 text, 6 c, 7 text
  const XmlNode& b = parser.get(3);
  EXPECT_EQ(b.source_start, 4);
  EXPECT_EQ(b.source_end, 14);
  EXPECT_EQ(b.source_line, 2);
  EXPECT_EQ(parser.get(4).source_start, 10);
  EXPECT_EQ(parser.get(4).source_end, 11);
  EXPECT_EQ(parser.get(6).source_line, 4);
  EXPECT_EQ(parser.get(6).source_start, 16);
  EXPECT_EQ(parser.get(6).source_end, 24);
  EXPECT_EQ(parser.get(1).source_end, 28);
}

TEST(Parser, LineFeedsInTheLookAheadOfRawContentCountOnce) {
  XmlParser parser = parsed("<r content='raw-text'>a<\n/b>\n</r><x/>");
  ASSERT_EQ(tree_text(parser), "[r[@content=raw-text,'a<\n/b>\n'],x[]]");
  EXPECT_EQ(parser.get(4).source_line, 3);
}

TEST(Parser, NodesOfSuccessiveParsesShareTheTable) {
  XmlParser parser;
  TextScanner first("<a/>");
  TextScanner second("<b>t</b>");
  parser.parse(first);
  parser.parse(second);
  EXPECT_EQ(tree_text(parser), "[a[],b['t']]");
  parser.reset();
  EXPECT_EQ(parser.node_count(), 1);
}

TEST(Parser, InputWithAnErrorIsNotParsed) {
  XmlParser parser;
  TextScanner text("<a/>");
  text.raise_error(7);
  parser.parse(text);
  EXPECT_EQ(parser.error, 25);
  EXPECT_EQ(parser.node_count(), 1);
}

TEST(Parser, UnreadableDoubleByteTextEndsTheParse) {
  XmlParser parser;
  TextScanner text("<a/>");
  text.set_encoding(TextEncoding::Multibyte, 1252);
  parser.parse(text);
  EXPECT_EQ(parser.error, 22);
}

TEST(Parser, ReadsUtf16Text) {
  XmlParser parser;
  TextScanner text;
  text.set_text(utf16le("<A x='1'>t</a>\n<b/>"), TextEncoding::Unicode, -1);
  parser.parse(text);
  EXPECT_EQ(tree_text(parser), "[A[@x=1,'t'],'\n',b[]]");
  EXPECT_EQ(parser.get(1).name.encoding(), TextEncoding::Unicode);
  EXPECT_EQ(parser.get(5).source_line, 2);
  EXPECT_EQ(parser.get(5).source_start, 30);
}

TEST(Parser, ReadsDoubleByteCharactersWhole) {
  // 0x82 leads a double-byte character in code page 932, so the "<" after
  // it belongs to that character and opens no tag; 0x5C is a trail byte.
  XmlParser parser;
  static constexpr char page[] = "<p a='\x83\x5c'>\x82</p>\x82";
  TextScanner text(std::string_view(page, sizeof page - 1));
  text.set_encoding(TextEncoding::Multibyte, 932);
  parser.parse(text);
  EXPECT_EQ(tree_text(parser), "[p~[@a=\x83\x5c,'\x82</p>\x82']]");
}

TEST(Parser, TagModeReadsOneStartTagPerParse) {
  XmlParser parser;
  parser.set_mode(ParseMode::html_tag);
  std::string page = "x <!-- <b> --> </a> <a href='u' name=n>link</a><img src=p>";
  TextScanner text(page);
  parser.parse(text);
  EXPECT_EQ(tree_text(parser), "[a~[@href=u,@name=n]]");
  EXPECT_EQ(text.cursor(), static_cast<int32_t>(page.find("link")));
  EXPECT_EQ(parser.get(1).source_start, static_cast<int32_t>(page.find("<a ")));
  EXPECT_EQ(parser.get(1).source_end, static_cast<int32_t>(page.find("link")));
  parser.parse(text);
  EXPECT_EQ(tree_text(parser), "[a~[@href=u,@name=n],img~[@src=p]]");
  EXPECT_EQ(text.cursor(), static_cast<int32_t>(page.size()));
  parser.parse(text);
  EXPECT_EQ(parser.node_count(), 6);
  EXPECT_EQ(text.warning, 2);
}

TEST(Parser, TagModeSkipsScriptContent) {
  XmlParser parser;
  parser.set_mode(ParseMode::html_tag);
  std::string page = "<script>var x = \"<b>\";</script><p>";
  TextScanner text(page);
  parser.parse(text);
  EXPECT_EQ(tree_text(parser), "[script~[]]");
  EXPECT_EQ(text.cursor(), static_cast<int32_t>(page.find("</script>")));
  parser.parse(text);
  EXPECT_EQ(tree_text(parser), "[script~[],p~[]]");
}

TEST(Parser, TagModeGivesUpOnAStrayCharacter) {
  XmlParser parser;
  parser.set_mode(ParseMode::html_tag);
  TextScanner text("<a href=\"x\" = b>");
  parser.parse(text);
  EXPECT_EQ(parser.warning, 12);
  EXPECT_EQ(text.cursor(), 13);
  EXPECT_EQ(tree_text(parser), "[a~[@href=x]]");
}

TEST(Parser, HeadModesStopAtTheEndOfTheHead) {
  std::string page =
      "<html><head><meta http-equiv=\"Content-Type\" "
      "content=\"text/html; charset=shift_jis\"></head><body><p>x</p></body></html>";
  for (ParseMode mode : {ParseMode::html_head_charset, ParseMode::html_head}) {
    XmlParser parser;
    parser.set_mode(mode);
    TextScanner text(page);
    parser.parse(text);
    EXPECT_EQ(
        tree_text(parser),
        "[html~[head[meta~[@http-equiv=Content-Type,@content=text/html; charset=shift_jis]]]]");
    EXPECT_EQ(text.cursor(), static_cast<int32_t>(page.find("><body")));
    bool detects = mode == ParseMode::html_head_charset;
    EXPECT_EQ(text.encoding(), detects ? TextEncoding::Multibyte : TextEncoding::SingleByte);
    EXPECT_EQ(text.code_page(), detects ? 932 : -1);
  }
}

struct Detection {
  const char* input;
  ParseMode mode;
  TextEncoding encoding;
  int32_t code_page;
  int32_t warning;
};

class EncodingDetection : public ::testing::TestWithParam<Detection> {};

TEST_P(EncodingDetection, RelabelsTheText) {
  const Detection& d = GetParam();
  XmlParser parser;
  parser.set_mode(d.mode);
  TextScanner text(d.input);
  parser.parse(text);
  EXPECT_EQ(text.encoding(), d.encoding) << d.input;
  EXPECT_EQ(text.code_page(), d.code_page) << d.input;
  EXPECT_EQ(parser.warning, d.warning) << d.input;
  EXPECT_EQ(text.window_bytes(), std::string_view(text.window_bytes()));
}

constexpr TextEncoding single = TextEncoding::SingleByte;
constexpr TextEncoding multi = TextEncoding::Multibyte;

INSTANTIATE_TEST_SUITE_P(
    Modes, EncodingDetection,
    ::testing::Values(
        Detection{"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r/>",
                  ParseMode::xml_prolog_encoding, multi, 932, 0},
        Detection{"<?xml version='1.0' encoding = big5 ?><r/>", ParseMode::xml_prolog_encoding,
                  multi, 950, 0},
        Detection{"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r/>", ParseMode::xml_prolog,
                  single, -1, 0},
        Detection{"<r encoding='big5'/>", ParseMode::xml_prolog_encoding, single, -1, 10},
        Detection{"<?xml encoding=\"utf-8\"?>", ParseMode::xml_prolog_encoding, single, -1, 11},
        Detection{"<?xml encoding=\"US-ASCII\"?>", ParseMode::xml_prolog_encoding, single, 20105,
                  0},
        Detection{"<html><xsl:stylesheet version=\"1\" encoding=\"GB2312\">",
                  ParseMode::xsl_head_encoding, multi, 936, 0},
        Detection{"<xsl:template encoding=\"GB2312\"><xsl:stylesheet encoding='big5'>",
                  ParseMode::xsl_head_encoding, single, -1, 10},
        // The charset of a content attribute counts after an http-equiv; the last one wins.
        Detection{"<meta content='text/html; charset=big5' http-equiv=x>"
                  "<meta http-equiv=x content='text/html; Charset = latin1'>",
                  ParseMode::html_head_charset, single, 1252, 0},
        Detection{"<meta charset=big5></head>", ParseMode::html_head_charset, single, -1, 10},
        Detection{"<meta http-equiv=x content=\"text/html; charset=utf-8\">",
                  ParseMode::html_head_charset, single, -1, 11}));

TEST(EncodingDetection, LeavesUtf16TextAlone) {
  for (ParseMode mode : {ParseMode::html_head_charset, ParseMode::xml_prolog_encoding,
                         ParseMode::xsl_head_encoding}) {
    XmlParser parser;
    parser.set_mode(mode);
    TextScanner text;
    text.set_text(utf16le("<?xml encoding='big5'?><meta http-equiv=a content='charset=big5'>"
                          "<xsl:stylesheet encoding='big5'>"),
                  TextEncoding::Unicode, -1);
    parser.parse(text);
    EXPECT_EQ(text.encoding(), TextEncoding::Unicode);
    EXPECT_NE(parser.warning, 10);
    EXPECT_NE(parser.warning, 11);
  }
}

TEST(Parser, XslHeadModeStopsAfterTheFirstXslStartTag) {
  XmlParser parser;
  parser.set_mode(ParseMode::xsl_head_encoding);
  std::string text_bytes = "<html><xsl:stylesheet a='1'><xsl:if/>";
  TextScanner text(text_bytes);
  parser.parse(text);
  EXPECT_EQ(tree_text(parser), "['<html>',xsl:stylesheet~[@a=1]]");
  EXPECT_EQ(text.cursor(), static_cast<int32_t>(text_bytes.find("<xsl:if")));
}

TEST(Parser, PrologModesStopAtTheFirstDeclarationOrElement) {
  XmlParser parser;
  parser.set_mode(ParseMode::xml_prolog);
  TextScanner text("<!-- a --> <?xml v?><r/>");
  parser.parse(text);
  EXPECT_EQ(tree_text(parser), "[#!-- a --,' ',#?xml v?]");
  XmlParser element_first;
  element_first.set_mode(ParseMode::xml_prolog);
  TextScanner second("<r><?xml v?>");
  element_first.parse(second);
  EXPECT_EQ(element_first.node_count(), 1);
}

TEST(Parser, DeepAndBrokenNestingStaysLinear) {
  // 100 000 open elements, then end tags that match nothing or the bottom.
  constexpr int depth = 100000;
  std::string page = "<r>";
  for (int i = 0; i < depth; ++i) page += "<e>";
  for (int i = 0; i < depth; ++i) page += "</zz>";
  page += "</r>";
  XmlParser parser = parsed(page);
  EXPECT_EQ(parser.error, 23);
  EXPECT_EQ(parser.get(1).children.size(), depth);
  EXPECT_TRUE(parser.get(1).closed);
  EXPECT_EQ(parser.get(depth + 1).parent, 1);
}

TEST(Parser, HostileInputStopsAtTheNodeLimit) {
  // "<<<<..." makes a node per byte; the table stops growing at its limit.
  XmlParser parser;
  parser.set_node_limit(5000);
  TextScanner text(std::string(20000, '<'));
  parser.parse(text);
  EXPECT_EQ(parser.error, 27);
  EXPECT_EQ(parser.node_count(), 5000);
}

TEST(Parser, SilentModesLeaveTheLogAlone) {
  testing::TempDir dir;
  ErrorLog log(String(dir.file("error_log.txt").c_str()), true);
  ScopedErrorSink install(&log);
  XmlParser quiet = parsed("</x>", ParseMode::html_head);
  EXPECT_EQ(quiet.error, 23);
  EXPECT_FALSE(quiet.silent);
  EXPECT_EQ(testing::read_bytes(dir.file("error_log.txt")).size(), 2u);
  // A parser its caller silenced stays silent after a quiet mode.
  for (ParseMode mode : {ParseMode::html_head_charset, ParseMode::html_head, ParseMode::html_tag}) {
    XmlParser silenced;
    silenced.silent = true;
    silenced.set_mode(mode);
    TextScanner text("<a>");
    silenced.parse(text);
    EXPECT_TRUE(silenced.silent);
    silenced.set_mode(ParseMode::xml);
    TextScanner bad("</y>");
    silenced.parse(bad);
  }
  EXPECT_EQ(testing::read_bytes(dir.file("error_log.txt")).size(), 2u);

  XmlParser loud = parsed("\n\n</x>");
  std::string expected =
      utf16le("Error(parsing): Closing an unknown node.\r\n     line: 0000003\r\n");
  EXPECT_EQ(testing::read_bytes(dir.file("error_log.txt")), "\xFF\xFE" + expected);
}

TEST(Parser, ParseFilesDetectsEachEncodingAndKeepsOneTable) {
  testing::TempDir dir;
  testing::write_bytes(dir.file("a.xml"), "<?xml encoding='shift_jis'?><a>\x82\xa0</a>");
  testing::write_bytes(dir.file("b.xml"), "<b>x</b>");
  Storage<String> names;
  names.push(String(dir.file("a.xml").c_str()));
  names.push(String(dir.file("missing.xml").c_str()));
  names.push(String(dir.file("b.xml").c_str()));
  XmlParser parser;
  EXPECT_FALSE(parser.parse_files(names, ParseMode::xml));
  EXPECT_EQ(parser.error, 26);
  EXPECT_EQ(tree_text(parser), "[#?xml encoding='shift_jis'?,a['\x82\xa0'],b['x']]");
  EXPECT_EQ(parser.get(3).name.code_page(), 932);
  EXPECT_EQ(parser.get(5).name.code_page(), -1);
}

TEST(Parser, MessagesQuoteTheLineAndTheFile) {
  testing::TempDir dir;
  ErrorLog log(String(dir.file("error_log.txt").c_str()), true);
  ScopedErrorSink install(&log);
  std::string file = dir.file("page.xml");
  testing::write_bytes(file, "<a>\n\n</b></a>");
  Storage<String> names;
  names.push(String(file.c_str()));
  XmlParser parser;
  EXPECT_TRUE(parser.parse_files(names, ParseMode::xml));
  // The prolog parse finds no declaration (warning 10, quoting the file);
  // the end tag of b closes nothing (warning 9, then error 23, at line 3).
  std::string expected =
      utf16le("Warning(parsing): No text encoding found.\r\n        in file: " + file + "\r\n" +
              "Warning(parsing): Unclosed XML node(s) above.\r\n"
              "       line: 0000003 in file: " +
              file + "\r\n" +
              "Error(parsing): Closing an unknown node.\r\n"
              "     line: 0000003 in file: " +
              file + "\r\n");
  EXPECT_EQ(testing::read_bytes(dir.file("error_log.txt")), "\xFF\xFE" + expected);
}

TEST(Parser, KeepsTheFileSlotOfWhatItParsed) {
  testing::TempDir dir;
  std::string file = dir.file("t.xsl");
  testing::write_bytes(file, "<a>\n</b>");
  testing::RecordingSink sink;
  ScopedErrorSink install(&sink);
  XmlParser parser;
  XmlParser imported;
  {
    TextScanner text;
    ASSERT_TRUE(text.load_file(String(file.c_str())));
    parser.parse(text);
  }
  // The nodes name slot 0 by number: it stays until the table is emptied,
  // also in a table that imported them.
  EXPECT_EQ(parser.get(1).name.context(), 0);
  imported.import_subtree(parser, 1);
  parser.reset();
  EXPECT_TRUE(sink.released.empty());
  imported.reset();
  EXPECT_EQ(sink.released, std::vector<int32_t>{0});
}

TEST(Parser, ModesByNumber) {
  XmlParser parser;
  for (int32_t number = 0; number <= 8; ++number) {
    parser.set_mode(number);
    EXPECT_EQ(static_cast<int32_t>(parser.mode()), number);
  }
  parser.set_mode(9);
  EXPECT_EQ(parser.mode(), ParseMode::xml);
  parser.set_mode(3);
  TextScanner text("<head><script>a</head></script></head><p/>");
  parser.parse(text);
  EXPECT_EQ(tree_text(parser), "[head[script['a</head>']]]");
}

TEST(Parser, InputWithAnErrorIsLeftAsItWas) {
  XmlParser parser;
  parser.set_mode(ParseMode::html_tag);
  TextScanner text("<a/>");
  text.raise_error(7);
  parser.parse(text);
  EXPECT_EQ(parser.error, 25);
  EXPECT_FALSE(parser.silent);
  EXPECT_EQ(text.cursor(), -1);
  EXPECT_EQ(text.warning, 0);
}

TEST(PageQueries, FindBaseHref) {
  XmlParser parser = parsed("<base target=x><BASE HREF=\"http://a/\"><base href=b>");
  String href;
  EXPECT_TRUE(parser.find_base_href(href));
  EXPECT_EQ(href.window_bytes(), "http://a/");
  String none;
  EXPECT_FALSE(parsed("<a href=x>").find_base_href(none));
}

TEST(PageQueries, FindRefresh) {
  struct Refresh {
    const char* page;
    bool found;
    int32_t delay;
    const char* url;
  };
  for (const Refresh& r : {
           Refresh{"<meta http-equiv=\"Refresh now\" content=\" 7 ; URL=http://x/y?a=b\">", true, 7,
                   "http://x/y?a=b"},
           Refresh{"<meta content=0 http-equiv=refresh>", true, 0, ""},
           Refresh{"<meta http-equiv=refresh><meta http-equiv=expires content=1>", false, 0, ""},
           Refresh{"<meta http-equiv=refreshing content='1;url=x'>", false, 0, ""},
       }) {
    XmlParser parser = parsed(r.page);
    String url;
    int32_t delay = -5;
    EXPECT_EQ(parser.find_refresh(url, delay), r.found) << r.page;
    if (!r.found) continue;
    EXPECT_EQ(delay, r.delay) << r.page;
    EXPECT_EQ(url.window_bytes(), r.url) << r.page;
  }
}

}  // namespace
}  // namespace wayfetch
