#include "core/storage.h"

#include <gtest/gtest.h>

#include <string>

namespace wayfetch {
namespace {

TEST(StorageTest, GrowthRuleAndSentinel) {
  Storage<int> s;
  EXPECT_EQ(s.size(), 0);
  EXPECT_EQ(s.capacity(), 6);
  EXPECT_EQ(s.top(), 1);
  EXPECT_EQ(s.count(), 1);
  s.at(0) = 1;
  EXPECT_EQ(s.size(), 1);
  EXPECT_EQ(s.count(), 2);
  EXPECT_EQ(s.capacity(), 6);
  s.at(5) = 6;  // 5 >= capacity - 1: 5/2 + 5 + 2
  EXPECT_EQ(s.capacity(), 9);
  EXPECT_EQ(s.size(), 6);
  Storage<int> t;
  t.at(6);
  EXPECT_EQ(t.capacity(), 11);
  t.at(14);
  EXPECT_EQ(t.capacity(), 23);
  EXPECT_EQ(t.size(), 15);
  // Reading an element that does not exist gives the sentinel.
  EXPECT_EQ(&t.get(15), &t.get(-1));
  EXPECT_EQ(t.error, 0);
  t.at(-1);
  EXPECT_EQ(t.error, 13);
}

TEST(StorageTest, StackOperations) {
  Storage<std::string> s;
  s.push("a");
  s.push("b");
  EXPECT_EQ(s.top(), 3);
  EXPECT_EQ(s.peek(), "b");
  EXPECT_EQ(s.pop(), "b");
  EXPECT_EQ(s.pop(), "a");
  EXPECT_EQ(s.warning, 0);
  EXPECT_EQ(s.pop(), "");  // the default element
  EXPECT_EQ(s.warning, 5);
  EXPECT_EQ(s.top(), 1);
  EXPECT_EQ(s.peek(), "");
  // A write through the element of a failed access never comes back.
  s.pop() = "written by mistake";
  EXPECT_EQ(s.get(7), "");
  EXPECT_EQ(s.pop(), "");
  s.at(-1) = "again";
  EXPECT_EQ(s.peek(), "");
  s.peek() = "and again";
  EXPECT_EQ(s.at(-1), "");
}

TEST(StorageTest, RemoveShiftsAndAdjustsTop) {
  Storage<std::string> s;
  for (const char* text : {"a", "b", "c", "d"}) s.push(text);
  s.remove(1);
  ASSERT_EQ(s.size(), 3);
  EXPECT_EQ(s.get(0), "a");
  EXPECT_EQ(s.get(1), "c");
  EXPECT_EQ(s.get(2), "d");
  EXPECT_EQ(s.top(), 4);
  s.remove(7);  // not an element: nothing happens
  EXPECT_EQ(s.size(), 3);
  EXPECT_EQ(s.pop(), "d");
}

TEST(StorageTest, OwningElementsSurviveGrowthCopyAndMove) {
  // Elements own heap memory; growth must move them, not copy their bytes.
  Storage<std::string> s;
  for (int i = 0; i < 1000; ++i) s.push(std::string(40, static_cast<char>('a' + i % 26)));
  Storage<std::string> copy = s;
  Storage<std::string> moved = std::move(s);
  EXPECT_EQ(moved.size(), 1000);
  EXPECT_EQ(copy.get(999), std::string(40, static_cast<char>('a' + 999 % 26)));
  EXPECT_EQ(s.size(), 0);  // NOLINT(bugprone-use-after-move): reset to empty
  copy.clear();
  EXPECT_EQ(copy.size(), 0);
  EXPECT_EQ(copy.capacity(), 6);
  int total = 0;
  for (const std::string& text : moved) total += static_cast<int>(text.size());
  EXPECT_EQ(total, 40000);
}

TEST(StorageTest, SwapExchangesContentsStacksAndStatus) {
  Storage<int> a;
  Storage<int> b;
  for (int i = 0; i < 20; ++i) a.push(i);
  b.push(7);
  b.pop();
  b.pop();  // warning 5 on b
  a.swap(b);
  EXPECT_EQ(a.size(), 1);
  EXPECT_EQ(a.top(), 1);
  EXPECT_EQ(a.warning, 5);
  EXPECT_EQ(b.size(), 20);
  EXPECT_EQ(b.peek(), 19);
  EXPECT_EQ(b.warning, 0);
  b.push(20);
  EXPECT_EQ(b.get(20), 20);
}

TEST(StorageTest, HugeIndexFailsWithError12) {
  Storage<std::string> s;
  std::string& slot = s.at(2000000000);
  EXPECT_EQ(s.error, 12);
  EXPECT_EQ(slot, "");  // the default element
  EXPECT_EQ(s.size(), 0);
}

}  // namespace
}  // namespace wayfetch
