// The node table: access, building, navigation, blank marking and copies.
#include <gtest/gtest.h>

#include <string>

#include "tests/xml/tree_text.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

using testing::parsed;
using testing::tree_text;

TEST(NodeTable, AccessOutsideTheTableYieldsTheRoot) {
  XmlParser parser;
  EXPECT_EQ(parser.node(5).kind, node_root);
  EXPECT_EQ(parser.error, 17);
  parser.clear_status();
  EXPECT_EQ(parser.node(-1).kind, node_root);
  EXPECT_EQ(parser.error, 17);
}

TEST(NodeTable, CreationNeedsAParentInTheTable) {
  XmlParser parser;
  EXPECT_EQ(parser.create_text(3, String("x")), -1);
  EXPECT_EQ(parser.error, 27);
  EXPECT_EQ(parser.node_count(), 1);

  parser.clear_status();
  int32_t a = parser.create_element(0, String("a"), 0, 1);
  int32_t attribute = parser.create_attribute(a, String("href"));
  EXPECT_TRUE(parser.set_attribute_value(a, String("u")));
  parser.create_text(a, String("t"));
  // The last child is now a text: there is no attribute to fill.
  EXPECT_FALSE(parser.set_attribute_value(a, String("v")));
  EXPECT_EQ(parser.error, 27);
  EXPECT_EQ(parser.get(attribute).parent, a);
  EXPECT_EQ(tree_text(parser), "[a~[@href=u,'t']]");
}

TEST(NodeTable, AttributeLookupIgnoresCase) {
  XmlParser parser = parsed("<a HREF='x' href='y' title=t/>");
  String value;
  EXPECT_TRUE(parser.attribute(1, "href", value));
  EXPECT_EQ(value.window_bytes(), "x");
  EXPECT_FALSE(parser.attribute(1, "name", value));
  EXPECT_EQ(value.window_bytes(), "x");
}

TEST(NodeTable, ElementIterators) {
  //                        1   2   3   4 5  6   7
  XmlParser parser = parsed("<r><a/>t<b><c/></b><d x='1'/></r>");
  EXPECT_EQ(parser.first_element_child(1), 2);
  EXPECT_EQ(parser.next_element_child(1), 4);
  EXPECT_EQ(parser.next_element_child(1), 6);
  EXPECT_EQ(parser.next_element_child(1), -1);

  std::string order;
  for (int32_t e = parser.next_element(1, 1); e != -1; e = parser.next_element(1, e)) {
    order += parser.get(e).name.window_bytes();
  }
  EXPECT_EQ(order, "abcd");
  // A walk that was left half way does not disturb the next one.
  parser.first_element_child(4);
  order.clear();
  for (int32_t e = parser.next_element(0, 0); e != -1; e = parser.next_element(0, e)) {
    order += parser.get(e).name.window_bytes();
  }
  EXPECT_EQ(order, "rabcd");

  XmlParser text_only = parsed("<r>t<!-- c --></r>");
  EXPECT_EQ(text_only.next_element(1, 1), -1);
}

TEST(NodeTable, IsDescendant) {
  XmlParser parser = parsed("<r><a><b/></a></r><s/>");
  EXPECT_TRUE(parser.is_descendant(3, 1));
  EXPECT_TRUE(parser.is_descendant(3, 0));
  EXPECT_FALSE(parser.is_descendant(1, 3));
  EXPECT_FALSE(parser.is_descendant(3, 3));
  EXPECT_FALSE(parser.is_descendant(4, 1));
  EXPECT_FALSE(parser.is_descendant(0, 0));
}

TEST(NodeTable, UniqueNameNamesTheElementAndItsAncestors) {
  XmlParser parser;
  for (int i = 0; i < 25; ++i) parser.create_text(0, String("t"));
  int32_t element = parser.create_element(0, String("item"), 0, 0);
  ASSERT_EQ(element, 26);
  String name;
  parser.unique_name(element, name);
  EXPECT_EQ(name.window_bytes(), "item_1A_");

  XmlParser nested = parsed("<a>x<b><c>y</c></b></a>");  // a 1, b 3, c 4
  nested.unique_name(4, name);
  EXPECT_EQ(name.window_bytes(), "c_4_b_3_a_1_");
  nested.unique_name(2, name);
  EXPECT_TRUE(name.empty());
}

TEST(NodeTable, RemoveLastNode) {
  XmlParser parser = parsed("<a x='1'/>");
  EXPECT_TRUE(parser.remove_last_node());
  EXPECT_EQ(tree_text(parser), "[a[]]");
  parser.node(1).children.push(0);  // a damaged table: the last node has a child
  EXPECT_FALSE(parser.remove_last_node());
  EXPECT_EQ(parser.error, 22);

  XmlParser empty;
  EXPECT_FALSE(empty.remove_last_node());
  EXPECT_EQ(empty.error, 22);
}

TEST(NodeTable, MarkBlank) {
  // 1 r, 2 ' ', 3 a, 4 '\n', 5 b, 6 @x, 7 c, 8 ' t ', 9 comment, 10 e
  XmlParser parser = parsed("<r> <a>\n</a><b x='1'/><c> t </c><!-- --><e/></r>");
  EXPECT_FALSE(parser.mark_blank(0));
  std::string flags;
  for (int32_t i = 1; i < parser.node_count(); ++i) flags += parser.get(i).blank ? 'B' : '.';
  EXPECT_EQ(flags, ".BBB.....B");
  EXPECT_TRUE(parser.mark_blank(3));
}

