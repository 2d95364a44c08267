// Growing and shrinking the node table.
#include "xml/node_store.h"

#include <new>

namespace wayfetch {

XmlNode* NodeStore::append() {
  constexpr int64_t max_bytes = int64_t{1} << 31;
  if (static_cast<int64_t>(size_ + 1) * static_cast<int64_t>(sizeof(XmlNode)) > max_bytes) {
    return nullptr;
  }
  try {
    if (segments_.empty()) {
      segments_.emplace_back();
      segments_.back().reserve(16);
    }
    std::vector<XmlNode>* last = &segments_.back();
    if (last->size() == last->capacity()) {
      if (segments_.size() == 1 && last->capacity() < static_cast<std::size_t>(segment_size)) {
        // The first segment doubles; its few records move once each time.
        last->reserve(last->capacity() * 2);
      } else {
        segments_.emplace_back();
        last = &segments_.back();
        last->reserve(segment_size);
      }
    }
    last->emplace_back();
    ++size_;
    return &last->back();
  } catch (const std::bad_alloc&) {
    if (!segments_.empty() && segments_.back().empty()) segments_.pop_back();
    return nullptr;
  }
}

void NodeStore::remove_last() {
  if (size_ == 0) return;
  segments_.back().pop_back();
  --size_;
  if (segments_.back().empty() && segments_.size() > 1) segments_.pop_back();
}

void NodeStore::reset() {
  std::vector<std::vector<XmlNode>>().swap(segments_);
  size_ = 0;
}

}  // namespace wayfetch
