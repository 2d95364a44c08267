#include "web/timestamp.h"

#include <chrono>
#include <cstdio>
#include <limits>
#include <string>

#include "core/ascii.h"
#include "core/byte_order.h"

namespace wayfetch {
namespace {

using std::chrono::sys_days;
using std::chrono::year_month_day;

constexpr uint64_t units_per_day = 86'400 * Timestamp::units_per_second;
constexpr uint64_t top_bit = uint64_t{1} << 63;

sys_days day_zero() {
  return sys_days{std::chrono::year{1601} / std::chrono::January / std::chrono::day{1}};
}

bool in_range(int32_t value, int32_t low, int32_t high) {
  return value >= low && value <= high;
}

// a - b in whole seconds, rounded toward zero. Worked on the
// unsigned distance so that values 2^63 or more apart cannot overflow.
int64_t signed_seconds(uint64_t a, uint64_t b) {
  return a >= b ? static_cast<int64_t>((a - b) / Timestamp::units_per_second)
                : -static_cast<int64_t>((b - a) / Timestamp::units_per_second);
}

}  // namespace

Timestamp Timestamp::now() {
  return now(platform::current_clock());
}

Timestamp Timestamp::now(const platform::Clock& clock) {
  uint64_t time = clock.file_time();
  return Timestamp(time - time % units_per_millisecond);
}

bool Timestamp::from_fields(const TimeFields& fields, Timestamp& out) {
  if (!in_range(fields.year, 1601, 30827) || !in_range(fields.month, 1, 12) ||
      !in_range(fields.day, 1, 31) || !in_range(fields.hour, 0, 23) ||
      !in_range(fields.minute, 0, 59) || !in_range(fields.second, 0, 59) ||
      !in_range(fields.milliseconds, 0, 999)) {
    return false;
  }
  year_month_day date{std::chrono::year{fields.year},
                      std::chrono::month{static_cast<unsigned>(fields.month)},
                      std::chrono::day{static_cast<unsigned>(fields.day)}};
  // Rejects February 30, April 31 and February 29 outside leap years.
  if (!date.ok()) return false;
  auto days = static_cast<uint64_t>((sys_days{date} - day_zero()).count());
  uint64_t milliseconds =
      ((static_cast<uint64_t>(fields.hour) * 60 + static_cast<uint64_t>(fields.minute)) * 60 +
       static_cast<uint64_t>(fields.second)) *
          1000 +
      static_cast<uint64_t>(fields.milliseconds);
  out = Timestamp(days * units_per_day + milliseconds * units_per_millisecond);
  return true;
}

bool Timestamp::to_fields(TimeFields& out) const {
  if ((value_ & top_bit) != 0) return false;
  sys_days day = day_zero() + std::chrono::days{static_cast<int64_t>(value_ / units_per_day)};
  year_month_day date{day};
  uint64_t milliseconds = (value_ % units_per_day) / units_per_millisecond;
  out.year = static_cast<int32_t>(date.year());
  out.month = static_cast<int32_t>(static_cast<unsigned>(date.month()));
  out.day = static_cast<int32_t>(static_cast<unsigned>(date.day()));
  out.day_of_week = static_cast<int32_t>(std::chrono::weekday{day}.c_encoding());
  out.hour = static_cast<int32_t>(milliseconds / 3'600'000);
  out.minute = static_cast<int32_t>(milliseconds / 60'000 % 60);
  out.second = static_cast<int32_t>(milliseconds / 1000 % 60);
  out.milliseconds = static_cast<int32_t>(milliseconds % 1000);
  return true;
}

Timestamp Timestamp::parse(const String& text, bool* ok) {
  if (ok != nullptr) *ok = false;
  // The characters as ASCII; anything else only ever counts as a separator.
  std::string chars;
  CharReader reader = CharReader::window_of(text);
  while (!reader.at_end()) {
    uint16_t c = reader.next();
    chars += c < 0x80 ? static_cast<char>(c) : '\x7F';
  }
  std::size_t pos = 0;
  std::size_t end = chars.size();
  while (pos < end && ascii::is_blank(chars[pos])) ++pos;
  while (end > pos && ascii::is_blank(chars[end - 1])) --end;

  int32_t numbers[7] = {0, 0, 0, 0, 0, 0, 0};
  for (int32_t& number : numbers) {
    if (pos >= end) break;  // missing trailing numbers count as 0
    if (chars[pos] < '0' || chars[pos] > '9') return Timestamp();
    int64_t value = 0;
    while (pos < end && chars[pos] >= '0' && chars[pos] <= '9') {
      value = value * 10 + (chars[pos] - '0');
      // No field is valid this long; stop before the number overflows.
      if (value > 99'999) return Timestamp();
      ++pos;
    }
    number = static_cast<int32_t>(value);
    if (pos < end) ++pos;  // the one separator, whatever it is
    while (pos < end && ascii::is_blank(chars[pos])) ++pos;
  }
  TimeFields fields{numbers[0], numbers[1], numbers[2], 0,
                    numbers[3], numbers[4], numbers[5], numbers[6]};
  Timestamp out;
  if (!from_fields(fields, out)) return Timestamp();
  if (ok != nullptr) *ok = true;
  return out;
}

String Timestamp::format() const {
  TimeFields fields;
  if (!to_fields(fields)) return String();
  char text[64];
  int length =
      std::snprintf(text, sizeof text, "%d/%d/%d %d:%d:%d:%d", fields.year, fields.month,
                    fields.day, fields.hour, fields.minute, fields.second, fields.milliseconds);
  return String(std::string_view(text, static_cast<std::size_t>(length)));
}

Timestamp Timestamp::from_unix(int64_t seconds, int64_t milliseconds) {
  // Unsigned arithmetic: out-of-range inputs wrap instead of overflowing.
  uint64_t value = static_cast<uint64_t>(seconds) + static_cast<uint64_t>(unix_epoch_seconds);
  value = value * 1000 + static_cast<uint64_t>(milliseconds);
  return Timestamp(value * units_per_millisecond);
}

int64_t Timestamp::to_unix(bool* exact) const {
  int64_t seconds = signed_seconds(value_, unix_epoch);
  if (exact != nullptr) {
    *exact = seconds >= std::numeric_limits<int32_t>::min() &&
             seconds <= std::numeric_limits<int32_t>::max();
  }
  return seconds;
}

int64_t Timestamp::seconds_between(Timestamp a, Timestamp b) {
  return signed_seconds(a.value_, b.value_);
}

int Timestamp::compare(Timestamp a, Timestamp b) {
  if (a.value_ < b.value_) return -1;
  return a.value_ > b.value_ ? 1 : 0;
}

int32_t Timestamp::write(std::span<uint8_t> buffer, int32_t& offset) const {
  if (!buffer.empty()) {
    if (offset < 0 || static_cast<std::size_t>(offset) > buffer.size() ||
        buffer.size() - static_cast<std::size_t>(offset) < serialized_size) {
      return 0;
    }
    byte_order::put_le32(buffer.data() + offset, low());
    byte_order::put_le32(buffer.data() + offset + 4, high());
  }
  offset += serialized_size;
  return serialized_size;
}

bool Timestamp::read(const uint8_t*& cursor, int32_t& remaining) {
  if (cursor == nullptr || remaining < serialized_size) {
    if (cursor != nullptr && remaining > 0) cursor += remaining;
    remaining = 0;
    value_ = 0;
    return false;
  }
  *this = from_words(byte_order::get_le32(cursor), byte_order::get_le32(cursor + 4));
  cursor += serialized_size;
  remaining -= serialized_size;
  return true;
}

}  // namespace wayfetch
