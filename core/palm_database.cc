// Opening, checking and writing back Palm database files. Record operations
// are in palm_records.cc.
#include "core/palm_database.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/byte_order.h"
#include "core/string.h"
#include "platform/file_replacement.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

constexpr int64_t header_size = 78;  // including the list id and the count
constexpr int64_t entry_size = 8;
// Offsets are 32-bit and File moves at most 2 GiB per call.
constexpr uint64_t max_file_size = 0x7FFFFFFF;
constexpr uint8_t code_creation_bits = 0x1C;
constexpr uint8_t code_open_existing = 0x08;
constexpr uint8_t code_write = 0x02;
constexpr uint8_t code_read_write = 0x03;

std::array<char, 4> four_bytes(std::string_view text) {
  std::array<char, 4> out{};
  std::copy_n(text.begin(), std::min<std::size_t>(text.size(), out.size()), out.begin());
  return out;
}

bool read_exactly(File& file, int64_t offset, uint8_t* buffer, int64_t count) {
  if (count == 0) return true;
  return file.seek(offset, File::Origin::start) == offset &&
         file.read(buffer, static_cast<int32_t>(count)) == count;
}

bool write_all(File& file, const uint8_t* bytes, std::size_t count) {
  return count == 0 ||
         file.write(bytes, static_cast<int32_t>(count)) == static_cast<int32_t>(count);
}

// A header offset that points into the block moves with it.
uint32_t moved(uint32_t offset, uint32_t block_start, std::size_t block_size, int64_t delta) {
  if (offset < block_start || offset - block_start >= block_size) return offset;
  return static_cast<uint32_t>(offset + delta);
}

}  // namespace

std::unique_ptr<PalmDatabase> PalmDatabase::create(const std::string& path, uint8_t open_code,
                                                   std::string_view creator, std::string_view type,
                                                   int32_t mode) {
  // A created database exists only in memory until it is written back, which
  // mode 0 alone does; header-only or on-demand access to it makes no sense.
  if (mode == mode_by_access) mode = mode_memory;
  if (mode != mode_memory) return nullptr;
  std::unique_ptr<PalmDatabase> database(new PalmDatabase());
  if (!database->file_.open(path, static_cast<uint8_t>(open_code | code_read_write)))
    return nullptr;
  database->path_ = path;
  database->mode_ = mode_memory;
  database->header_.creator = four_bytes(creator);
  database->header_.type = four_bytes(type);
  database->header_.creation_date = palm_time_1970;
  database->header_.modification_date = palm_time_1970;
  return database;
}

std::unique_ptr<PalmDatabase> PalmDatabase::create(const String& path, uint8_t open_code,
                                                   std::string_view creator, std::string_view type,
                                                   int32_t mode) {
  return create(path.to_utf8(), open_code, creator, type, mode);
}

std::unique_ptr<PalmDatabase> PalmDatabase::open(const std::string& path, uint8_t open_code,
                                                 int32_t mode) {
  bool writable = (open_code & code_write) != 0;
  if (mode == mode_by_access) mode = writable ? mode_memory : mode_on_demand;
  if (mode < mode_memory || mode > mode_header || (mode == mode_on_demand && writable)) {
    return nullptr;
  }
  std::unique_ptr<PalmDatabase> database(new PalmDatabase());
  uint8_t code = static_cast<uint8_t>((open_code & ~code_creation_bits) | code_open_existing);
  if (!database->file_.open(path, code)) return nullptr;
  database->path_ = path;
  database->no_write_back_ = !writable;
  if (!database->load(mode)) {
    database->discard_ = true;  // never written back, also not by the destructor
    return nullptr;
  }
  return database;
}

std::unique_ptr<PalmDatabase> PalmDatabase::open(const String& path, uint8_t open_code,
                                                 int32_t mode) {
  return open(path.to_utf8(), open_code, mode);
}

PalmDatabase::~PalmDatabase() {
  close();
}

