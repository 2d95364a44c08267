// Compiling requests: the shapes the state machine builds, its errors, and
// requests too deep or too long for a recursive compiler.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text_scanner.h"
#include "rendering/xsl_parser.h"
#include "tests/rendering/request_text.h"

namespace wayfetch {
namespace {

using testing::request_text;

// A template whose innermost element sits inside two loops, "i" and "j".
constexpr const char* loops =
    "<xsl:for-each select=\"a\" index=\"i\"><xsl:for-each select=\"b\" index=\"J\">"
    "<xsl:value-of select=\"c\"/></xsl:for-each></xsl:for-each>";

class CompileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parser_.set_mode(ParseMode::xsl_template);
    TextScanner text{std::string_view(loops)};
    parser_.parse(text);
    parser_.prepare_template();
    ASSERT_EQ(parser_.error, 0);
    ASSERT_EQ(parser_.loop_slot_count(), 2);
    // The "select" attribute of xsl:value-of, inside both loops.
    for (int32_t i = 0; i < parser_.node_count(); ++i) {
      if (parser_.get(i).kind == node_attribute && parser_.get(i).name.equals("c")) owner_ = i;
    }
    ASSERT_GT(owner_, 0);
  }
  int32_t compile(const std::string& text) {
    return parser_.compile_request(String(std::string_view(text)), 7, owner_);
  }

  XslParser parser_;
  int32_t owner_ = -1;
};

struct Shape {
  const char* request;
  const char* shape;
};

class CompileShapes : public CompileTest, public ::testing::WithParamInterface<Shape> {};

TEST_P(CompileShapes, BuildsTheStepChain) {
  parser_.clear_status();
  int32_t id = compile(GetParam().request);
  EXPECT_EQ(request_text(parser_, id), GetParam().shape) << GetParam().request;
  EXPECT_EQ(parser_.error, 0) << GetParam().request;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, CompileShapes,
    ::testing::Values(
        // Empty and blank requests are one step with the empty name.
        Shape{"", "''"}, Shape{"  \t\r\n", "''"},
        // After a separator the current step still holds the step just
        // appended, so a request ending on "/" repeats it; trailing blanks
        // end the request instead.
        Shape{"a/", "a/a"}, Shape{"a/ ", "a"}, Shape{"a ", "a"}, Shape{" a ", "a"},
        Shape{"a b", "a b"}, Shape{"a.b-c:d_e", "a.b-c:d_e"}, Shape{"_x/:y", "_x/:y"},
        Shape{"/rss/channel/item", "^/rss/channel/item"}, Shape{"//title", "^//title"},
        Shape{"/", "^/^"}, Shape{"../item[#last]", "../item[#last]"}, Shape{". / *", "./*"},
        Shape{"a // b", "a//b"},
        // Subscripts.
        Shape{"item[5]", "item[5]"}, Shape{"item[ 5 ]", "item[5]"}, Shape{"item[{5}]", "item[{5}]"},
        Shape{"item[1..9]", "item[1..9]"}, Shape{"item[1 .. 9]", "item[1..9]"},
        Shape{"item[{1..}]", "item[{1..}]"}, Shape{"item[#LAST]", "item[#last]"},
        Shape{"item[#Any]", "item[#any]"}, Shape{"item[{#any}]", "item[{#any}]"},
        Shape{"item[#random]", "item[#random]"}, Shape{"item[99999999999]", "item[2147483647]"},
        // Loop indexes are found in enclosing instructions, in any case.
        Shape{"item[#i]", "item[#slot0]"}, Shape{"item[#j]", "item[#slot1]"},
        Shape{"item[# I]", "item[#slot0]"},
        // Conditions compile as requests of their own.
        Shape{"item[title]", "item[?title]"}, Shape{"item[a[1]/b]", "item[?a[1]/b]"},
        Shape{"item[{title}]", "item[{?title}]"},
        // A second subscript applies to the result of the first.
        Shape{"a[1][0]", "(a[1])[0]"}, Shape{"a[1][0][#last]", "((a[1])[0])[#last]"},
        Shape{"a[1][0]/b", "(a[1])[0]/b"},
        // Groups, and unions binding loosest and to the right.
        Shape{"(a | b)[0]", "((a | b))[0]"}, Shape{"a | b | c", "(a | (b | c))"},
        Shape{"x/a | b/y", "(x/a | b/y)"}, Shape{"()", "('')"}, Shape{"a|", "(a | '')"},
        Shape{"(a)/(b)", "(a)/(b)"}, Shape{"((a))", "((a))"}));

struct Failure {
  const char* request;
  int32_t error;
};

