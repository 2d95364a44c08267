// ChildList: the child indexes of one node record, in document order.
//
// One pointer in the record; an empty list (every text, comment and
// attribute node) allocates nothing. The indexes live in one heap block
// with the count and room in front, growing by half again as needed.
// A list that cannot grow keeps what it had. Not thread-safe.
#ifndef WAYFETCH_XML_CHILD_LIST_H
#define WAYFETCH_XML_CHILD_LIST_H

#include <cstdint>
#include <utility>

namespace wayfetch {

class ChildList {
 public:
  ChildList() = default;
  ChildList(const ChildList& other);
  ChildList(ChildList&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  ChildList& operator=(const ChildList& other);
  ChildList& operator=(ChildList&& other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~ChildList();

  int32_t size() const { return block_ == nullptr ? 0 : block_[0]; }
  // Child k; 0 when k is not in the list.
  int32_t get(int32_t k) const { return k >= 0 && k < size() ? block_[k + 2] : 0; }
  void push(int32_t child);
  // Removes child k, shifting the later ones down.
  void remove(int32_t k);
  void clear();
  void swap(ChildList& other) noexcept { std::swap(block_, other.block_); }

  const int32_t* begin() const { return block_ == nullptr ? nullptr : block_ + 2; }
  const int32_t* end() const { return block_ == nullptr ? nullptr : block_ + 2 + block_[0]; }

 private:
  // [0] count, [1] room, then the indexes; null when never used.
  int32_t* block_ = nullptr;
};

}  // namespace wayfetch

#endif
