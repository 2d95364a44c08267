// The node record's list of children.
#include "xml/child_list.h"

#include <cstdlib>
#include <cstring>

namespace wayfetch {

ChildList::ChildList(const ChildList& other) {
  *this = other;
}

ChildList& ChildList::operator=(const ChildList& other) {
  if (this == &other) return *this;
  clear();
  for (int32_t child : other) push(child);
  return *this;
}

ChildList::~ChildList() {
  std::free(block_);
}

void ChildList::push(int32_t child) {
  int32_t count = size();
  int32_t room = block_ == nullptr ? 0 : block_[1];
  if (count == room) {
    if (room > INT32_MAX / 2 - 4) return;
    int32_t bigger = room < 2 ? 2 : room + room / 2;
    auto* grown = static_cast<int32_t*>(
        std::realloc(block_, (static_cast<std::size_t>(bigger) + 2) * sizeof(int32_t)));
    if (grown == nullptr) return;
    if (block_ == nullptr) grown[0] = 0;
    grown[1] = bigger;
    block_ = grown;
  }
  block_[count + 2] = child;
  block_[0] = count + 1;
}

void ChildList::remove(int32_t k) {
  int32_t count = size();
  if (k < 0 || k >= count) return;
  std::memmove(block_ + 2 + k, block_ + 3 + k,
               static_cast<std::size_t>(count - k - 1) * sizeof(int32_t));
  block_[0] = count - 1;
}

void ChildList::clear() {
  std::free(block_);
  block_ = nullptr;
}

}  // namespace wayfetch