bool PalmDatabase::load(int32_t requested_mode) {
  int64_t size = file_.size();
  if (size < header_size || static_cast<uint64_t>(size) > max_file_size) return false;
  std::array<uint8_t, header_size> bytes{};
  if (!read_exactly(file_, 0, bytes.data(), header_size)) return false;
  std::memcpy(header_.name.data(), bytes.data(), header_.name.size());
  header_.attributes = byte_order::get_be16(&bytes[32]);
  header_.version = byte_order::get_be16(&bytes[34]);
  header_.creation_date = byte_order::get_be32(&bytes[36]);
  header_.modification_date = byte_order::get_be32(&bytes[40]);
  header_.backup_date = byte_order::get_be32(&bytes[44]);
  header_.modification_number = byte_order::get_be32(&bytes[48]);
  header_.app_info_offset = byte_order::get_be32(&bytes[52]);
  header_.sort_info_offset = byte_order::get_be32(&bytes[56]);
  std::memcpy(header_.type.data(), &bytes[60], 4);
  std::memcpy(header_.creator.data(), &bytes[64], 4);
  header_.unique_id_seed = byte_order::get_be32(&bytes[68]);
  // Bytes 72-75, the next record list id, are not used on the desktop.
  try {
    if (!read_record_list(size)) return false;
    if (requested_mode == mode_memory) {
      for (Entry& entry : entries_) {
        entry.data.resize(entry.size);
        if (!read_exactly(file_, entry.offset, entry.data.data(), entry.size)) return false;
        data_bytes_ += entry.size;
      }
    } else if (requested_mode == mode_header) {
      entries_.clear();
    }
  } catch (const std::bad_alloc&) {
    raise_error(errors::storage_allocation);
    return false;
  }
  mode_ = requested_mode;
  return true;
}

// Reads and checks the record list: it must fit the file, and every record
// must start after it, no earlier than the record before, and within the file.
bool PalmDatabase::read_record_list(int64_t file_size) {
  std::array<uint8_t, 2> count_bytes{};
  if (!read_exactly(file_, header_size - 2, count_bytes.data(), 2)) return false;
  int64_t count = byte_order::get_be16(count_bytes.data());
  int64_t list_end = header_size + entry_size * count;
  if (list_end > file_size) return false;
  std::vector<uint8_t> list(static_cast<std::size_t>(entry_size * count));
  if (!read_exactly(file_, header_size, list.data(), entry_size * count)) return false;
  entries_.resize(static_cast<std::size_t>(count));
  int64_t previous = list_end;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const uint8_t* p = &list[i * entry_size];
    int64_t offset = byte_order::get_be32(p);
    if (offset < previous || offset > file_size) return false;
    entries_[i].offset = static_cast<uint32_t>(offset);
    std::copy_n(p + 4, 4, entries_[i].info.begin());
    previous = offset;
  }
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    int64_t end = i + 1 < entries_.size() ? entries_[i + 1].offset : file_size;
    entries_[i].size = static_cast<uint32_t>(end - entries_[i].offset);
  }
  // Application or sort information sits between the list and the first
  // record; keep that block so that writing back does not lose it.
  int64_t block_end = entries_.empty() ? file_size : entries_.front().offset;
  auto inside = [&](uint32_t offset) { return offset >= list_end && offset < block_end; };
  if (inside(header_.app_info_offset) || inside(header_.sort_info_offset)) {
    info_block_.resize(static_cast<std::size_t>(block_end - list_end));
    if (!read_exactly(file_, list_end, info_block_.data(), block_end - list_end)) return false;
    info_block_start_ = static_cast<uint32_t>(list_end);
  }
  return true;
}

bool PalmDatabase::close() {
  if (mode_ < 0) return true;
  bool written = true;
  if (mode_ == mode_memory && !no_write_back_ && !discard_) written = write_back();
  entries_.clear();
  info_block_.clear();
  data_bytes_ = 0;
  file_.close();
  mode_ = -1;
  if (!written) raise_error(errors::file_access);
  return written;
}

bool PalmDatabase::write_back() {
  platform::FileReplacement replacement(path_);
  if (!replacement.ready()) {
    // The folder takes no new file (the file itself is writable): rewriting
    // in place is the only way left.
    return file_.seek(0, File::Origin::start) == 0 && write_to(file_) &&
           file_.truncate(static_cast<int64_t>(file_size_with(0))) && file_.flush();
  }
  File out;
  bool written =
      out.open(replacement.path(), static_cast<uint8_t>(code_write | code_open_existing)) &&
      write_to(out) && out.flush();
  out.close();
  return written && replacement.commit();
}

