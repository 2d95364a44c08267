// Record access, editing and sorting of a PalmDatabase.
#include <algorithm>
#include <new>
#include <utility>

#include "core/byte_order.h"
#include "core/palm_database.h"

namespace wayfetch {
namespace {

constexpr uint64_t max_file_size = 0x7FFFFFFF;

// The attribute byte, then the 24-bit unique id, big-endian.
std::array<uint8_t, 4> info_bytes(uint8_t attributes, uint32_t unique_id) {
  std::array<uint8_t, 4> info{};
  byte_order::put_be32(info.data(), unique_id & 0xFFFFFF);
  info[0] = attributes;
  return info;
}

uint32_t unique_id_of(const std::array<uint8_t, 4>& info) {
  return byte_order::get_be32(info.data()) & 0xFFFFFF;
}

}  // namespace

std::span<uint8_t> PalmRecord::data() {
  if (database_ == nullptr) return own_data_;
  PalmDatabase::Entry* entry = database_->entry(index_);
  return entry != nullptr ? std::span<uint8_t>(entry->data) : std::span<uint8_t>();
}

std::span<const uint8_t> PalmRecord::data() const {
  if (database_ == nullptr) return own_data_;
  const PalmDatabase::Entry* entry = std::as_const(*database_).entry(index_);
  return entry != nullptr ? std::span<const uint8_t>(entry->data) : std::span<const uint8_t>();
}

bool PalmRecord::write(uint32_t offset, const void* bytes, uint32_t length) {
  std::span<uint8_t> target = data();
  if (bytes == nullptr || offset > target.size() || length > target.size() - offset) return false;
  std::copy_n(static_cast<const uint8_t*>(bytes), length, target.begin() + offset);
  return true;
}

PalmSortItem PalmRecord::sort_item() const {
  if (database_ == nullptr) return {own_data_, own_info_};
  const PalmDatabase::Entry* entry = std::as_const(*database_).entry(index_);
  return entry != nullptr ? entry->sort_item() : PalmSortItem{};
}

PalmDatabase::Entry* PalmDatabase::entry(int32_t i) {
  if (i < 0 || static_cast<std::size_t>(i) >= entries_.size()) return nullptr;
  return &entries_[static_cast<std::size_t>(i)];
}

const PalmDatabase::Entry* PalmDatabase::entry(int32_t i) const {
  if (i < 0 || static_cast<std::size_t>(i) >= entries_.size()) return nullptr;
  return &entries_[static_cast<std::size_t>(i)];
}

int32_t PalmDatabase::record_count() const {
  if (mode_ != mode_memory && mode_ != mode_on_demand) return 0;
  return static_cast<int32_t>(entries_.size());
}

std::unique_ptr<PalmRecord> PalmDatabase::get_record(int32_t i) {
  const Entry* found = entry(i);
  if (found == nullptr) return nullptr;
  if (mode_ == mode_memory) return std::unique_ptr<PalmRecord>(new PalmRecord(this, i));
  if (mode_ != mode_on_demand) return nullptr;
  std::unique_ptr<PalmRecord> record(new PalmRecord(nullptr, i));
  record->own_info_ = found->info;
  try {
    record->own_data_.resize(found->size);
  } catch (const std::bad_alloc&) {
    raise_error(errors::storage_allocation);
    return nullptr;
  }
  // The file may have changed since it was opened: a short read refuses.
  if (found->size > 0 && (file_.seek(found->offset, File::Origin::start) != found->offset ||
                          file_.read(record->own_data_.data(), static_cast<int32_t>(found->size)) !=
                              static_cast<int32_t>(found->size))) {
    return nullptr;
  }
  return record;
}

uint32_t PalmDatabase::record_size(int32_t i) const {
  const Entry* found = record_count() > 0 ? entry(i) : nullptr;
  return found != nullptr ? found->size : 0;
}

std::optional<PalmRecordInfo> PalmDatabase::record_info(int32_t i) const {
  const Entry* found = record_count() > 0 ? entry(i) : nullptr;
  if (found == nullptr) return std::nullopt;
  return PalmRecordInfo{found->info[0], unique_id_of(found->info)};
}

std::unique_ptr<PalmRecord> PalmDatabase::new_record(int32_t i, uint32_t size) {
  if (!in_memory() || i < 0 || entries_.size() >= static_cast<std::size_t>(max_records)) {
    return nullptr;
  }
  if (file_size_with(8 + static_cast<int64_t>(size)) > max_file_size) return nullptr;
  auto at =
      static_cast<int32_t>(std::min<std::size_t>(static_cast<std::size_t>(i), entries_.size()));
  try {
    Entry added;
    added.data.resize(size);
    added.size = size;
    added.info = info_bytes(0, header_.unique_id_seed);
    entries_.insert(entries_.begin() + at, std::move(added));
  } catch (const std::bad_alloc&) {
    raise_error(errors::storage_allocation);
    return nullptr;
  }
  ++header_.unique_id_seed;
  data_bytes_ += size;
  return std::unique_ptr<PalmRecord>(new PalmRecord(this, at));
}

bool PalmDatabase::set_record_info(int32_t i, uint8_t attributes, uint32_t unique_id) {
  Entry* found = in_memory() ? entry(i) : nullptr;
  if (found == nullptr) return false;
  found->info = info_bytes(attributes, unique_id);
  return true;
}

bool PalmDatabase::resize_record(int32_t i, uint32_t size) {
  Entry* found = in_memory() ? entry(i) : nullptr;
  if (found == nullptr) return false;
  int64_t growth = static_cast<int64_t>(size) - static_cast<int64_t>(found->data.size());
  if (growth > 0 && file_size_with(growth) > max_file_size) return false;
  try {
    found->data.resize(size);
  } catch (const std::bad_alloc&) {
    raise_error(errors::storage_allocation);
    return false;
  }
  found->size = size;
  data_bytes_ = static_cast<uint64_t>(static_cast<int64_t>(data_bytes_) + growth);
  return true;
}

bool PalmDatabase::delete_record(int32_t i) {
  Entry* found = in_memory() ? entry(i) : nullptr;
  if (found == nullptr) return false;
  data_bytes_ -= found->data.size();
  entries_.erase(entries_.begin() + i);
  return true;
}

int32_t PalmDatabase::find_by_unique_id(uint32_t unique_id) const {
  if (!in_memory()) return -1;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (unique_id_of(entries_[i].info) == (unique_id & 0xFFFFFF)) return static_cast<int32_t>(i);
  }
  return -1;
}

bool PalmDatabase::insertion_sort(const PalmCompare& compare, void* user) {
  if (!in_memory() || !compare) return false;
  wayfetch::insertion_sort(std::span<Entry>(entries_), [&](const Entry& a, const Entry& b) {
    return compare(a.sort_item(), b.sort_item(), user);
  });
  return true;
}

bool PalmDatabase::quick_sort(const PalmCompare& compare, void* user) {
  if (!in_memory() || !compare) return false;
  wayfetch::quick_sort(std::span<Entry>(entries_), [&](const Entry& a, const Entry& b) {
    return compare(a.sort_item(), b.sort_item(), user);
  });
  return true;
}

SearchResult PalmDatabase::find_sort_position(const PalmSortItem& item, const PalmCompare& compare,
                                              void* user) const {
  if (!in_memory() || !compare) return {};
  return binary_search(item, std::span<const Entry>(entries_),
                       [&](const PalmSortItem& key, const Entry& record) {
                         return compare(key, record.sort_item(), user);
                       });
}

}  // namespace wayfetch
