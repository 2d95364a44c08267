#include "delivery/handheld_log.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"

namespace wayfetch::handheld_log {
namespace {

// Lexicographic byte order; a prefix sorts first.
int compare_bytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  std::size_t common = std::min(a.size(), b.size());
  if (common > 0) {
    int result = std::memcmp(a.data(), b.data(), common);
    if (result != 0) return result < 0 ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int compare_numbers(uint32_t a, uint32_t b) {
  if (a == b) return 0;
  return a < b ? -1 : 1;
}

int rank(RecordKind kind) {
  switch (kind) {
    case RecordKind::target:
      return 0;
    case RecordKind::count:
      return 1;
    case RecordKind::damaged:
      break;
  }
  return 2;
}

void append_escaped(std::string& out, uint8_t byte) {
  static constexpr char digits[] = "0123456789ABCDEF";
  out.push_back('%');
  out.push_back(digits[byte >> 4]);
  out.push_back(digits[byte & 0x0F]);
}

bool is_control(uint8_t byte) {
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

RecordView read_record(std::span<const uint8_t> data) {
  RecordView view;
  if (data.empty()) return view;
  if (data[0] == type_target) {
    if (data.size() < target_address_offset) return view;
    uint32_t length = byte_order::get_be16(&data[target_length_offset]);
    if (data.size() - target_address_offset < length) return view;
    view.kind = RecordKind::target;
    view.format = data[target_format_offset];
    view.address = data.subspan(target_address_offset, length);
  } else if (data[0] == type_count) {
    if (data.size() < count_record_size) return view;
    std::span<const uint8_t> field = data.subspan(count_name_offset, count_name_field);
    auto zero = std::find(field.begin(), field.end(), uint8_t{0});
    if (zero == field.end()) return view;
    view.kind = RecordKind::count;
    view.name = field.first(static_cast<std::size_t>(zero - field.begin()));
    view.target_id = byte_order::get_be32(&data[count_target_offset]);
    view.count = byte_order::get_be32(&data[count_value_offset]);
  }
  return view;
}

int compare_records(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  RecordView left = read_record(a);
  RecordView right = read_record(b);
  if (int by_rank = compare_numbers(rank(left.kind), rank(right.kind)); by_rank != 0) {
    return by_rank;
  }
  switch (left.kind) {
    case RecordKind::target:
      if (left.format != right.format) return left.format < right.format ? -1 : 1;
      return compare_bytes(left.address, right.address);
    case RecordKind::count:
      if (int by_target = compare_numbers(left.target_id, right.target_id); by_target != 0) {
        return by_target;
      }
      return compare_bytes(left.name, right.name);
    case RecordKind::damaged:
      break;
  }
  return compare_bytes(a, b);
}

std::string record_key(const RecordView& record) {
  std::string key;
  switch (record.kind) {
    case RecordKind::target:
      key.push_back('T');
      key.push_back(static_cast<char>(record.format));
      key.append(record.address.begin(), record.address.end());
      break;
    case RecordKind::count:
      key = count_key(record.name, record.target_id);
      break;
    case RecordKind::damaged:
      break;
  }
  return key;
}

std::string count_key(std::span<const uint8_t> name, uint32_t target_id) {
  std::string key(5, 'C');
  byte_order::put_be32(reinterpret_cast<uint8_t*>(&key[1]), target_id);
  key.append(name.begin(), name.end());
  return key;
}

uint32_t add_counts(uint32_t a, uint32_t b) {
  uint64_t sum = uint64_t{a} + b;
  return sum > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(sum);
}

bool is_web_address(std::span<const uint8_t> address) {
  auto starts_with = [&](std::string_view scheme) {
    if (address.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
      uint8_t c = address[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
      if (c != static_cast<uint8_t>(scheme[i])) return false;
    }
    return true;
  };
  return starts_with("http:") || starts_with("https:");
}

void append_report_entry(std::string& report, uint8_t format, std::span<const uint8_t> name,
                         uint32_t count) {
  // Only the bytes that could end the name's field (or element) are
  // escaped, so a plain name reaches the server exactly as the handheld
  // wrote it; '%' is escaped too so that the server can undo the escapes.
  bool lines = format == format_log_lines;
  auto needs_escape = [lines](uint8_t c) {
    if (is_control(c) || c == '%') return true;
    return lines ? (c == '"' || c == '>') : (c == '&' || c == '=' || c == '+');
  };
  if (lines) report += "<LOG AS=\"";
  for (uint8_t c : name) {
    if (needs_escape(c)) {
      append_escaped(report, c);
    } else {
      report.push_back(static_cast<char>(c));
    }
  }
  report += lines ? "\" COUNT=" : "=";
  report += std::to_string(count);
  report += lines ? ">\r\n" : "&";
}

}  // namespace wayfetch::handheld_log
