// Evaluating requests over a small feed: axes, subscripts, rotation,
// de-duplication, the errors, and the budget that bounds hostile requests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error_log.h"
#include "core/text_scanner.h"
#include "rendering/xsl_parser.h"
#include "tests/support/temp_dir.h"
#include "tests/xml/tree_text.h"

namespace wayfetch {
namespace {

constexpr const char* feed =
    "<rss><channel><title>C1</title><item><title>A</title></item><item><title>B</title></item>"
    "<item><title>C</title></item></channel>"
    "<channel><title>C2</title><item><title>D</title></item><item><title>E</title></item>"
    "</channel></rss>";

class EvaluateTest : public ::testing::Test {
 protected:
  EvaluateTest() : data_(testing::parsed(feed)) {}

  int32_t compile(const std::string& text) {
    return parser_.compile_request(String(std::string_view(text)), 1, -1);
  }
  // The nodes as labels: the texts below each node, "#doc" for the document.
  std::string labels(const Storage<int32_t>& nodes) {
    std::string out;
    for (int32_t node : nodes) {
      if (!out.empty()) out += ",";
      if (node == 0) {
        out += "#doc";
        continue;
      }
      Storage<int32_t> texts;
      XmlParser::collect_texts(texts, data_, node);
      for (int32_t text : texts) out += data_.get(text).name.to_utf8();
    }
    return out;
  }
  // The first node `path` selects from the document node.
  int32_t node_at(const std::string& path) {
    Storage<int32_t> nodes;
    parser_.evaluate_request(compile(path), data_, 0, nodes);
    return nodes.size() > 0 ? nodes.get(0) : -1;
  }
  std::string select(const std::string& request, const std::string& context = "") {
    int32_t from = context.empty() ? 0 : node_at(context);
    Storage<int32_t> nodes;
    parser_.evaluate_request(compile(request), data_, from, nodes);
    return labels(nodes);
  }

  XmlParser data_;
  XslParser parser_;
};

struct Selection {
  const char* request;
  const char* context;  // a request from the document node; "" is the document node
  const char* result;
};

class Selections : public EvaluateTest, public ::testing::WithParamInterface<Selection> {};

TEST_P(Selections, SelectInDocumentOrder) {
  const Selection& c = GetParam();
  EXPECT_EQ(select(c.request, c.context), c.result) << c.request << " from " << c.context;
  EXPECT_EQ(parser_.error, 0) << c.request;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, Selections,
    ::testing::Values(
        Selection{"item", "/rss/channel", "A,B,C"},
        Selection{"item/title", "/rss/channel", "A,B,C"},
        Selection{"ITEM", "/rss/channel", "A,B,C"}, Selection{"*", "/rss/channel", "C1,A,B,C"},
        Selection{"/rss/channel/item", "", "A,B,C,D,E"},
        Selection{"//title", "/rss/channel[1]", "C1,A,B,C,C2,D,E"},
        Selection{"//channel/item[#last]", "", "C,E"}, Selection{"/rss//item[0]", "", "A"},
        Selection{"//item[0]", "", "A"}, Selection{"../item[#last]", "/rss/channel/item[0]", "C"},
        Selection{".", "/rss/channel/item[1]", "B"},
        Selection{"..", "/rss/channel/item[1]", "C1ABC"},
        Selection{".//title", "/rss/channel[1]", "C2,D,E"},
        // The document node is never returned at the top.
        Selection{"/", "/rss/channel", ""}, Selection{"..", "/rss", ""}, Selection{"/.", "", ""},
        Selection{"", "", ""}, Selection{"a b", "/rss", ""}, Selection{"channel *", "/rss", ""},
        // Positions.
        Selection{"item[5]", "/rss/channel", ""}, Selection{"item[{5}]", "/rss/channel", "C"},
        Selection{"item[{1..}]", "/rss/channel", "A,B,C"},
        Selection{"item[1..9]", "/rss/channel", "B,C"}, Selection{"item[2..1]", "/rss/channel", ""},
        Selection{"item[1..]", "/rss/channel", "B,C"}, Selection{"item[{4}]", "/rss/channel", "B"},
        Selection{"nothing[{4}]", "/rss/channel", ""},
        Selection{"nothing[#last]", "/rss/channel", ""}, Selection{"//channel/item[1]", "", "B,E"},
        // A second subscript picks from the result of the first, per context node.
        Selection{"item[1..][0]", "/rss/channel", "B"},
        Selection{"channel/item[1..][#last]", "/rss", "C,E"},
        // Groups and unions, de-duplicated and in document order.
        Selection{"item | item[0]", "/rss/channel", "A,B,C"},
        Selection{"item[2] | title", "/rss/channel", "C1,C"},
        Selection{"(item | title)[0]", "/rss/channel", "C1"},
        Selection{"(item | title)[#last]", "/rss/channel", "C"},
        Selection{"channel/(item[0] | title)", "/rss", "C1,A,C2,D"},
        Selection{"//(title)", "", "C1,A,B,C,C2,D,E"},
        Selection{"/rss/channel/(item)[{7}]", "", "B,E"}));

TEST_F(EvaluateTest, AnyRotatesPerRequest) {
  int32_t channel = node_at("/rss/channel");
  int32_t plain = compile("item[#any]");
  int32_t wrapping = compile("item[{#any}]");
  std::vector<std::string> seen;
  std::vector<std::string> seen_wrapping;
  for (int pass = 0; pass < 4; ++pass) {
    Storage<int32_t> nodes;
    parser_.evaluate_request(plain, data_, channel, nodes);
    seen.push_back(labels(nodes));
    parser_.evaluate_request(wrapping, data_, channel, nodes);
    seen_wrapping.push_back(labels(nodes));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"A", "B", "C", ""}));
  EXPECT_EQ(seen_wrapping, (std::vector<std::string>{"A", "B", "C", "A"}));
  EXPECT_EQ(parser_.any_counter(plain), 4u);
  // Inside a group the rotation follows the whole request's counter.
  int32_t grouped = compile("(item[#any])");
  Storage<int32_t> nodes;
  parser_.evaluate_request(grouped, data_, channel, nodes);
  parser_.evaluate_request(grouped, data_, channel, nodes);
  EXPECT_EQ(labels(nodes), "B");
}

