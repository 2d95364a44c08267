// PalmDatabase: record-level access to a Palm database file (.pdb/.prc) on
// the desktop, with the operations of the handheld's data manager: create or
// open a database, read and set its header, get, add, resize and delete
// records, set their attributes and unique ids, sort them and find a sorted
// position. The byte layout is in docs/palm_database_format.md.
//
// Access modes:
//   0 in memory: every record is loaded when opened and all operations work
//     on the copies; close() writes the whole file back unless the database
//     was opened without write access or discarded.
//   1 on demand: read-only; each get_record reads the record from the file.
//   2 header only: record operations refuse.
//   3 asks for 1 when opened without write access and 0 otherwise.
// Asking for 1 with write access is refused.
//
// Files are checked before anything is believed: a file that is too short
// for its header or its record list, whose record offsets point into the
// header or list, go backwards or beyond the end, fails to open (nothing is
// allocated from an unchecked field, and such a file is never written back).
// Write-back goes to a new file beside the old one, which then replaces the
// old one by renaming; when that fails the old file is left as it was and
// close() reports error 6. Blocks the record list does not describe
// (application and sort information) are kept in their place.
//
// Failures: operations out of range or in the wrong mode return false,
// nullptr, -1 or 0 and change nothing; allocation failures raise error 12,
// a failed write-back error 6. Not thread-safe: one thread uses a database
// and its records.
#ifndef WAYFETCH_CORE_PALM_DATABASE_H
#define WAYFETCH_CORE_PALM_DATABASE_H

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error_state.h"
#include "core/file.h"
#include "core/sorting.h"

namespace wayfetch {

class PalmDatabase;
class String;

// 1970-01-01 in seconds since 1904-01-01, the dates of a created database.
inline constexpr uint32_t palm_time_1970 = 0x7C25B080;

// The header fields, numbers in host byte order; type and creator as stored.
struct PalmHeader {
  std::array<char, 32> name{};  // zero-terminated, at most 31 characters
  uint16_t attributes = 0;
  uint16_t version = 0;
  uint32_t creation_date = 0;  // seconds since 1904-01-01
  uint32_t modification_date = 0;
  uint32_t backup_date = 0;
  uint32_t modification_number = 0;
  uint32_t app_info_offset = 0;
  uint32_t sort_info_offset = 0;
  std::array<char, 4> type{};
  std::array<char, 4> creator{};
  uint32_t unique_id_seed = 0;
};

// Header information; in a change, fields left empty keep their value.
struct PalmInfo {
  std::optional<uint16_t> attributes{};
  std::optional<uint16_t> version{};
  std::optional<uint32_t> modification_number{};
  std::optional<std::array<char, 4>> type{};
  std::optional<std::array<char, 4>> creator{};
};
struct PalmDates {
  std::optional<uint32_t> creation{};
  std::optional<uint32_t> modification{};
  std::optional<uint32_t> backup{};
};

struct PalmRecordInfo {
  uint8_t attributes = 0;
  uint32_t unique_id = 0;  // 24 bits
};

// What a sort comparison sees of a record: its data, and its attributes and
// unique id as the four bytes of its list entry (attributes, then the id
// high byte first).
struct PalmSortItem {
  std::span<const uint8_t> data;
  std::array<uint8_t, 4> info{};
};
// Negative, 0 or positive as `a` sorts before, with or after `b`.
using PalmCompare =
    std::function<int16_t(const PalmSortItem& a, const PalmSortItem& b, void* user)>;

// A handle to one record. In mode 0 it refers to the database's copy of the
// record at its index, and the index is all it holds: new_record or
// delete_record at or before that index, or a sort, leaves the handle on
// whatever record is at that index then (take handles again after changing
// the table); data() spans are valid until the next change of the record
// table. In mode 1 it holds its own copy of the data, which write() changes
// without touching the file. REQUIRES: released before its database is
// destroyed.
class PalmRecord {
 public:
  int32_t index() const { return index_; }
  uint32_t size() const { return static_cast<uint32_t>(data().size()); }
  // The record's bytes; empty when the record no longer exists.
  std::span<uint8_t> data();
  std::span<const uint8_t> data() const;
  // Copies `length` bytes into the record from `offset`; false (nothing
  // copied) when they do not fit inside the record.
  bool write(uint32_t offset, const void* bytes, uint32_t length);
  PalmSortItem sort_item() const;

 private:
  friend class PalmDatabase;
  PalmRecord(PalmDatabase* database, int32_t index) : database_(database), index_(index) {}

  PalmDatabase* database_;  // set for mode 0 handles
  int32_t index_;
  std::vector<uint8_t> own_data_;  // mode 1 handles
  std::array<uint8_t, 4> own_info_{};
};

class PalmDatabase : public ErrorState {
 public:
  static constexpr int32_t mode_memory = 0;
  static constexpr int32_t mode_on_demand = 1;
  static constexpr int32_t mode_header = 2;
  static constexpr int32_t mode_by_access = 3;
  // The record count is a 16-bit field.
  static constexpr int32_t max_records = 0xFFFF;

