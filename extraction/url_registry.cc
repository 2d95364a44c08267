#include "extraction/url_registry.h"

#include <utility>

namespace wayfetch::extraction {

void UrlRegistry::reset(int64_t max_pairs) {
  entries_.clear();
  pairs_ = 0;
  // Numbers stay below `none` whatever the caller asks for.
  max_pairs_ = max_pairs < 0 ? 0 : (max_pairs > int64_t{none} ? int64_t{none} : max_pairs);
  next_ = 0;
}

UrlRegistry::Entry* UrlRegistry::find(const std::string& address) {
  auto found = entries_.find(address);
  return found == entries_.end() ? nullptr : &found->second;
}

UrlRegistry::Lookup UrlRegistry::number(const std::string& address, const std::string& anchor,
                                        bool may_add) {
  Lookup result;
  result.entry = find(address);
  if (result.entry != nullptr) {
    auto known = result.entry->anchors.find(anchor);
    if (known != result.entry->anchors.end()) {
      result.number = known->second;
      return result;
    }
  } else if (!may_add) {
    return result;
  }
  if (pairs_ >= max_pairs_) return result;
  if (result.entry == nullptr) {
    result.entry = &entries_[address];
    result.new_address = true;
  }
  result.number = next_++;
  result.entry->anchors.emplace(anchor, result.number);
  ++pairs_;
  return result;
}

}  // namespace wayfetch::extraction
