#include "ebook/style_sheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "core/file.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

HtmlTag start_tag(std::string name, std::vector<HtmlAttribute> attributes = {}) {
  HtmlTag tag;
  tag.name = std::move(name);
  tag.attributes = std::move(attributes);
  tag.text = "<" + tag.name + ">";
  return tag;
}

// End tags have no attributes, so the tag reader writes them upper-cased.
HtmlTag end_tag(const std::string& element) {
  HtmlTag tag;
  tag.name = "/" + element;
  tag.text = "</" + ascii::upper(element) + ">";
  return tag;
}

class StyleSheetTest : public ::testing::Test {
 protected:
  void read(std::string_view css) {
    MemoryByteSource in(css);
    EXPECT_TRUE(sheet_.read(in));
  }
  // The text written for a tag, or "(not handled)".
  std::string rewrite(const HtmlTag& tag) {
    std::string out;
    return sheet_.rewrite_tag(tag, out) ? out : "(not handled)";
  }
  const StyleRule& only_rule(std::string_view css) {
    read(css);
    EXPECT_EQ(sheet_.rules().size(), 1u) << css;
    static const StyleRule none;
    return sheet_.rules().empty() ? none : sheet_.rules().front();
  }

  StyleSheet sheet_;
};

TEST_F(StyleSheetTest, StylesATagWithItsClass) {
  read("P.note { font-weight: bold; text-align: center }\n</STYLE>");
  HtmlTag p = start_tag("p", {{"CLASS", "note"}, {"ID", "intro"}});
  EXPECT_EQ(rewrite(p), "<b><P align='center' >");
  EXPECT_EQ(rewrite(end_tag("p")), "</P></b>");
  EXPECT_EQ(rewrite(end_tag("p")), "(not handled)") << "the stack is empty again";
  EXPECT_EQ(rewrite(start_tag("p")), "(not handled)") << "no class";
  EXPECT_EQ(rewrite(start_tag("div", {{"CLASS", "note"}})), "(not handled)");
}

TEST_F(StyleSheetTest, ClassRulesApplyToAnyTagAndTagRulesOnlyWithoutClass) {
  read(".big { font-size: x-large }\nH1 { font-style: italic }");
  EXPECT_EQ(rewrite(start_tag("div", {{"CLASS", "BIG"}})), "<h2><DIV>");
  EXPECT_EQ(rewrite(end_tag("div")), "</DIV></h2>");
  EXPECT_EQ(rewrite(start_tag("span", {{"CLASS", "big"}})), "<h2><SPAN>");
  EXPECT_EQ(rewrite(start_tag("h1")), "<i><H1>");
  EXPECT_EQ(rewrite(start_tag("h1", {{"CLASS", "title"}})), "(not handled)");
  // A rule without a tag also applies to a tag without a name.
  read(". { font-weight: bold } .x { font-style: italic }");
  EXPECT_EQ(rewrite(start_tag("")), "<b><>");
  EXPECT_EQ(rewrite(start_tag("", {{"CLASS", "x"}})), "<i><>");
}

TEST_F(StyleSheetTest, ConvertsEveryTableRow) {
  struct Row {
    const char* declaration;
    const char* open;
    const char* close;
    const char* attributes;
  };
  const Row rows[] = {
      {"font-family: serif", "", "", ""},
      {"font-style: italic", "<i>", "</i>", ""},
      {"FONT-STYLE: Oblique", "<i>", "</i>", ""},
      {"font-weight: bold", "<b>", "</b>", ""},
      {"font-weight: 700", "<b>", "</b>", ""},
      {"font-size: xx-small", "<small>", "</small>", ""},
      {"font-size: x-small", "<small>", "</small>", ""},
      {"font-size: medium", "<h4>", "</h4>", ""},
      {"font-size: large", "<h3>", "</h3>", ""},
      {"font-size: x-large", "<h2>", "</h2>", ""},
      {"font-size: xx-large", "<h1>", "</h1>", ""},
      {"text-decoration: underline", "<u>", "</u>", ""},
      {"text-decoration: line-trough", "<>", "<>", ""},
      {"text-decoration: line-through", "", "", ""},
      {"text-align: left", "", "", "align='left' "},
      {"text-align: right", "", "", "align='right' "},
      {"text-align: center", "", "", "align='center' "},
      {"text-align: justify", "", "", "align='justify' "},
      {"text-indent: 2em", "", "", "width='2em' "},
      {"margin-top: 0px", "", "", ""},
      {"margin-top: 12px", "", "", "height='12px' "},
      {"margin-bottom: 0px", "", "", ""},
      {"margin-bottom: 1em", "", " <br> <div height='1em'></div>", ""},
      {"page-break-before: always", "<hr>", "", ""},
      {"page-break-after: always", "", "<hr>", ""},
      {"page-break-after: auto", "", "", ""},
      {"color: red", "", "", ""},
  };
  for (const Row& row : rows) {
    const StyleRule& rule = only_rule(std::string(".x { ") + row.declaration + " }");
    EXPECT_EQ(rule.open_tags, row.open) << row.declaration;
    EXPECT_EQ(rule.close_tags, row.close) << row.declaration;
    EXPECT_EQ(rule.attributes, row.attributes) << row.declaration;
  }
}

