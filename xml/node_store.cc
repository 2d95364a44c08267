// Growing the node table.
#include "xml/node_store.h"

#include <new>

namespace wayfetch {

XmlNode* NodeStore::append() {
  constexpr int64_t max_bytes = int64_t{1} << 31;
  std::size_t room = records_.capacity();
  if (records_.size() == room) {
    std::size_t bigger = room + room / 2 + 16;
    if (static_cast<int64_t>(bigger * sizeof(XmlNode)) > max_bytes) return nullptr;
    try {
      records_.reserve(bigger);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  records_.emplace_back();
  return &records_.back();
}

}  // namespace wayfetch