class CompileFailures : public CompileTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(CompileFailures, RaisesAndLeavesNoSteps) {
  parser_.clear_status();
  int32_t before = parser_.steps().size();
  EXPECT_EQ(compile(GetParam().request), faulty_request) << GetParam().request;
  EXPECT_EQ(parser_.error, GetParam().error) << GetParam().request;
  EXPECT_EQ(parser_.steps().size(), before) << GetParam().request;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, CompileFailures,
    ::testing::Values(Failure{"@x", 30}, Failure{"a)", 30}, Failure{"|a", 30},
                      Failure{"a[1.2]", 30}, Failure{"a[1.]", 30}, Failure{"item[@x='1']", 30},
                      Failure{"caf\xC3\xA9/x", 30}, Failure{"(a", 31}, Failure{"a[title", 31},
                      Failure{"a[{1]", 31}, Failure{"a[1}]", 31}, Failure{"a[{title]", 31},
                      Failure{"a[{title}", 31}, Failure{"a[1 x]", 31}, Failure{"(a[)])", 33},
                      Failure{"a[(b])]", 31}, Failure{"x/(a", 31}, Failure{"a[#]", 32},
                      Failure{"a[#1]", 32}, Failure{"a[", 33}, Failure{"a[1", 33},
                      Failure{"a[ {", 33}, Failure{"a[1..2", 33}, Failure{"a[#k]", 34},
                      // A nested failure fails the whole request, steps of the outer part included.
                      Failure{"a/b/(c[#k])", 34}, Failure{"a | b | c[", 33}));

// The fields of the step table as callers read them, by the documented names.
TEST_F(CompileTest, StepRecordsHoldTheDocumentedFields) {
  const auto& steps = parser_.steps();
  int32_t id = compile("//rss/item[{2..5}]");
  const RequestStep& root = steps.get(id);
  EXPECT_EQ(root.kind, RequestStep::Root);
  EXPECT_EQ(root.axis, RequestStep::Descendants);
  const RequestStep& rss = steps.get(root.next);
  EXPECT_EQ(rss.kind, RequestStep::Named);
  EXPECT_EQ(rss.name.to_utf8(), "rss");
  EXPECT_EQ(rss.axis, RequestStep::Children);
  EXPECT_EQ(rss.subscript, RequestStep::All);
  const RequestStep& item = steps.get(rss.next);
  EXPECT_EQ(item.subscript, RequestStep::Range);
  EXPECT_EQ(item.first, 2);
  EXPECT_EQ(item.last, 5);
  EXPECT_TRUE(item.wraps);
  EXPECT_EQ(item.axis, RequestStep::NoAxis);
  EXPECT_EQ(item.next, -1);

  // A second subscript: a group over the first step, which stays out of the chain.
  id = compile("a[1][#j]");
  const RequestStep& group = steps.get(id);
  EXPECT_EQ(group.kind, RequestStep::Group);
  EXPECT_EQ(group.subscript, RequestStep::LoopIndex);
  EXPECT_EQ(group.loop_slot, 1);
  EXPECT_EQ(steps.get(group.sub).subscript, RequestStep::Index);
  EXPECT_EQ(steps.get(group.sub).first, 1);
  EXPECT_EQ(steps.get(group.sub).next, -1);

  // A union is the whole request: sub the left chain, right the rest.
  id = compile("x/a | b[title]");
  const RequestStep& both = steps.get(id);
  EXPECT_EQ(both.kind, RequestStep::Union);
  EXPECT_EQ(request_text(parser_, both.sub), "x/a");
  const RequestStep& right = steps.get(both.right);
  EXPECT_EQ(right.subscript, RequestStep::Predicate);
  EXPECT_EQ(request_text(parser_, right.predicate), "title");
  EXPECT_EQ(steps.get(compile("..")).kind, RequestStep::Parent);
  EXPECT_EQ(steps.get(compile(".")).kind, RequestStep::Self);
  EXPECT_EQ(steps.get(compile("*[#any]")).kind, RequestStep::AnyElement);
  EXPECT_EQ(steps.get(compile("*[#any]")).subscript, RequestStep::Any);
  EXPECT_EQ(steps.get(compile("*[#random]")).subscript, RequestStep::Random);
  EXPECT_EQ(steps.get(compile("*[#last]")).subscript, RequestStep::Last);
  EXPECT_EQ(steps.get(compile("*[3..]")).subscript, RequestStep::From);
  EXPECT_EQ(parser_.error, 0);
}

TEST_F(CompileTest, UnusableTextIsError25) {
  String text("item");
  text.raise_error(3);
  int32_t before = parser_.steps().size();
  EXPECT_EQ(parser_.compile_request(text, 1, owner_), faulty_request);
  EXPECT_EQ(parser_.error, 25);
  EXPECT_EQ(parser_.steps().size(), before);
}

TEST_F(CompileTest, ReadsOnlyTheWindowAndAnyEncoding) {
  String text("xx item[2] yy");
  text.select_bytes(3, 10);
  EXPECT_EQ(request_text(parser_, parser_.compile_request(text, 1, owner_)), "item[2]");

  String wide;
  wide.set_text(std::string_view("i\0t\0e\0m\0[\0#\0i\0]\0", 16), TextEncoding::Unicode, -1);
  EXPECT_EQ(request_text(parser_, parser_.compile_request(wide, 1, owner_)), "item[#slot0]");

  // A Shift-JIS character whose trail byte is "]" ends no bracket.
  String japanese;
  japanese.set_text(std::string_view("a[\x83\x5D]", 5), TextEncoding::Multibyte, 932);
  parser_.clear_status();
  EXPECT_EQ(parser_.compile_request(japanese, 1, owner_), faulty_request);
  EXPECT_EQ(parser_.error, 30);  // the condition starts with no name
}