TEST_F(StyleSheetTest, CombinesDeclarationsInOrder) {
  const StyleRule& rule = only_rule(
      ".x { page-break-after: always; margin-bottom: 4px; font-weight: bold; "
      "text-decoration: underline; font-size: small; text-align: right; margin-top: 1em; "
      "page-break-before: always; text-indent: 5% }");
  EXPECT_EQ(rule.open_tags, "<hr><b><u>");
  EXPECT_EQ(rule.close_tags, "</u></b><hr> <br> <div height='4px'></div>");
  EXPECT_EQ(rule.attributes, "align='right' height='1em' width='5%' ");
}

TEST_F(StyleSheetTest, ReadsRulesAsPagesWriteThem) {
  struct Case {
    const char* what;
    const char* css;
    std::size_t rules;
  };
  const Case cases[] = {
      {"brace against the selector", "P{font-weight:bold}\nB.x{font-style:italic}", 2},
      {"rules wrapped in comment markers",
       "<!--\nP.a { font-weight: bold }\n.b { color: red }\n-->\n</STYLE>", 2},
      {"markers against the rules", "<!--P.a {font-weight:bold}-->", 1},
      {"css comments", "/* head */ P.a /* why */ { /* x */ font-weight: /* y */ bold }", 1},
      {"brace on the next line", "P.a\n{\n  font-weight: bold;\n}\n", 1},
      {"tab before the brace", "P.a\t{ font-weight: bold }", 1},
      {"end of the style element", "P.a { font-weight: bold }</STYLE> .b { color: red }", 1},
      {"selector without a brace ends reading", "H1, H2 { color: red } .b { color: red }", 0},
      {"rule ended by a brace in its value", ".a{font-weight:bold} .b{color:red}", 2},
      {"empty input", "", 0},
      {"rule cut off by the end", ".a { font-weight: bold", 1},
      {"rules against each other", ".a{font-weight:bold}.b{font-style:italic}</STYLE>", 2},
      {"stray brace between rules", "P {font-weight:bold}}\nH2 {font-style:italic}", 2},
      {"stray braces against a rule", ".a{font-weight:bold}}}.b{color:red}", 2},
  };
  for (const Case& c : cases) {
    read(c.css);
    EXPECT_EQ(sheet_.rules().size(), c.rules) << c.what;
  }
  read("<!--P.a {font-weight:bold}-->");
  EXPECT_EQ(rewrite(start_tag("p", {{"CLASS", "a"}})), "<b><P>");
  read(".a{font-weight:bold}.b{font-style:italic}");
  EXPECT_EQ(rewrite(start_tag("p", {{"CLASS", "b"}})), "<i><P>");
}

TEST_F(StyleSheetTest, TheLastBraceDoesNotTakeTheRestOfThePage) {
  // The closing brace ends the value, so "</style>" right after it still
  // ends the rules and the page reader finds its BODY tag after them.
  for (const char* css : {"h1{font-weight:normal}</style></head><body>",
                          "h1 {font-weight:bold}</style></head><body>"}) {
    MemoryByteSource in(css);
    EXPECT_TRUE(sheet_.read(in));
    ASSERT_EQ(sheet_.rules().size(), 1u) << css;
    EXPECT_EQ(sheet_.rules()[0].declarations[0].property, "font-weight") << css;
    EXPECT_EQ(std::string_view(css).substr(in.position()), "</head><body>") << css;
  }
  // A rule left open ends at the next tag, which the page reader then finds
  // less its "<".
  for (const char* css : {"p { font-weight: bold </style></head><body>",
                          "p { font-weight: bold; </style></head><body>"}) {
    MemoryByteSource in(css);
    EXPECT_TRUE(sheet_.read(in));
    ASSERT_EQ(sheet_.rules().size(), 1u) << css;
    EXPECT_EQ(sheet_.rules()[0].open_tags, "<b>") << css;
    EXPECT_EQ(std::string_view(css).substr(in.position()), "/style></head><body>") << css;
  }
}

TEST_F(StyleSheetTest, ValuesEndAtBlanksAndBraces) {
  // The words after the first of a value run into the next property.
  const StyleRule& rule = only_rule(".a { font-family: Times New Roman; font-weight:bold}");
  ASSERT_EQ(rule.declarations.size(), 2u);
  EXPECT_EQ(rule.declarations[0].value, "Times");
  EXPECT_EQ(rule.declarations[1].property, "New Roman; font-weight");
  EXPECT_EQ(rule.declarations[1].value, "bold");
  EXPECT_EQ(only_rule(".a{font-weight:bold}").declarations[0].value, "bold");
}

