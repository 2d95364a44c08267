// Sorting and searching over arrays of records, driven by a comparison that
// returns negative, 0 or positive (the record tables of Palm databases use them).
#ifndef WAYFETCH_CORE_SORTING_H
#define WAYFETCH_CORE_SORTING_H

#include <array>
#include <cstdint>
#include <span>
#include <tuple>
#include <utility>

namespace wayfetch {

// Stable ascending sort: an element moves left while the one before it is greater.
template <typename T, typename Compare>
void insertion_sort(std::span<T> items, Compare compare) {
  for (std::size_t i = 1; i < items.size(); ++i) {
    for (std::size_t j = i; j > 0 && compare(items[j - 1], items[j]) > 0; --j) {
      std::swap(items[j - 1], items[j]);
    }
  }
}

// Iterative quick sort: the middle element is the pivot (moved to the front
// first); the smaller part of each partition is sorted at once and the larger
// one deferred on an explicit stack of 32 ranges, which always suffices.
template <typename T, typename Compare>
void quick_sort(std::span<T> items, Compare compare) {
  if (items.size() < 2) return;
  std::array<std::pair<std::size_t, std::size_t>, 32> stack{};
  std::size_t depth = 0;
  std::size_t low = 0;
  std::size_t high = items.size() - 1;  // inclusive
  while (true) {
    while (low < high) {
      std::swap(items[low], items[low + (high - low) / 2]);
      std::size_t last = low;  // last index of the "less than pivot" part
      for (std::size_t i = low + 1; i <= high; ++i) {
        if (compare(items[i], items[low]) < 0) std::swap(items[++last], items[i]);
      }
      std::swap(items[low], items[last]);
      // Parts: [low, last - 1] and [last + 1, high].
      std::size_t left_size = last - low;
      std::size_t right_size = high - last;
      if (left_size < right_size) {
        if (right_size > 1 && depth < stack.size()) stack[depth++] = {last + 1, high};
        if (left_size == 0) break;
        high = last - 1;
      } else {
        if (left_size > 1 && depth < stack.size()) stack[depth++] = {low, last - 1};
        low = last + 1;
      }
    }
    if (depth == 0) return;
    std::tie(low, high) = stack[--depth];
  }
}

struct SearchResult {
  bool found = false;
  int32_t position = 0;  // where the key is, or where it would be inserted
};

// Halving search for `key` in ascending `items`; compare(key, item).
template <typename T, typename Key, typename Compare>
SearchResult binary_search(const Key& key, std::span<const T> items, Compare compare) {
  int32_t low = 0;
  int32_t high = static_cast<int32_t>(items.size()) - 1;
  while (low <= high) {
    int32_t middle = low + (high - low) / 2;
    int result = compare(key, items[static_cast<std::size_t>(middle)]);
    if (result == 0) return {true, middle};
    if (result < 0) {
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  return {false, low};
}

}  // namespace wayfetch

#endif
