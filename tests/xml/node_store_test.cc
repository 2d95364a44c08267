#include "xml/node_store.h"

#include <gtest/gtest.h>

#include <string>

#include "xml/child_list.h"

namespace wayfetch {
namespace {

// Records keep their place and contents across the first segment's
// doubling and the later segments; removing walks back across a boundary.
TEST(NodeStoreTest, RecordsKeepTheirPlaceAcrossSegments) {
  NodeStore store;
  constexpr int32_t count = 3 * NodeStore::segment_size + 5;
  for (int32_t i = 0; i < count; ++i) {
    XmlNode* record = store.append();
    ASSERT_NE(record, nullptr);
    record->parent = i - 1;
    record->name.set_text(std::to_string(i) + " and some longer text", TextEncoding::SingleByte,
                          -1);
  }
  const XmlNode* kept = &store.get(2 * NodeStore::segment_size);
  for (int32_t i = 0; i < 10; ++i) store.append();
  EXPECT_EQ(kept, &store.get(2 * NodeStore::segment_size));  // full segments never move
  for (int32_t i = 0; i < 10; ++i) store.remove_last();
  for (int32_t i : {0, 15, 16, 1023, 1024, 1025, count - 1}) {
    EXPECT_EQ(store.get(i).parent, i - 1);
    EXPECT_EQ(store.get(i).name.window_bytes(), std::to_string(i) + " and some longer text");
  }
  while (store.size() > NodeStore::segment_size - 1) store.remove_last();
  EXPECT_EQ(store.get(NodeStore::segment_size - 2).parent, NodeStore::segment_size - 3);
  XmlNode* again = store.append();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->parent, -1);
  EXPECT_TRUE(again->name.empty());
}

TEST(NodeStoreTest, OutsideTheTableReadsEmptyAndWritesGoNowhere) {
  NodeStore store;
  store.append()->kind = node_root;
  for (int32_t i : {-1, 1, 1 << 20}) {
    EXPECT_EQ(store.get(i).kind, node_text);
    store.at(i).kind = node_element;
    EXPECT_EQ(store.at(i).kind, node_text);
  }
  EXPECT_EQ(store.get(0).kind, node_root);
  store.reset();
  EXPECT_EQ(store.size(), 0);
}

TEST(NodeStoreTest, ChildListsGrowShrinkAndCopy) {
  ChildList list;
  EXPECT_EQ(list.begin(), list.end());
  for (int32_t i = 1; i <= 100; ++i) list.push(i);
  list.remove(0);
  list.remove(98);
  list.remove(500);
  ASSERT_EQ(list.size(), 98);
  EXPECT_EQ(list.get(0), 2);
  EXPECT_EQ(list.get(97), 99);
  EXPECT_EQ(list.get(98), 0);
  ChildList copy(list);
  list.clear();
  EXPECT_EQ(list.size(), 0);
  int32_t sum = 0;
  for (int32_t child : copy) sum += child;
  EXPECT_EQ(sum, 5050 - 1 - 100);
}

}  // namespace
}  // namespace wayfetch
