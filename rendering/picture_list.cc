#include "rendering/picture_list.h"

#include <string_view>

namespace wayfetch {

uint32_t picture_key(const String& address) {
  uint32_t hash = 2166136261u;
  for (char byte : address.window_bytes()) {
    hash ^= static_cast<uint8_t>(byte);
    hash *= 16777619u;
  }
  return hash;
}

void PictureIndex::attach(PictureList* list) {
  list_ = list;
  by_key_.clear();
  if (list_ == nullptr) return;
  for (int32_t i = 0; i < list_->size(); ++i) {
    by_key_.emplace(list_->get(i).key, i);
  }
}

bool PictureIndex::listed(const String& address, int32_t section, uint32_t key) const {
  auto [from, to] = by_key_.equal_range(key);
  for (auto it = from; it != to; ++it) {
    const PictureListEntry& record = list_->get(it->second);
    // Same bytes: the addresses are both results of resolution, so equal
    // addresses have equal texts.
    if (record.section == section && record.address.window_bytes() == address.window_bytes()) {
      return true;
    }
  }
  return false;
}

bool PictureIndex::add(const String& address, int32_t section, const String& written) {
  if (list_ == nullptr) return false;
  uint32_t key = picture_key(address);
  if (listed(address, section, key)) return false;
  int32_t index = list_->size();
  PictureListEntry& record = list_->at(index);
  if (&record == &list_->get(-1)) return false;  // the list could not grow (error 12 on it)
  record.address = address;
  record.section = section;
  record.key = key;
  record.written = written;
  by_key_.emplace(key, index);
  return true;
}

}  // namespace wayfetch
