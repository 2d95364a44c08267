// The instructions, executed directly over small data trees: what each one
// outputs, which children it runs with which current node, and what it reports.
#include <gtest/gtest.h>

#include <string>

#include "core/text_scanner.h"
#include "rendering/xsl_parser.h"
#include "tests/xml/tree_text.h"

namespace wayfetch {
namespace {

using testing::tree_text;

constexpr const char* feed =
    "<rss><channel><title>C1</title><item><title>A</title></item><item><title>B</title></item>"
    "<item><title>C</title></item></channel>"
    "<channel><title>C2</title><item><title>D</title></item><item><title>E</title></item>"
    "</channel></rss>";

class RunTest : public ::testing::Test {
 protected:
  // Executes "<xsl:stylesheet>" + body + "</xsl:stylesheet>" over `data` and
  // returns the output tree's text form.
  std::string run(const std::string& body, const std::string& data = feed) {
    return run_template("<xsl:stylesheet>" + body + "</xsl:stylesheet>", data);
  }
  std::string run_template(const std::string& text, const std::string& data = feed) {
    data_ = testing::parsed(data);
    tmpl_ = XslParser();
    tmpl_.set_limits(limits_);
    tmpl_.set_picture_target(target_ ? &pictures_ : nullptr, template_address_);
    tmpl_.set_mode(ParseMode::xsl_template);
    TextScanner input{std::string_view(text)};
    tmpl_.parse(input);
    tmpl_.prepare_template();
    output_ = XmlParser();
    tmpl_.execute(0, output_, data_, 0);
    return tree_text(output_);
  }
  // The output's texts, joined.
  std::string joined() {
    std::string out;
    for (int32_t i = 1; i < output_.node_count(); ++i) {
      if (output_.get(i).kind == node_text) out += testing::shown(output_.get(i).name);
    }
    return out;
  }
  std::string picture(int32_t i) {
    const PictureListEntry& record = pictures_.get(i);
    return record.address.to_utf8() + "@" + std::to_string(record.section);
  }