  // Creates a database file: opens `path` with the open-mode code plus read
  // and write access (core/file.h), sets type and creator (up to four bytes
  // each), both dates to palm_time_1970; nothing is read, and the file is
  // written on close. Modes 0 and 3 only. nullptr on failure.
  static std::unique_ptr<PalmDatabase> create(const std::string& path, uint8_t open_code,
                                              std::string_view creator, std::string_view type,
                                              int32_t mode);
  static std::unique_ptr<PalmDatabase> create(const String& path, uint8_t open_code,
                                              std::string_view creator, std::string_view type,
                                              int32_t mode);
  // Opens an existing database file with the open-mode code (its creation
  // bits become "open existing") in `mode`. nullptr when the file cannot be
  // opened, is not a sound database, or the mode is refused.
  static std::unique_ptr<PalmDatabase> open(const std::string& path, uint8_t open_code,
                                            int32_t mode);
  static std::unique_ptr<PalmDatabase> open(const String& path, uint8_t open_code, int32_t mode);

  PalmDatabase(const PalmDatabase&) = delete;
  PalmDatabase& operator=(const PalmDatabase&) = delete;
  // Closes (writing back as close() does).
  ~PalmDatabase();

  // Writes the database back when it is in mode 0, writable and not
  // discarded; frees the records and closes the file. False (error 6) when
  // the write-back failed: the file on disk is then unchanged.
  bool close();
  // close() will not write.
  void discard() { discard_ = true; }
  bool discarded() const { return discard_; }
  // The mode after resolving 3: 0, 1 or 2; -1 once closed.
  int32_t mode() const { return mode_; }

  // The name up to its terminator; set_name cuts to 31 bytes.
  std::string name() const;
  void set_name(std::string_view name);
  const PalmHeader& header() const { return header_; }
  PalmInfo get_info() const;
  void set_info(const PalmInfo& change);
  PalmDates get_dates() const;
  void set_dates(const PalmDates& change);

  // n in modes 0 and 1, 0 in mode 2.
  int32_t record_count() const;
  // The record at `i`, or nullptr (out of range, mode 2, a failed read).
  std::unique_ptr<PalmRecord> get_record(int32_t i);
  void release_record(std::unique_ptr<PalmRecord> record) { record.reset(); }
  // Size in bytes, 0 when out of range (modes 0 and 1).
  uint32_t record_size(int32_t i) const;
  // Attributes and unique id; empty when out of range (modes 0 and 1).
  std::optional<PalmRecordInfo> record_info(int32_t i) const;

  // Mode 0 only. new_record inserts a zeroed record of `size` bytes at
  // min(i, n) with attributes 0 and the unique id seed as its id (the seed
  // then grows by one); nullptr for a negative i, a full table or a size the
  // file could not hold. Handles of records at i and after it now stand on
  // the record before theirs (see PalmRecord).
  std::unique_ptr<PalmRecord> new_record(int32_t i, uint32_t size);
  bool set_record_info(int32_t i, uint8_t attributes, uint32_t unique_id);
  // Keeps the first min(old, new) bytes; added bytes are zero.
  bool resize_record(int32_t i, uint32_t size);
  bool delete_record(int32_t i);
  // The index of the record with this unique id, or -1.
  int32_t find_by_unique_id(uint32_t unique_id) const;
  // Sorts ascending (insertion sort is stable); false when not in mode 0.
  bool insertion_sort(const PalmCompare& compare, void* user);
  bool quick_sort(const PalmCompare& compare, void* user);
  // Where `item` is or would be inserted in records sorted by `compare`;
  // not found at 0 when not in mode 0.
  SearchResult find_sort_position(const PalmSortItem& item, const PalmCompare& compare,
                                  void* user) const;

 private:
  friend class PalmRecord;
  struct Entry {
    uint32_t offset = 0;  // in the file (modes 1 and 2)
    std::array<uint8_t, 4> info{};
    uint32_t size = 0;
    std::vector<uint8_t> data;  // mode 0
    PalmSortItem sort_item() const { return {data, info}; }
  };

  PalmDatabase() = default;
  bool load(int32_t requested_mode);
  bool read_record_list(int64_t file_size);
  bool write_back();
  bool write_to(File& file);
  Entry* entry(int32_t i);
  const Entry* entry(int32_t i) const;
  bool in_memory() const { return mode_ == mode_memory; }
  uint64_t file_size_with(int64_t extra_bytes) const;

  std::string path_;
  File file_;
  PalmHeader header_;
  std::vector<Entry> entries_;
  // Bytes between the record list and the first record, kept only when the
  // header's application or sort information lies in them.
  std::vector<uint8_t> info_block_;
  uint32_t info_block_start_ = 0;  // where they were read from
  uint64_t data_bytes_ = 0;        // the records' sizes added up (mode 0)
  int32_t mode_ = -1;
  bool no_write_back_ = false;
  bool discard_ = false;
};

}  // namespace wayfetch

#endif
