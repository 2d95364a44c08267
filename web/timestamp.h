// Timestamp: the program's one time value, a count of 100-nanosecond units
// since 1601-01-01 00:00:00 UTC, held as an unsigned 64-bit number (a low and
// a high 32-bit word). Schedules, validity periods, last-update times, the
// records exchanged with the handheld side and the user interface use it.
//
// Text form: "year/month/day hour:minute:second:milliseconds", decimal
// without leading zeros ("2001/3/8 18:28:44:0"). Serialised form: 8 bytes,
// low word first, each little-endian (docs/timestamp_format.md).
//
// Calendar conversions accept what the Windows file-time conversions accept:
// years 1601-30827, months 1-12, the days the month has (February 29 only in
// leap years), hours 0-23, minutes and seconds 0-59, milliseconds 0-999; a
// value with its top bit set has no calendar form. A Timestamp is a plain
// value; all operations are thread-safe.
#ifndef WAYFETCH_WEB_TIMESTAMP_H
#define WAYFETCH_WEB_TIMESTAMP_H

#include <compare>
#include <cstdint>
#include <span>

#include "core/string.h"
#include "platform/clock.h"

namespace wayfetch {

// The calendar form of a Timestamp. The defaults are what from_fields uses
// for fields the caller leaves out: 1970-01-01 00:00:00.000.
struct TimeFields {
  int32_t year = 1970;
  int32_t month = 1;
  int32_t day = 1;
  int32_t day_of_week = 4;  // 0 = Sunday; set by to_fields, ignored by from_fields
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  int32_t milliseconds = 0;
};

class Timestamp {
 public:
  static constexpr uint64_t units_per_second = 10'000'000;
  static constexpr uint64_t units_per_millisecond = 10'000;
  // 1970-01-01 00:00:00 UTC.
  static constexpr uint64_t unix_epoch = 116'444'736'000'000'000;
  static constexpr int64_t unix_epoch_seconds = 11'644'473'600;
  static constexpr int32_t serialized_size = 8;

  // 1601-01-01 00:00:00 UTC.
  constexpr Timestamp() = default;
  constexpr explicit Timestamp(uint64_t value) : value_(value) {}
  static constexpr Timestamp from_words(uint32_t low, uint32_t high) {
    return Timestamp((static_cast<uint64_t>(high) << 32) | low);
  }

  constexpr uint64_t value() const { return value_; }
  constexpr uint32_t low() const { return static_cast<uint32_t>(value_); }
  constexpr uint32_t high() const { return static_cast<uint32_t>(value_ >> 32); }

  // The current UTC time, to the millisecond, on `clock` (the clock in use
  // when not given; platform/clock.h).
  static Timestamp now();
  static Timestamp now(const platform::Clock& clock);

  // Reads the text form: after trimming blanks, seven decimal numbers (year,
  // month, day, hour, minute, second, milliseconds), each followed by exactly
  // one separator character of any kind and then any blanks. Numbers missing
  // at the end count as 0 ("2001/3/8" is midnight). Returns the 1601 value 0
  // and sets `*ok` false when a number is malformed or the date invalid.
  static Timestamp parse(const String& text, bool* ok = nullptr);

  // The text form; empty when the value has no calendar form.
  String format() const;

  // The Timestamp of a calendar time; false (and `out` unchanged) when a
  // field is out of range.
  static bool from_fields(const TimeFields& fields, Timestamp& out);
  // The calendar time and day of the week; false (and `out` unchanged) when
  // the value has its top bit set.
  bool to_fields(TimeFields& out) const;

  // ((seconds + 11644473600) * 1000 + milliseconds) * 10000, in unsigned
  // 64-bit arithmetic: times before 1601 or after the year 60000 wrap.
  static Timestamp from_unix(int64_t seconds, int64_t milliseconds = 0);
  // Whole seconds since 1970-01-01, rounded toward zero (negative before
  // 1970). `*exact` tells whether they fit in a signed 32-bit number.
  int64_t to_unix(bool* exact = nullptr) const;

  // (a - b) in whole seconds, rounded toward zero.
  static int64_t seconds_between(Timestamp a, Timestamp b);
  // -1, 0 or 1 as a is before, equal to or after b.
  static int compare(Timestamp a, Timestamp b);
  constexpr auto operator<=>(const Timestamp&) const = default;

  // Writes the 8 bytes at buffer[offset] and adds 8 to `offset`. An empty
  // buffer only advances the offset, so that a record's size can be computed
  // first. Returns 8, or 0 (writing nothing, offset unchanged) when the bytes
  // do not fit the buffer.
  int32_t write(std::span<uint8_t> buffer, int32_t& offset) const;
  // Takes 8 bytes at `cursor`, advancing it and lowering `remaining` by 8.
  // With fewer than 8 bytes left the value becomes 0, the rest of the input
  // is consumed (so that callers' loops end) and the result is false.
  bool read(const uint8_t*& cursor, int32_t& remaining);

 private:
  uint64_t value_ = 0;
};

}  // namespace wayfetch

#endif