  XmlParser data_;
  XslParser tmpl_;
  XmlParser output_;
  XslParser::Limits limits_;
  bool target_ = false;
  PictureList pictures_;
  String template_address_;
};

TEST_F(RunTest, OnlyTheFirstStylesheetRuns) {
  EXPECT_EQ(run_template("<p>before</p>"), "[]");
  EXPECT_EQ(run_template("<p>x</p><xsl:stylesheet>in</xsl:stylesheet>after"), "['in']");
  EXPECT_EQ(run_template("<xsl:stylesheet>a<XSL:STYLESHEET>b</XSL:STYLESHEET>c</xsl:stylesheet>"
                         "<xsl:stylesheet>d</xsl:stylesheet>"),
            "['a','c']");
  EXPECT_EQ(tmpl_.warning, 19);
  EXPECT_EQ(run("a<xsl:bogus>b<xsl:value-of select='//title'/></xsl:bogus>c"), "['a','c']");
  EXPECT_EQ(tmpl_.warning, 19);
  EXPECT_EQ(run("a<xsl:comment>b<xsl:bogus/></xsl:comment>c"), "['a','c']");
  EXPECT_EQ(tmpl_.warning, 0);
  EXPECT_EQ(tmpl_.error, 0);
}

TEST_F(RunTest, ForEachCountsItsPassesInTheLoopIndex) {
  run("<xsl:for-each select='/rss/channel[0]/item' index='i'>"
      "[<xsl:value-of select='../item[#i]/title'/>]</xsl:for-each>");
  EXPECT_EQ(joined(), "[A][B][C]");
  EXPECT_EQ(tmpl_.loop_value(0), 3u);
  // Nested loops each keep their own index; an empty loop leaves it at 0.
  run("<xsl:for-each select='//channel' index='c'><xsl:for-each select='item' index='i'>"
      "<xsl:value-of select='/rss/channel[#c]/item[#i]/title'/></xsl:for-each>;"
      "</xsl:for-each><xsl:for-each select='//none' index='n'/>");
  EXPECT_EQ(joined(), "ABC;DE;");
  EXPECT_EQ(tmpl_.loop_value(0), 2u);
  EXPECT_EQ(tmpl_.loop_value(1), 2u);
  EXPECT_EQ(tmpl_.loop_value(2), 0u);
}

TEST_F(RunTest, ChildrenRunWithTheInstructionsOwnCurrentNode) {
  run("<xsl:for-each select='//channel'><xsl:if-exist select='item[2]'>"
      "<xsl:value-of select='title'/></xsl:if-exist><xsl:if-not-exist select='item[2]'>"
      "<xsl:value-of select='title'/>!</xsl:if-not-exist>"
      "<xsl:context select='item[#last]'>(<xsl:value-of select='title'/>)</xsl:context>"
      "<xsl:context select='none'>never</xsl:context></xsl:for-each>");
  EXPECT_EQ(joined(), "C1(C)C2!(E)");
  EXPECT_EQ(tmpl_.error, 0);
}

TEST_F(RunTest, SelectingInstructionsNeedARequest) {
  for (const char* name : {"xsl:if-exist", "xsl:if-not-exist", "xsl:for-each", "xsl:context"}) {
    std::string tag(name);
    EXPECT_EQ(run("<" + tag + " index='q'>x</" + tag + ">"), "[]") << name;
    EXPECT_EQ(tmpl_.warning, 17) << name;
  }
  // A faulty request selects nothing.
  EXPECT_EQ(run("<xsl:if-not-exist select='a['>x</xsl:if-not-exist>"
                "<xsl:if-exist select='a['>y</xsl:if-exist>"),
            "['x']");
  EXPECT_EQ(tmpl_.warning, 0);
  // The first attribute carrying a request counts.
  EXPECT_EQ(run("<xsl:if-exist select-log='//none' select='//item'>y</xsl:if-exist>"), "[]");
}

TEST_F(RunTest, ValueOfCopiesContentWithinTheBudget) {
  const char* data = "<d><t>abcdefghijklmnopqrstuvwxy</t><t>zzz</t></d>";
  EXPECT_EQ(run("<xsl:value-of select='/d/t' max-char='10'/>", data), "['abcdefghij']");
  EXPECT_EQ(run("<xsl:value-of select='/d/t' max-char='0'/>", data), "[]");
  EXPECT_EQ(run("<xsl:value-of select='/d/t' max-char='x'/>", data),
            "['abcdefghijklmnopqrstuvwxy','zzz']");
  EXPECT_EQ(run("<xsl:value-of select='/d/t'/>", data), "['abcdefghijklmnopqrstuvwxy','zzz']");
  const char* marked = "<d><t a='1'>abc<b>defgh</b>ij<!--c--></t></d>";
  EXPECT_EQ(run("<xsl:value-of select='/d/t' max-char='5'/>", marked), "['abc',b['de']]");
  EXPECT_EQ(run("<xsl:value-of select='/d/t'/>", marked), "['abc',b['defgh'],'ij',#!--c--]");
  // Without a request: the current node's content, never the document's.
  EXPECT_EQ(run("<xsl:value-of/>", marked), "[]");
  EXPECT_EQ(run("<xsl:for-each select='//b'><xsl:value-of/></xsl:for-each>", marked), "['defgh']");
}

TEST_F(RunTest, ValueOfNoTagsJoinsTextsIntoOneNode) {
  const char* data = "<d><t>one <b>two</b></t><t>three</t><u/></d>";
  EXPECT_EQ(run("<xsl:value-of select='/d/t' html-filter='No-Tags' max-char='2'/>", data),
            "['one twothree']");
  EXPECT_EQ(run("<xsl:value-of select='/d/u' html-filter='no-tags'/>", data), "[]");
  EXPECT_EQ(run("<xsl:value-of select='/d/t' html-filter='first-text'/>", data),
            "['one ',b['two'],'three']");
}

TEST_F(RunTest, CopyCopiesWholeNodes) {
  EXPECT_EQ(run("<xsl:copy select='/rss/channel[1]/item'/>"),
            "[item[title['D']],item[title['E']]]");
  EXPECT_EQ(run("<xsl:copy select='/rss/channel[1]/item' max-char='1'/>"), "[item[title['D']]]");
  EXPECT_EQ(run("<xsl:copy/>"), "[]");
  EXPECT_EQ(run("<xsl:for-each select='//channel/item[0]/title'><xsl:copy>!</xsl:copy>"
                "</xsl:for-each>"),
            "[title['A'],'!',title['D'],'!']");
}

TEST_F(RunTest, AnchorsNameTheDataNode) {
  run("<xsl:for-each select='//channel/item[0]'><xsl:ahref>L</xsl:ahref><xsl:aname/>"
      "</xsl:for-each>");
  EXPECT_EQ(joined(),
            "<a href=\"#item_5_channel_2_rss_1_\" >L</a><a name=\"item_5_channel_2_rss_1_\" ></a>"
            "<a href=\"#item_11_channel_E_rss_1_\" >L</a>"
            "<a name=\"item_11_channel_E_rss_1_\" ></a>");
  EXPECT_EQ(tmpl_.warning, 0);
  // Several nodes: the first, with warning 18. None: no anchor, but the children.
  run("<xsl:aname select='//title'>x</xsl:aname>");
  EXPECT_EQ(joined(), "<a name=\"title_3_channel_2_rss_1_\" >x</a>");
  EXPECT_EQ(tmpl_.warning, 18);
  EXPECT_EQ(run("<xsl:ahref>x</xsl:ahref>"), "['x']");
  EXPECT_EQ(tmpl_.warning, 18);
}

TEST_F(RunTest, DateUsesThePictureAndTheTemplatesEncoding) {
  String year;
  ASSERT_FALSE(year.format_date(String("yyyy")));
  run("<xsl:date format=\"'Year' yyyy\"/>");
  EXPECT_EQ(joined(), "Year " + year.to_utf8());
  String short_date;
  ASSERT_FALSE(short_date.format_date(String()));
  run("<xsl:date>ignored</xsl:date>");
  EXPECT_EQ(joined(), short_date.to_utf8());

  // A UTF-16 template gets a UTF-16 date.
  std::string wide;
  for (char c : std::string("<xsl:stylesheet><xsl:date format='yyyy'/></xsl:stylesheet>")) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  data_ = testing::parsed(feed);
  tmpl_ = XslParser();
  tmpl_.set_mode(ParseMode::xsl_template);
  TextScanner input;
  input.set_text(wide, TextEncoding::Unicode, -1);
  tmpl_.parse(input);
  tmpl_.prepare_template();
  output_ = XmlParser();
  tmpl_.execute(0, output_, data_, 0);
  ASSERT_EQ(output_.node_count(), 2);
  EXPECT_EQ(output_.get(1).name.encoding(), TextEncoding::Unicode);
  EXPECT_EQ(output_.get(1).name.to_utf8(), year.to_utf8());
}

constexpr const char* pictures =
    "<feed incurl='http://ex.org/news/rss.xml' incsec='03'><item><pic>img/a.jpg</pic>"
    "<cap>Cap</cap></item><item><pic> img/a.jpg </pic></item><item><pic/><pic>b.png</pic>"
    "</item></feed><other incsec=''><pic>c.gif</pic></other>"
    "<inc incurl='http://ex.org/x/'><s incsec=''><pic>d.gif</pic></s></inc>";

TEST_F(RunTest, ImgWritesATagAndReportsIncludedPictures) {
  target_ = true;
  run("<xsl:for-each select='//pic'><xsl:img select='.' select-log='../cap'/></xsl:for-each>"
      "<xsl:img select='//item[2]/pic'/>",
      pictures);
  EXPECT_EQ(joined(),
            "<img src=\"img/a.jpg\" logas=\"Cap\" /><img src=\" img/a.jpg \" />"
            "<img src=\"b.png\" /><img src=\"c.gif\" /><img src=\"d.gif\" />"
            "<img src=\"b.png\" />");
  ASSERT_EQ(pictures_.size(), 3);
  EXPECT_EQ(picture(0), "http://ex.org/news/img/a.jpg@3");
  EXPECT_EQ(picture(1), "http://ex.org/news/b.png@3");
  EXPECT_EQ(picture(2), "http://ex.org/x/d.gif@0");
  EXPECT_EQ(tmpl_.error, 0);
  // Without a target nothing is reported; without "select" the current node is the picture.
  target_ = false;
  pictures_ = PictureList();
  run("<xsl:for-each select='//cap'><xsl:img/></xsl:for-each>", pictures);
  EXPECT_EQ(joined(), "<img src=\"Cap\" />");
  EXPECT_EQ(pictures_.size(), 0);
}

TEST_F(RunTest, ImgWithAnUnresolvableAddressIsError48) {
  target_ = true;
  run("<xsl:img select='//pic'/>", "<x incurl=''><pic>rel.gif</pic></x>");
  EXPECT_EQ(joined(), "<img src=\"rel.gif\" />");
  EXPECT_EQ(tmpl_.error, 48);
  EXPECT_EQ(pictures_.size(), 0);
}

TEST_F(RunTest, TemplatePicturesAreReportedAndRewritten) {
  const char* body =
      "<p><img src='img/a.gif'><IMG ALT=x SRC=\" http://x.org/b.png \">"
      "<img alt='img/a'><img src=''><script>var s='<img src=\"s/s.gif\">';</script>";
  run(body);
  EXPECT_EQ(joined(), body) << "no target: unchanged";
  target_ = true;
  template_address_ = String("http://ex.org/t/news.xsl");
  run(body);
  EXPECT_EQ(joined(),
            "<p><img src='img\\a.gif'><IMG ALT=x SRC=\" http:\\\\x.org\\b.png \">"
            "<img alt='img/a'><img src=''>"
            "<script>var s='<img src=\"s/s.gif\">';</script>");
  ASSERT_EQ(pictures_.size(), 2);
  EXPECT_EQ(picture(0), "http://ex.org/t/img/a.gif@-1");
  EXPECT_EQ(picture(1), "http://x.org/b.png@-1");
}

TEST_F(RunTest, ExecuteOverTheDataTreeSetBeforehand) {
  run("<xsl:value-of select='/rss/channel/title'/>");
  XmlParser page;
  tmpl_.execute(0, page, 0);
  EXPECT_EQ(tree_text(page), "[]") << "no data tree: nothing selected";
  tmpl_.set_data_tree(&data_);
  tmpl_.execute(0, page, 0);
  EXPECT_EQ(tree_text(page), "['C1','C2']");
}

TEST_F(RunTest, NodesThatCannotRun) {
  run("x");
  tmpl_.clear_status();
  tmpl_.execute(tmpl_.node_count() + 5, output_, data_, 0);
  EXPECT_EQ(tmpl_.error, 46);
  tmpl_.clear_status();
  // An attribute is no instruction.
  run("<xsl:value-of select='/rss'/>");
  tmpl_.execute(tmpl_.node_count() - 1, output_, data_, 0);
  EXPECT_EQ(tmpl_.error, 46);
  // Only a hand-made table has an "index" attribute outside an element.
  XslParser table;
  table.create_attribute(0, String("index"));
  table.set_attribute_value(0, String("i"));
  table.prepare_template();
  EXPECT_EQ(table.error, 38);
  EXPECT_EQ(table.loop_slot_count(), 0);
}

TEST_F(RunTest, UnknownInstructionWarningIsLoggedWithItsPosition) {
  run("\n\n<xsl:bogus/>");
  EXPECT_EQ(tmpl_.warning, 19);
  // Lines count from the template's first line.
  int32_t bogus = -1;
  for (int32_t i = 0; i < tmpl_.node_count(); ++i) {
    if (tmpl_.get(i).name.equals("xsl:bogus")) bogus = i;
  }
  EXPECT_EQ(tmpl_.get(bogus).source_line, 3);
}

// Templates and data that would exhaust a recursive or unbounded engine.
TEST_F(RunTest, HostileTemplates) {
  const int depth = 20000;
  std::string nested;
  for (int i = 0; i < depth; ++i) nested += "<xsl:if-exist select='/rss'>";
  nested += "deep";
  for (int i = 0; i < depth; ++i) nested += "</xsl:if-exist>";
  EXPECT_EQ(run(nested), "['deep']");
  EXPECT_EQ(tmpl_.error, 0);

  std::string many = "<r>";
  for (int i = 0; i < 100000; ++i) many += "<i>" + std::to_string(i % 10) + "</i>";
  many += "</r>";
  run("<xsl:for-each select='/r/i' index='k'><xsl:value-of select='../i[#k]'/></xsl:for-each>",
      many);
  EXPECT_EQ(output_.node_count(), 100001);
  EXPECT_EQ(tmpl_.loop_value(0), 100000u);
  EXPECT_EQ(tmpl_.error, 0);

  // Loops inside loops stop when the rendering's budget is spent.
  limits_.execution_steps = 50000;
  run("<xsl:for-each select='/r/i'><xsl:for-each select='/r/i'>x</xsl:for-each></xsl:for-each>",
      many);
  EXPECT_EQ(tmpl_.error, 47);
  EXPECT_LE(output_.node_count(), 50000);
  limits_ = XslParser::Limits();
  limits_.output_nodes = 1000;
  run("<xsl:for-each select='/r/i'><xsl:copy select='/r'/></xsl:for-each>", many);
  EXPECT_EQ(tmpl_.error, 47);
  EXPECT_LT(output_.node_count(), 1000 + 200001);

  // Text is counted in bytes: one long text copied again and again.
  limits_ = XslParser::Limits();
  limits_.output_bytes = 100000;
  std::string long_text = "<r><t>" + std::string(1000, 'x') + "</t></r>";
  run("<xsl:for-each select='/r/t' index='k'><xsl:for-each select='//*|//*|//*|/r/t'>"
      "<xsl:value-of select='/r/t'/><xsl:value-of select='/' html-filter='no-tags'/>"
      "</xsl:for-each></xsl:for-each>",
      long_text);
  EXPECT_EQ(tmpl_.error, 0);
  run("<xsl:for-each select='/r/i'><xsl:value-of select='/r/i'/></xsl:for-each>", many);
  EXPECT_EQ(tmpl_.error, 47);

  // One instruction over every node of a deep tree would copy each node once
  // per ancestor: it stops within one subtree of its budget.
  std::string deep;
  for (int i = 0; i < 3000; ++i) deep += "<a>t";
  limits_ = XslParser::Limits();
  limits_.output_nodes = 5000;
  run("<xsl:value-of select='//*'/>", deep);
  EXPECT_EQ(tmpl_.error, 47);
  EXPECT_LE(output_.node_count(), 5000 + 6001);
  limits_.execution_steps = 100000;
  run("<xsl:value-of select='//*' html-filter='no-tags'/>", deep);
  EXPECT_EQ(tmpl_.error, 47);
  EXPECT_EQ(output_.node_count(), 1);
}

}  // namespace
}  // namespace wayfetch