TEST_F(CompileTest, LoopIndexNeedsAnEnclosingIndex) {
  // The same name from an owner outside the loops is unknown.
  EXPECT_EQ(parser_.find_loop_index(String("i"), owner_), 0);
  EXPECT_EQ(parser_.find_loop_index(String("i"), 0), -1);
  EXPECT_EQ(parser_.find_loop_index(String("i"), -1), -1);
  EXPECT_EQ(parser_.compile_request(String("item[#i]"), 1, 0), faulty_request);
  EXPECT_EQ(parser_.error, 34);
}

// Requests far deeper and longer than any template needs compile in linear
// time without native recursion.
TEST_F(CompileTest, HostileNestingAndLength) {
  const int depth = 100000;
  std::string parens = std::string(depth, '(') + "a" + std::string(depth, ')');
  int32_t first = parser_.steps().size();
  ASSERT_GE(compile(parens), 0);
  EXPECT_EQ(parser_.steps().size() - first, depth + 1) << "one group per level and the name";

  std::string brackets = "a";
  for (int i = 0; i < depth; ++i) brackets += "[b";
  brackets += std::string(depth, ']');
  EXPECT_GE(compile(brackets), 0);

  std::string unions = "a";
  for (int i = 0; i < depth; ++i) unions += "|a";
  EXPECT_GE(compile(unions), 0);

  std::string subscripts = "a";
  for (int i = 0; i < depth; ++i) subscripts += "[0]";
  EXPECT_GE(compile(subscripts), 0);

  // A megabyte of steps, and an unbalanced megabyte that fails cleanly.
  std::string chain;
  while (chain.size() < (1u << 20)) chain += "item/";
  EXPECT_GE(compile(chain), 0);
  int32_t before = parser_.steps().size();
  EXPECT_EQ(compile(std::string(1u << 20, '(')), faulty_request);
  EXPECT_EQ(parser_.error, 31);
  EXPECT_EQ(parser_.steps().size(), before);
}

TEST(LoadTemplate, LoopIndexesResolveToTheNearestHolder) {
  // An instruction's own index counts; an inner index hides an outer one of
  // the same name; names compare without regard to case.
  std::string text =
      "<xsl:for-each select='a[#i]' index='I'><xsl:for-each select='b[#i]' index='i'>"
      "<xsl:for-each select='c[#I]' index='k'>";
  // Deep nesting costs one probe per lookup.
  const int depth = 20000;
  for (int n = 0; n < depth; ++n) text += "<xsl:if-exist select='d[#k]'>";
  XslParser parser;
  parser.set_mode(ParseMode::xsl_template);
  TextScanner input{std::string_view(text)};
  parser.parse(input);
  parser.prepare_template();
  EXPECT_EQ(parser.error, 0);
  std::vector<std::string> shapes;
  for (int32_t i = 0; i < parser.node_count() && shapes.size() < 4; ++i) {
    if (parser.get(i).request_id >= 0) {
      shapes.push_back(request_text(parser, parser.get(i).request_id));
    }
  }
  EXPECT_EQ(shapes, (std::vector<std::string>{"a[#slot0]", "b[#slot1]", "c[#slot1]", "d[#slot2]"}));
  // The same answers from the walk up the tree.
  int32_t last = parser.node_count() - 1;
  EXPECT_EQ(parser.find_loop_index(String("K"), last), 2);
  EXPECT_EQ(parser.find_loop_index(String("i"), last), 1);
}

TEST(LoadTemplate, IndexSlotsRequestsAndCounters) {
  XslParser parser;
  parser.set_mode(ParseMode::xsl_template);
  TextScanner text{std::string_view(
      "<p><xsl:for-each select='//item' index='n'><xsl:value-of select='title[#n]'/>"
      "<xsl:img select='x[' select-log='y'/></xsl:for-each></p>")};
  parser.parse(text);
  parser.prepare_template();
  EXPECT_EQ(parser.error, 33);  // from 'x[', the other requests are fine
  int32_t compiled = 0;
  for (int32_t i = 0; i < parser.node_count(); ++i) {
    const XmlNode& node = parser.get(i);
    if (node.kind == node_element && node.name.equals("xsl:for-each")) {
      EXPECT_EQ(node.index_slot, 0);
    }
    if (node.kind != node_attribute) {
      EXPECT_EQ(node.request_id, no_request);
      continue;
    }
    if (node.attr_name.equals("index")) {
      EXPECT_EQ(node.request_id, no_request);
    }
    if (node.name.equals("x[")) {
      EXPECT_EQ(node.request_id, faulty_request);
    }
    if (node.request_id >= 0) ++compiled;
  }
  EXPECT_EQ(compiled, 3);
  for (int32_t id = 0; id < parser.steps().size(); ++id) EXPECT_EQ(parser.any_counter(id), 0u);
}

}  // namespace
}  // namespace wayfetch
