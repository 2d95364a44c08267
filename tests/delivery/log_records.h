// Test helpers for the handheld log: record bytes, databases made with
// PalmDatabase, and the bytes a log file must hold, assembled by hand from
// the file layout (docs/palm_database_format.md) so that a comparison does
// not take the database code's word for it.
#ifndef WAYFETCH_TESTS_DELIVERY_LOG_RECORDS_H
#define WAYFETCH_TESTS_DELIVERY_LOG_RECORDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/palm_database.h"

namespace wayfetch::testing {

struct LogRecord {
  uint32_t id;
  std::string data;
};

inline std::string be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

inline std::string target(uint8_t format, const std::string& address) {
  std::string r{'\0', '\0', static_cast<char>(format), '\0'};
  r += static_cast<char>(address.size() >> 8);
  r += static_cast<char>(address.size() & 0xFF);
  return r + address;
}

inline std::string count(const std::string& name, uint32_t target_id, uint32_t value) {
  std::string r(1, '\1');
  r += name;
  r.resize(33, '\0');
  return r + be32(target_id) + be32(value);
}

// A log database at `path` holding `records` with their ids.
inline void make_log(const std::string& path, const std::string& name,
                     const std::vector<LogRecord>& records) {
  auto db = PalmDatabase::create(path, 0x14, "LORV", "LogF", PalmDatabase::mode_memory);
  db->set_name(name);
  for (std::size_t i = 0; i < records.size(); ++i) {
    auto record = db->new_record(static_cast<int32_t>(i), records[i].data.size());
    record->write(0, records[i].data.data(), records[i].data.size());
    db->set_record_info(static_cast<int32_t>(i), 0, records[i].id);
  }
  db->close();
}

// The bytes of a log file as this program writes it (dates of 1970).
inline std::string log_bytes(const std::string& name, uint32_t seed,
                             const std::vector<LogRecord>& records) {
  std::string out = name;
  out.resize(32, '\0');
  out += std::string(4, '\0') + be32(palm_time_1970) + be32(palm_time_1970);
  out += std::string(16, '\0') + "LogFLORV" + be32(seed) + be32(0);
  out += static_cast<char>(records.size() >> 8);
  out += static_cast<char>(records.size() & 0xFF);
  uint32_t offset = 78 + 8 * static_cast<uint32_t>(records.size());
  std::string data;
  for (const LogRecord& record : records) {
    out += be32(offset) + be32(record.id & 0xFFFFFF);
    offset += static_cast<uint32_t>(record.data.size());
    data += record.data;
  }
  return records.empty() ? out + std::string(2, '\0') : out + data;
}

}  // namespace wayfetch::testing

#endif
