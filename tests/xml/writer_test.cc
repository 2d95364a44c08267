// Writing node tables as XML files.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"
#include "tests/xml/tree_text.h"
#include "xml/entity_names.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

using testing::parsed;
using testing::tree_text;
using testing::utf16le;

class WriterTest : public ::testing::Test {
 protected:
  // The bytes `write_file` produces for the table.
  std::string written(XmlParser& parser, int32_t options, const char* header = "") {
    EXPECT_TRUE(parser.write_file(String(path().c_str()), options, String(header)));
    return testing::read_bytes(path());
  }
  std::string path() const { return dir_.file("out.xml"); }

  testing::TempDir dir_;
};

TEST_F(WriterTest, WritesEachKindOfNode) {
  XmlParser parser = parsed("<?xml v?><a x=\"1\">t<b/><!-- c --></a>");
  EXPECT_EQ(written(parser, 0), "<?xml v?><a x=\"1\" >t<b ></b><!-- c --></a>");
}

TEST_F(WriterTest, UnclosedElementsAreWrittenEmptyBeforeTheirChildren) {
  XmlParser parser = parsed("<e a='v'><f>t</f>");
  EXPECT_EQ(written(parser, 0), "<e a=\"v\" /><f >t</f>");
}

TEST_F(WriterTest, HeaderComesFirstUnchanged) {
  XmlParser parser = parsed("<a/>");
  EXPECT_EQ(written(parser, 0, "<?xml version=\"1.0\"?>\r\n"),
            "<?xml version=\"1.0\"?>\r\n<a ></a>");
}

TEST_F(WriterTest, Utf16OutputHasAByteOrderMark) {
  XmlParser parser = parsed("<a x='1'>t</a>");
  EXPECT_EQ(written(parser, XmlParser::write_unicode), "\xFF\xFE" + utf16le("<a x=\"1\" >t</a>"));
  EXPECT_EQ(written(parser, 2), "<a x=\"1\" >t</a>");  // bit 1 changes nothing

  // A table whose first text is UTF-16 is written as UTF-16; narrow texts
  // after it are converted, not mixed in as bytes.
  XmlParser mixed;
  TextScanner wide;
  wide.set_text(utf16le("<r>\xe9</r>").substr(0, 6) + std::string("\xe9\0", 2) + utf16le("</r>"),
                TextEncoding::Unicode, -1);
  mixed.parse(wide);
  mixed.create_text(1, String("b&c;"));
  EXPECT_EQ(written(mixed, 0),
            "\xFF\xFE" + utf16le("<r >") + std::string("\xe9\0", 2) + utf16le("b-c;</r>"));
}

TEST_F(WriterTest, LowerCasingChangesTheTable) {
  XmlParser parser = parsed("<DIV CLASS='X'>T</DIV>");
  EXPECT_EQ(written(parser, XmlParser::write_lower_case), "<div class=\"X\" >T</div>");
  EXPECT_EQ(parser.get(1).name.window_bytes(), "div");
  EXPECT_EQ(parser.get(2).attr_name.window_bytes(), "class");
}

TEST_F(WriterTest, SelfClosedElementIsWrittenWithAnEndTag) {
  XmlParser parser = parsed("<img src='p.png'/><br/>");
  EXPECT_EQ(written(parser, 0), "<img src=\"p.png\" ></img><br ></br>");
  XmlParser open = parsed("<img src='p.png'><br>");
  EXPECT_EQ(written(open, 0), "<img src=\"p.png\" /><br />");
}

TEST_F(WriterTest, BlankOptions) {
  XmlParser parser = parsed("<r>\n <a> </a><b x='1'> </b>x<!-- c --></r>");
  parser.mark_blank(0);
  EXPECT_EQ(written(parser, 0), "<r >\n <a > </a><b x=\"1\" > </b>x<!-- c --></r>");
  EXPECT_EQ(written(parser, XmlParser::write_skip_blank), "<r ><b x=\"1\" ></b>x<!-- c --></r>");
  EXPECT_EQ(written(parser, XmlParser::write_unwrap_blank), "<r ><b x=\"1\" ></b>x<!-- c --></r>");
}

TEST_F(WriterTest, UnwritableFileRaisesError21) {
  XmlParser parser = parsed("<a/>");
  EXPECT_FALSE(parser.write_file(String(dir_.file("missing/out.xml").c_str())));
  EXPECT_EQ(parser.error, 21);
}

TEST_F(WriterTest, UnknownNodeKindRaisesError22) {
  XmlParser parser = parsed("<a>t</a>");
  parser.node(2).kind = 9;
  EXPECT_FALSE(parser.write_file(String(path().c_str()), 0, String()));
  EXPECT_EQ(parser.error, 22);
}

TEST_F(WriterTest, AmpersandsThatStartNoKnownReferenceBecomeDashes) {
  struct Clean {
    const char* text;
    const char* written;
  };
  for (const Clean& c : {
           Clean{"AT&T; sells", "AT-T; sells"},
           Clean{"a &amp; &#160; &nbsp; &NBSP; &zwsp; b", "a &amp; &#160; &nbsp; &NBSP; &zwsp; b"},
           Clean{"&#1; &#; &#x1;", "-#1; -#; &#x1;"},
           Clean{"AT&T sells", "AT&T sells"},
           Clean{"&abcdefghi; &abcdefghij;", "-abcdefghi; -abcdefghij;"},
           Clean{"&&amp; & ;", "-&amp; - ;"},
           Clean{"&amp;&x", "&amp;&x"},
       }) {
    XmlParser parser;
    parser.create_text(0, String(c.text));
    EXPECT_EQ(written(parser, 0), c.written) << c.text;
    // Cleaning happens in the table itself.
    EXPECT_EQ(parser.get(1).name.window_bytes(), c.written) << c.text;
  }
}

TEST(EntityNames, HoldsTheKnownNames) {
  EXPECT_EQ(entity_names().size(), 266u);
  for (std::string_view name : entity_names()) EXPECT_LE(name.size(), 9u);
  EXPECT_TRUE(is_entity_name("Eacute"));
  EXPECT_TRUE(is_entity_name("EACUTE"));
  EXPECT_FALSE(is_entity_name("apos"));
  EXPECT_FALSE(is_entity_name(""));
}

TEST_F(WriterTest, WrittenDocumentParsesToTheSameTree) {
  const char* document =
      "<?xml version=\"1.0\"?>\n<wayfetch-config>\n  <enews name=\"n\" file-count=\"3\">"
      "<title>News &amp; more</title><enewsitem selected=\"yes\"/></enews>\n"
      "  <x content=\"raw-text\"><b>bold</b> <i>x</i></x>\n</wayfetch-config>\n";
  XmlParser parser = parsed(document);
  ASSERT_EQ(parser.error, 0);
  std::string first = tree_text(parser);
  ASSERT_TRUE(parser.write_file(String(path().c_str())));
  TextScanner again;
  ASSERT_TRUE(again.load_file(String(path().c_str())));
  EXPECT_EQ(again.encoding(), TextEncoding::Unicode);
  XmlParser reparsed;
  reparsed.parse(again);
  EXPECT_EQ(reparsed.error, 0);
  EXPECT_EQ(tree_text(reparsed), first);
}

TEST_F(WriterTest, DeepTreesAreWrittenWithoutRecursion) {
  constexpr int depth = 50000;
  std::string page;
  for (int i = 0; i < depth; ++i) page += "<e>";
  XmlParser parser = parsed(page);
  std::string out = written(parser, 0);
  EXPECT_EQ(out.size(), static_cast<size_t>(depth) * 5);
}

}  // namespace
}  // namespace wayfetch