TEST_F(EvaluateTest, LoopIndexAndRandom) {
  parser_.set_mode(ParseMode::xsl_template);
  TextScanner text{std::string_view("<xsl:for-each select='x' index='i'/>")};
  parser_.parse(text);
  parser_.prepare_template();
  int32_t owner = parser_.node_count() - 1;
  int32_t request = parser_.compile_request(String("item[#i]"), 1, owner);
  int32_t channel = node_at("/rss/channel");
  Storage<int32_t> nodes;
  for (uint32_t value : {1u, 2u, 3u}) {
    parser_.set_loop_value(0, value);
    parser_.evaluate_request(request, data_, channel, nodes);
    EXPECT_EQ(labels(nodes), value == 1 ? "B" : value == 2 ? "C" : "");
  }
  int32_t random = compile("item[#random]");
  for (int pass = 0; pass < 20; ++pass) {
    parser_.evaluate_request(random, data_, channel, nodes);
    ASSERT_EQ(nodes.size(), 1);
    EXPECT_TRUE(labels(nodes) == "A" || labels(nodes) == "B" || labels(nodes) == "C");
  }
}

TEST_F(EvaluateTest, ConditionsAndDamagedStepsSelectNothing) {
  parser_.set_position(12, -1);
  EXPECT_EQ(select("item[title]", "/rss/channel"), "");
  EXPECT_EQ(parser_.error, 41);
  // Other steps of a union still contribute.
  parser_.clear_status();
  EXPECT_EQ(select("item[title] | title", "/rss/channel"), "C1");
  EXPECT_EQ(parser_.error, 41);

  parser_.clear_status();
  int32_t request = compile("item");
  parser_.steps()[request].kind = 99;
  EXPECT_EQ(select("item") + "|" + std::to_string(parser_.error), "|0");
  Storage<int32_t> nodes;
  parser_.evaluate_request(request, data_, node_at("/rss/channel"), nodes);
  EXPECT_EQ(nodes.size(), 0);
  EXPECT_EQ(parser_.error, 42);
  parser_.clear_status();
  parser_.steps()[request].kind = kind_named;
  parser_.steps()[request].subscript = 77;
  parser_.evaluate_request(request, data_, node_at("/rss/channel"), nodes);
  EXPECT_EQ(parser_.error, 42);
}

