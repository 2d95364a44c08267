// The schedule texts of an eNews item: "validity" and "periodicity".
//
// A validity is a duration, "N unit" ("1 hour"): downloaded data stay fresh
// at least that long. A periodicity says when new data appear: a period P,
// offsets within it, and a reference time R ("1 week; 1 day, 3 day" or
// "1 month; 0; 2001/1/31 12:0:0:0"); its scheduled times are R + k*P + each
// offset, for every integer k. Months and years are added by the calendar;
// the other units are fixed numbers of seconds. The text format, the
// calendar rules and the limits are in docs/schedules.md.
//
// A text that cannot be read is "not usable": that is no error, it only
// changes the due rule (config/enews.h). Durations are held in 64 bits of
// 100 ns units; a longer one makes its text unusable.
//
// Times past the last one a Timestamp can hold in calendar form
// (last_time, in the year 30828) are "never": answers that would lie there
// are std::nullopt.
//
// Plain values: copy freely; every operation is thread-safe.
#ifndef WAYFETCH_CONFIG_SCHEDULE_H
#define WAYFETCH_CONFIG_SCHEDULE_H

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/string.h"
#include "web/timestamp.h"

namespace wayfetch {

// The units of a duration, in the order of their length.
enum class TimeUnit : int32_t { second, minute, hour, day, week, month, year };

// "N unit". Its length fits in an int64_t count of 100 ns units.
struct Duration {
  int64_t count = 0;
  TimeUnit unit = TimeUnit::second;

  // 1, 60, 3600, 86400, 604800, 2626560 (30.4 days) or 31579200 (365.5 days)
  // seconds per unit.
  static int64_t unit_seconds(TimeUnit unit);
  int64_t seconds() const { return count * unit_seconds(unit); }
  // The length in Timestamp units (100 ns).
  int64_t units() const;
  // Months and years are added by the calendar.
  bool is_calendar() const { return unit == TimeUnit::month || unit == TimeUnit::year; }
  // The number of calendar months (a year is 12); 0 for the other units.
  int64_t months() const;

  // Reads blanks, decimal digits, blanks, a unit word (any ASCII case, no
  // plural) and blanks. With `bare_zero`, digits alone reading 0 are
  // 0 seconds too. False when the text is anything else or too long.
  static bool parse(std::string_view text, bool bare_zero, Duration& out);
};

// The last time with a calendar form (Timestamp::to_fields): 2^63 - 1 units.
inline constexpr Timestamp last_time{0x7FFF'FFFF'FFFF'FFFF};

class Validity {
 public:
  // Not usable.
  Validity() = default;
  explicit Validity(const String& text);

  bool usable() const { return usable_; }
  const Duration& duration() const { return duration_; }
  // `t` plus the duration; nullopt when that is past last_time (never).
  // REQUIRES: usable().
  std::optional<Timestamp> expiry(Timestamp t) const;

 private:
  Duration duration_;
  bool usable_ = false;
};

class Schedule {
 public:
  // Not usable.
  Schedule() = default;
  explicit Schedule(const String& text);

  bool usable() const { return usable_; }
  const Duration& period() const { return period_; }
  // At least one when usable, ascending by length in seconds.
  const std::vector<Duration>& offsets() const { return offsets_; }
  Timestamp reference() const { return reference_; }

  // The first scheduled time strictly after `t`; nullopt when it lies past
  // last_time (never). REQUIRES: usable().
  std::optional<Timestamp> next_after(Timestamp t) const;

 private:
  bool parse(std::string_view text);

  Duration period_;
  std::vector<Duration> offsets_;
  Timestamp reference_;
  bool usable_ = false;
};

}  // namespace wayfetch

#endif