TEST(NodeTable, CollectTextsInDocumentOrder) {
  XmlParser parser = parsed("<r>a<x>b<y>c</y></x>d</r>");
  Storage<int32_t> texts;
  XmlParser::collect_texts(texts, parser, 1);
  std::string joined;
  for (int32_t i : texts) joined += parser.get(i).name.window_bytes();
  EXPECT_EQ(joined, "abcd");
  Storage<int32_t> one;
  XmlParser::collect_texts(one, parser, 2);
  EXPECT_EQ(one.size(), 1);
}

TEST(NodeTable, ImportSubtreeCopiesWithFreshLinks) {
  XmlParser source = parsed("<doc><p a='1'>x<b>y</b></p><q/></doc>");
  XmlParser target = parsed("<out/>");
  int32_t top = target.import_subtree(source, 2, 1);
  EXPECT_EQ(tree_text(target), "[out[p[@a=1,'x',b['y']]]]");
  EXPECT_EQ(target.get(top).parent, 1);
  EXPECT_EQ(target.import_subtree(source, 99), -1);

  // Into its own table: the copy does not see itself.
  int32_t again = target.import_subtree(target, 1, 1);
  EXPECT_EQ(tree_text(target, again), "out[p[@a=1,'x',b['y']]]");
}

TEST(NodeTable, ImportSubtreeLimitedCutsTexts) {
  XmlParser source = parsed("<p>hello<b>world</b>again</p>");
  XmlParser target;
  int32_t used = 0;
  target.import_subtree_limited(source, 1, 7, used);
  EXPECT_EQ(tree_text(target), "[p['hello',b['wo']]]");
  EXPECT_EQ(used, 7);
  target.import_subtree_limited(source, 1, 7, used);
  EXPECT_EQ(tree_text(target), "[p['hello',b['wo']],p[b[]]]");

  XmlParser unlimited;
  int32_t count = 0;
  unlimited.import_subtree_limited(source, 1, -1, count);
  EXPECT_EQ(tree_text(unlimited), "[p['hello',b['world'],'again']]");
}

TEST(NodeTable, ImportedCopiesKeepTheRenderingFields) {
  XmlParser source = parsed("<p a='1'>hello</p>");
  source.node(1).index_slot = 4;
  source.node(2).request_id = 5;
  source.node(3).index_slot = 6;
  source.node(3).request_id = 7;
  for (int32_t limit : {-1, 3}) {
    XmlParser target;
    int32_t used = 0;
    int32_t top = target.import_subtree_limited(source, 1, limit, used);
    ASSERT_EQ(top, 1);
    EXPECT_EQ(target.get(1).index_slot, 4);
    EXPECT_EQ(target.get(2).request_id, 5);
    // A text cut to the limit is still the same node for the renderer.
    EXPECT_EQ(target.get(3).index_slot, 6) << limit;
    EXPECT_EQ(target.get(3).request_id, 7) << limit;
    EXPECT_EQ(target.get(3).source_start, source.get(3).source_start);
  }
}

TEST(NodeTable, ImportSubtreeLimitedCountsCharacters) {
  XmlParser source;
  TextScanner text(std::string_view("<p>\x82\xa0\x82\xa2\x82\xa4</p>"));
  text.set_encoding(TextEncoding::Multibyte, 932);
  source.parse(text);
  XmlParser target;
  int32_t used = 0;
  target.import_subtree_limited(source, 1, 2, used);
  EXPECT_EQ(target.get(2).name.window_bytes(), "\x82\xa0\x82\xa2");
}

TEST(NodeTable, AppendCopyTakesTheRecordWithoutChildren) {
  XmlParser parser = parsed("<a x='1'>t</a>");
  int32_t copy = parser.append_copy(0, parser.node(1));
  EXPECT_EQ(tree_text(parser, copy), "a[]");
  EXPECT_EQ(parser.get(copy).source_start, 0);
  int32_t attribute = parser.append_copy(copy, parser.node(2));
  EXPECT_EQ(tree_text(parser, copy), "a[@x=1]");
  EXPECT_EQ(parser.get(attribute).parent, copy);
}

TEST(NodeTable, DeepTreesAreWalkedWithoutRecursion) {
  constexpr int depth = 50000;
  std::string page;
  for (int i = 0; i < depth; ++i) page += "<e> ";
  XmlParser parser = parsed(page + "x");
  ASSERT_EQ(parser.node_count(), 2 * depth + 1);
  EXPECT_FALSE(parser.mark_blank(0));
  EXPECT_FALSE(parser.mark_blank(3));
  EXPECT_TRUE(parser.mark_blank(2));
  Storage<int32_t> texts;
  XmlParser::collect_texts(texts, parser, 0);
  EXPECT_EQ(texts.size(), depth);
  XmlParser copy;
  EXPECT_EQ(copy.import_subtree(parser, 1), 1);
  EXPECT_EQ(copy.node_count(), parser.node_count());
  int32_t elements = 0;
  for (int32_t e = parser.next_element(0, 0); e != -1; e = parser.next_element(0, e)) ++elements;
  EXPECT_EQ(elements, depth);
}

}  // namespace
}  // namespace wayfetch
