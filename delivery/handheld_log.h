// The handheld log's records: how the bytes of one record of "lorvbook.mbl"
// (a Palm database of creator "LORV", type "LogF") are read, ordered and
// recognised, and how a report target's counts become the text it is sent.
// The byte layouts, the order and the key are in docs/handheld_log_format.md.
//
// Records come from the handheld and are untrusted: read_record() checks a
// record against its layout and reads nothing outside it; a record that does
// not fit (too short, a name without its zero, an unknown type byte) is
// `damaged`. The views it returns point into the caller's bytes and live as
// long as they do. Everything here is a pure function of its arguments and
// may be called from any thread.
#ifndef WAYFETCH_DELIVERY_HANDHELD_LOG_H
#define WAYFETCH_DELIVERY_HANDHELD_LOG_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace wayfetch::handheld_log {

inline constexpr std::string_view creator = "LORV";
inline constexpr std::string_view type = "LogF";
// The code page of names and addresses.
inline constexpr int32_t code_page = 20105;

// Byte 0 of every record.
inline constexpr uint8_t type_target = 0;
inline constexpr uint8_t type_count = 1;

// Report target: format at 2, address length L at 4-5, address from 6.
inline constexpr uint32_t target_format_offset = 2;
inline constexpr uint32_t target_length_offset = 4;
inline constexpr uint32_t target_address_offset = 6;
// Count: name field at 1-32, target id at 33-36, count at 37-40.
inline constexpr uint32_t count_name_offset = 1;
inline constexpr uint32_t count_name_field = 32;
inline constexpr uint32_t count_target_offset = 33;
inline constexpr uint32_t count_value_offset = 37;
inline constexpr uint32_t count_record_size = 41;

// Report formats: 0 sends log lines, any other value form fields.
inline constexpr uint8_t format_log_lines = 0;

enum class RecordKind { target, count, damaged };

struct RecordView {
  RecordKind kind = RecordKind::damaged;
  // target: its format and address (L bytes).
  uint8_t format = 0;
  std::span<const uint8_t> address;
  // count: its name without the zero, the report target's unique id, the count.
  std::span<const uint8_t> name;
  uint32_t target_id = 0;
  uint32_t count = 0;
};

// What the record holds, checked against its layout.
RecordView read_record(std::span<const uint8_t> data);

// The log's order: report targets (by format, then address bytes), then
// counts (by target id, then name bytes), then damaged records (by their
// bytes). Negative, 0 or positive; 0 means the same key, so the log holds
// the record already.
int compare_records(std::span<const uint8_t> a, std::span<const uint8_t> b);

// The key compare_records() sees as equal, as one byte string (for hashing):
// one record is present in the log when another there has the same key.
// Empty for a damaged record.
std::string record_key(const RecordView& record);
// The key of a count with `name` for the target `target_id`.
std::string count_key(std::span<const uint8_t> name, uint32_t target_id);

// a + b, held at 0xFFFFFFFF instead of wrapping.
uint32_t add_counts(uint32_t a, uint32_t b);

// Whether an address starts with "http:" or "https:" (any case): the only
// targets a report is sent to.
bool is_web_address(std::span<const uint8_t> address);

// Appends one count to a target's report. Format 0: the line
// <LOG AS="name" COUNT=n> and CR LF, with '"', '>', '%' and control bytes of
// the name written as %XX; other formats: name=n&, with '&', '=', '%', '+'
// and control bytes written as %XX. So a name can add neither a field nor an
// element.
void append_report_entry(std::string& report, uint8_t format, std::span<const uint8_t> name,
                         uint32_t count);

}  // namespace wayfetch::handheld_log

#endif