TEST_F(EvaluateTest, UnusableInputsSelectNothing) {
  Storage<int32_t> nodes;
  nodes.push(5);
  parser_.evaluate_request(faulty_request, data_, 0, nodes);
  EXPECT_EQ(nodes.size(), 0);
  parser_.evaluate_request(no_request, data_, 0, nodes);
  EXPECT_EQ(nodes.size(), 0);
  parser_.evaluate_request(compile("rss"), data_, -1, nodes);
  EXPECT_EQ(nodes.size(), 0) << "no context node";
  int32_t request = compile("//item");
  parser_.evaluate_request(request, data_, -1, nodes);
  EXPECT_EQ(nodes.size(), 5) << "the document node needs no context";
  data_.raise_error(26);
  parser_.evaluate_request(request, data_, 0, nodes);
  EXPECT_EQ(nodes.size(), 0) << "data tree with an error";
  EXPECT_EQ(parser_.error, 0);
}

// Requests nested far beyond any template's needs evaluate without native
// recursion; a spent budget stops an evaluation with error 42.
TEST_F(EvaluateTest, HostileRequests) {
  const int depth = 20000;
  EXPECT_EQ(select(std::string(depth, '(') + "item" + std::string(depth, ')'), "/rss/channel"),
            "A,B,C");
  std::string unions = "item[0]";
  for (int i = 0; i < depth; ++i) unions += " | item[0]";
  EXPECT_EQ(select(unions, "/rss/channel"), "A");
  std::string subscripts = "item";
  for (int i = 0; i < depth; ++i) subscripts += "[0]";
  EXPECT_EQ(select(subscripts, "/rss/channel"), "A");
  EXPECT_EQ(parser_.error, 0);

  XslParser::Limits limits;
  limits.request_work = 40;
  parser_.set_limits(limits);
  parser_.restart_budgets();
  testing::TempDir dir;
  const std::string log_path = dir.file("error_log.txt");
  {
    ErrorLog log(String(log_path.c_str()), true);
    ScopedErrorSink install(&log);
    EXPECT_EQ(select("//*//*//*"), "");
    EXPECT_EQ(parser_.error, 42);
    parser_.clear_status();
    EXPECT_EQ(select("/rss"), "") << "the budget stays spent until restarted";
    EXPECT_EQ(parser_.error, 42) << "each later request fails too";
  }
  std::string log;  // the UTF-16 records, narrowed
  const std::string bytes = testing::read_bytes(log_path);
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) log.push_back(bytes[i]);
  const std::string record = "Unknown error while executing an XSL request.";
  const std::size_t first = log.find(record);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(record, first + 1), std::string::npos) << "but is logged once";
  parser_.clear_status();
  parser_.restart_budgets();
  EXPECT_EQ(select("/rss/channel/title"), "C1,C2");
}

// A caller evaluating requests itself may refill its data tree between calls,
// even with a tree of the same size at the same address: long candidate lists
// must not be remembered across such calls.
TEST(EvaluateRefilled, TreeRefilledInPlace) {
  std::string first = "<r>";
  std::string second = "<r>";
  for (int i = 0; i < 40; ++i) {
    first += "<x/>";
    second += "<y/>";
  }
  XslParser parser;
  int32_t xs = parser.compile_request(String("/r/x"), 1, -1);
  XmlParser data = testing::parsed(first + "</r>");
  Storage<int32_t> nodes;
  parser.evaluate_request(xs, data, 0, nodes);
  EXPECT_EQ(nodes.size(), 40);
  data = testing::parsed(second + "</r>");
  parser.evaluate_request(xs, data, 0, nodes);
  EXPECT_EQ(nodes.size(), 0);
  EXPECT_EQ(parser.error, 0);
}

// Descendant steps over a deep tree stay within the budget's reach.
TEST(EvaluateDeep, DeepDataTree) {
  const int depth = 2000;
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  text += "x";
  XmlParser data = testing::parsed(text);
  XslParser parser;
  Storage<int32_t> nodes;
  parser.evaluate_request(parser.compile_request(String("//a"), 1, -1), data, 0, nodes);
  EXPECT_EQ(nodes.size(), depth);
  parser.evaluate_request(parser.compile_request(String("//a//a[#last]"), 1, -1), data, 0, nodes);
  EXPECT_EQ(nodes.size(), 1);
  EXPECT_EQ(parser.error, 0);
}

}  // namespace
}  // namespace wayfetch