TEST_F(StyleSheetTest, KeepsItsLimits) {
  std::string css = ".a {";
  for (int i = 0; i < 20; ++i) css += " color: red;";
  css += " font-weight: bold; font-style: italic; a: b; c: d; e: f }";
  const StyleRule& rule = only_rule(css);
  EXPECT_EQ(rule.declarations.size(), 20u) << "25 declarations keep the first 20";
  EXPECT_EQ(rule.open_tags, "");

  css.clear();
  for (int i = 0; i < 205; ++i) css += ".c" + std::to_string(i) + " { font-weight: bold }\n";
  read(css);
  EXPECT_EQ(sheet_.rules().size(), 200u);
  EXPECT_NE(sheet_.find("p", "c199"), nullptr);
  EXPECT_EQ(sheet_.find("p", "c200"), nullptr);

  read("DIV { font-weight: bold }");
  for (int i = 0; i < 55; ++i) EXPECT_EQ(rewrite(start_tag("div")), "<b><DIV>");
  EXPECT_EQ(sheet_.stacked(), 50);
}

TEST_F(StyleSheetTest, ASecondStyleElementReplacesTheFirst) {
  read(".a { font-weight: bold }");
  EXPECT_EQ(rewrite(start_tag("p", {{"CLASS", "a"}})), "<b><P>");
  read(".b { font-style: italic }");
  EXPECT_EQ(sheet_.stacked(), 0);
  EXPECT_EQ(rewrite(start_tag("p", {{"CLASS", "a"}})), "(not handled)");
  EXPECT_EQ(rewrite(start_tag("p", {{"CLASS", "b"}})), "<i><P>");
}

TEST_F(StyleSheetTest, NestedElementsCloseInOrder) {
  read("DIV.outer { font-weight: bold } DIV.inner { font-style: italic }");
  EXPECT_EQ(rewrite(start_tag("div", {{"CLASS", "outer"}})), "<b><DIV>");
  EXPECT_EQ(rewrite(start_tag("div", {{"CLASS", "inner"}})), "<i><DIV>");
  EXPECT_EQ(rewrite(end_tag("div")), "</DIV></i>");
  EXPECT_EQ(rewrite(end_tag("div")), "</DIV></b>");
  // An unstyled div inside a styled one takes the outer one's closing tags.
  EXPECT_EQ(rewrite(start_tag("div", {{"CLASS", "outer"}})), "<b><DIV>");
  EXPECT_EQ(rewrite(start_tag("div")), "(not handled)");
  EXPECT_EQ(rewrite(end_tag("div")), "</DIV></b>");
  EXPECT_EQ(rewrite(end_tag("div")), "(not handled)");
}

TEST_F(StyleSheetTest, LeavesTheFileJustAfterTheStyleElement) {
  testing::TempDir dir;
  const std::string path = dir.file("page.html");
  std::string page = "P.a{font-weight:bold}\n</STYLE></HEAD>";
  page += std::string(5000, ' ') + "<BODY>";
  testing::write_bytes(path, page);
  File file;
  ASSERT_TRUE(file.open(path, File::read_existing));
  {
    FileByteSource in(file);
    EXPECT_TRUE(sheet_.read(in));
  }
  EXPECT_EQ(sheet_.rules().size(), 1u);
  char next[7] = {};
  EXPECT_EQ(file.read(next, 6), 6);
  EXPECT_EQ(std::string(next), "</HEAD");

  // Read straight from the open file: the same rules, the same position.
  ASSERT_TRUE(file.seek(0, File::Origin::start) == 0);
  StyleSheet again;
  EXPECT_TRUE(again.read(file));
  ASSERT_EQ(again.rules().size(), 1u);
  EXPECT_EQ(again.rules()[0].open_tags, "<b>");
  std::fill(std::begin(next), std::end(next), '\0');
  EXPECT_EQ(file.read(next, 6), 6);
  EXPECT_EQ(std::string(next), "</HEAD");
}

TEST_F(StyleSheetTest, StackTakesTheRulesFindGives) {
  read("P.a { font-weight: bold } .b { font-style: italic }");
  const StyleRule* a = sheet_.find("p", "A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(sheet_.find("div", "a"), nullptr);
  EXPECT_EQ(sheet_.find("div", "b"), &sheet_.rules()[1]);
  sheet_.push(a, "p");
  ASSERT_NE(sheet_.top(), nullptr);
  EXPECT_EQ(sheet_.top()->element, "p");
  EXPECT_EQ(sheet_.top()->rule, 0);
  const StyleRule stranger;
  sheet_.push(&stranger, "q");
  EXPECT_EQ(sheet_.stacked(), 1) << "a rule of another sheet is not stacked";
  sheet_.pop();
  EXPECT_EQ(sheet_.top(), nullptr);
}

}  // namespace
}  // namespace wayfetch