uint64_t PalmDatabase::file_size_with(int64_t extra_bytes) const {
  uint64_t block = info_block_.empty() ? (entries_.empty() ? 2 : 0) : info_block_.size();
  return static_cast<uint64_t>(header_size) + entry_size * entries_.size() + block + data_bytes_ +
         static_cast<uint64_t>(extra_bytes);
}

bool PalmDatabase::write_to(File& file) {
  if (file_size_with(0) > max_file_size) return false;
  std::size_t count = entries_.size();
  uint32_t list_end = static_cast<uint32_t>(header_size + entry_size * count);
  int64_t delta = static_cast<int64_t>(list_end) - info_block_start_;
  PalmHeader out = header_;
  out.name.back() = '\0';  // the name is always terminated on the handheld
  out.app_info_offset = moved(out.app_info_offset, info_block_start_, info_block_.size(), delta);
  out.sort_info_offset = moved(out.sort_info_offset, info_block_start_, info_block_.size(), delta);

  std::vector<uint8_t> head(list_end);
  std::memcpy(head.data(), out.name.data(), out.name.size());
  byte_order::put_be16(&head[32], out.attributes);
  byte_order::put_be16(&head[34], out.version);
  byte_order::put_be32(&head[36], out.creation_date);
  byte_order::put_be32(&head[40], out.modification_date);
  byte_order::put_be32(&head[44], out.backup_date);
  byte_order::put_be32(&head[48], out.modification_number);
  byte_order::put_be32(&head[52], out.app_info_offset);
  byte_order::put_be32(&head[56], out.sort_info_offset);
  std::memcpy(&head[60], out.type.data(), 4);
  std::memcpy(&head[64], out.creator.data(), 4);
  byte_order::put_be32(&head[68], out.unique_id_seed);
  byte_order::put_be32(&head[72], 0);
  byte_order::put_be16(&head[76], static_cast<uint16_t>(count));
  uint32_t offset = list_end + static_cast<uint32_t>(info_block_.size());
  for (std::size_t i = 0; i < count; ++i) {
    uint8_t* p = &head[static_cast<std::size_t>(header_size) + i * entry_size];
    byte_order::put_be32(p, offset);
    std::copy(entries_[i].info.begin(), entries_[i].info.end(), p + 4);
    offset += static_cast<uint32_t>(entries_[i].data.size());
  }
  if (!write_all(file, head.data(), head.size())) return false;
  if (!info_block_.empty()) {
    if (!write_all(file, info_block_.data(), info_block_.size())) return false;
  } else if (count == 0) {
    const uint8_t padding[2] = {0, 0};
    if (!write_all(file, padding, 2)) return false;
  }
  for (const Entry& entry : entries_) {
    if (!write_all(file, entry.data.data(), entry.data.size())) return false;
  }
  return true;
}

std::string PalmDatabase::name() const {
  auto end = std::find(header_.name.begin(), header_.name.end(), '\0');
  return std::string(header_.name.begin(), end);
}

void PalmDatabase::set_name(std::string_view name) {
  header_.name.fill('\0');
  std::copy_n(name.begin(), std::min<std::size_t>(name.size(), header_.name.size() - 1),
              header_.name.begin());
}

PalmInfo PalmDatabase::get_info() const {
  return {header_.attributes, header_.version, header_.modification_number, header_.type,
          header_.creator};
}

void PalmDatabase::set_info(const PalmInfo& change) {
  if (change.attributes) header_.attributes = *change.attributes;
  if (change.version) header_.version = *change.version;
  if (change.modification_number) header_.modification_number = *change.modification_number;
  if (change.type) header_.type = *change.type;
  if (change.creator) header_.creator = *change.creator;
}

PalmDates PalmDatabase::get_dates() const {
  return {header_.creation_date, header_.modification_date, header_.backup_date};
}

void PalmDatabase::set_dates(const PalmDates& change) {
  if (change.creation) header_.creation_date = *change.creation;
  if (change.modification) header_.modification_date = *change.modification;
  if (change.backup) header_.backup_date = *change.backup;
}

}  // namespace wayfetch
