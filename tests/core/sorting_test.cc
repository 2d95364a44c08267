#include "core/sorting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace wayfetch {
namespace {

int by_key(const std::pair<int, int>& a, const std::pair<int, int>& b) {
  return a.first - b.first;
}

TEST(SortingTest, InsertionSortIsStable) {
  std::vector<std::pair<int, int>> items{{3, 0}, {1, 1}, {3, 2}, {2, 3}, {1, 4}};
  insertion_sort(std::span(items), by_key);
  std::vector<std::pair<int, int>> expected{{1, 1}, {1, 4}, {2, 3}, {3, 0}, {3, 2}};
  EXPECT_EQ(items, expected);
}

TEST(SortingTest, QuickSortAgreesWithStdSort) {
  std::mt19937 random(7);
  for (int size : {0, 1, 2, 3, 17, 1000, 5000}) {
    for (int range : {3, 1000000}) {
      std::vector<int> items(static_cast<std::size_t>(size));
      for (int& x : items) x = static_cast<int>(random() % static_cast<unsigned>(range));
      std::vector<int> expected = items;
      std::sort(expected.begin(), expected.end());
      quick_sort(std::span(items), [](int a, int b) { return a < b ? -1 : a > b ? 1 : 0; });
      EXPECT_EQ(items, expected) << size << " " << range;
    }
  }
  // Already sorted and reversed input, the classic worst cases.
  std::vector<int> sorted(20000);
  for (int i = 0; i < 20000; ++i) sorted[static_cast<std::size_t>(i)] = 20000 - i;
  quick_sort(std::span(sorted), [](int a, int b) { return a - b; });
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
}

TEST(SortingTest, BinarySearchPositions) {
  std::vector<int> items{1, 3, 5};
  auto compare = [](int key, int item) { return key - item; };
  auto search = [&](int key) { return binary_search<int>(key, std::span<const int>(items), compare); };
  EXPECT_FALSE(search(4).found);
  EXPECT_EQ(search(4).position, 2);
  EXPECT_EQ(search(0).position, 0);
  EXPECT_EQ(search(6).position, 3);
  EXPECT_TRUE(search(3).found);
  EXPECT_EQ(search(3).position, 1);
  std::vector<int> none;
  auto empty = binary_search<int>(1, std::span<const int>(none), compare);
  EXPECT_FALSE(empty.found);
  EXPECT_EQ(empty.position, 0);
}

}  // namespace
}  // namespace wayfetch
