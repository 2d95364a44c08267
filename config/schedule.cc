#include "config/schedule.h"

#include <algorithm>
#include <array>
#include <string>

#include "config/config_text.h"
#include "core/ascii.h"

namespace wayfetch {
namespace {

// Sums and products of times and durations can pass 2^63 before they are
// compared with last_time, and differences of far-apart times can pass
// -2^63; 128 bits hold every intermediate value exactly.
__extension__ typedef __int128 Wide;

constexpr int64_t units_per_second = static_cast<int64_t>(Timestamp::units_per_second);
constexpr Wide units_per_day = Wide{86'400} * units_per_second;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t days_1601_to_1970 = 134'774;

constexpr std::array<const char*, 7> unit_names = {"second", "minute", "hour", "day",
                                                   "week",   "month",  "year"};

Wide floor_div(Wide a, Wide b) {
  Wide q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The window as ASCII; anything beyond ASCII becomes 0x7F, which no rule
// accepts.
std::string ascii_of(const String& text) {
  std::string out;
  for (char16_t unit : config_text::utf16_of(text)) {
    out.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x7F');
  }
  return out;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && ascii::is_blank(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && ascii::is_blank(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

// ---- the proleptic Gregorian calendar on day numbers (days since 1970) ----
// Years are unbounded here: a schedule near the ends of the Timestamp range
// passes through dates std::chrono::year cannot hold.

struct Date {
  int64_t year;
  int64_t month;  // 1-12
  int64_t day;
};

int64_t days_from_date(const Date& date) {
  const int64_t y = date.year - (date.month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t year_of_era = y - era * 400;
  const int64_t day_of_year =
      (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146'097 + day_of_era - 719'468;
}

Date date_from_days(int64_t days) {
  days += 719'468;
  const int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
  const int64_t day_of_era = days - era * 146'097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t mp = (5 * day_of_year + 2) / 153;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return Date{year_of_era + era * 400 + (month <= 2 ? 1 : 0), month,
              day_of_year - (153 * mp + 2) / 5 + 1};
}

int64_t month_index(const Date& date) {
  return date.year * 12 + date.month - 1;
}

// Moves the month on by `months`, whole years carrying into the year. A day
// after the 28th in February becomes the 28th, leap years included (so
// adding years to February 29 gives the 28th); the 31st of a 30-day month
// becomes the 30th.
Date add_months(const Date& date, int64_t months) {
  // No move, no clamp: R itself is a scheduled time, also on February 29.
  if (months == 0) return date;
  const int64_t index = month_index(date) + months;
  const int64_t year = index >= 0 ? index / 12 : (index - 11) / 12;
  Date out{year, index - year * 12 + 1, date.day};
  if (out.month == 2 && out.day > 28) out.day = 28;
  const bool thirty_days = out.month == 4 || out.month == 6 || out.month == 9 || out.month == 11;
  if (thirty_days && out.day == 31) out.day = 30;
  return out;
}

// A time (units since 1601, possibly outside the Timestamp range) as a date
// and the units into its day.
struct CalendarTime {
  Date date;
  Wide time_of_day;
};

CalendarTime split(Wide time) {
  const Wide days = floor_div(time, units_per_day);
  return CalendarTime{date_from_days(static_cast<int64_t>(days) - days_1601_to_1970),
                      time - days * units_per_day};
}

Wide join(const Date& date, Wide time_of_day) {
  return (static_cast<Wide>(days_from_date(date)) + days_1601_to_1970) * units_per_day +
         time_of_day;
}

}  // namespace

// ---- Duration ----

int64_t Duration::unit_seconds(TimeUnit unit) {
  static constexpr std::array<int64_t, 7> seconds = {1,       60,        3600,      86'400,
                                                     604'800, 2'626'560, 31'579'200};
  return seconds[static_cast<std::size_t>(unit)];
}

int64_t Duration::units() const {
  return seconds() * units_per_second;
}

int64_t Duration::months() const {
  if (unit == TimeUnit::month) return count;
  return unit == TimeUnit::year ? count * 12 : 0;
}

bool Duration::parse(std::string_view text, bool bare_zero, Duration& out) {
  text = trimmed(text);
  std::size_t pos = 0;
  int64_t count = 0;
  while (pos < text.size() && ascii::is_digit(static_cast<unsigned char>(text[pos]))) {
    // Any number of digits, as long as the value fits: it never wraps into a
    // short duration.
    if (__builtin_mul_overflow(count, 10, &count) ||
        __builtin_add_overflow(count, text[pos] - '0', &count)) {
      return false;
    }
    ++pos;
  }
  if (pos == 0) return false;
  std::string_view word = trimmed(text.substr(pos));
  if (word.empty()) {
    if (!bare_zero || count != 0) return false;
    out = Duration{};
    return true;
  }
  for (std::size_t u = 0; u < unit_names.size(); ++u) {
    if (!ascii::equals_ignoring_case(word, unit_names[u])) continue;
    const TimeUnit unit = static_cast<TimeUnit>(u);
    int64_t units = 0;
    if (__builtin_mul_overflow(count, unit_seconds(unit) * units_per_second, &units)) return false;
    out = Duration{count, unit};
    return true;
  }
  return false;
}

// ---- Validity ----

Validity::Validity(const String& text) {
  usable_ = Duration::parse(ascii_of(text), false, duration_);
}

std::optional<Timestamp> Validity::expiry(Timestamp t) const {
  const Wide end = static_cast<Wide>(t.value()) + duration_.units();
  if (end > static_cast<Wide>(last_time.value())) return std::nullopt;
  return Timestamp(static_cast<uint64_t>(end));
}

// ---- Schedule ----

Schedule::Schedule(const String& text) {
  usable_ = parse(ascii_of(text));
  if (!usable_) {
    period_ = Duration{};
    offsets_.clear();
    reference_ = Timestamp();
  }
}

bool Schedule::parse(std::string_view text) {
  // P ";" offsets ";" T: the reference time is the rest of the text, so a
  // ";" among its separators is still its own.
  const std::size_t first = text.find(';');
  std::string_view period_text = text.substr(0, first);
  std::string_view offsets_text;
  std::string_view reference_text;
  if (first != std::string_view::npos) {
    std::string_view rest = text.substr(first + 1);
    const std::size_t second = rest.find(';');
    offsets_text = rest.substr(0, second);
    if (second != std::string_view::npos) reference_text = rest.substr(second + 1);
  }
  if (!Duration::parse(period_text, false, period_) || period_.count <= 0) return false;

  const bool offsets_given = !trimmed(offsets_text).empty();
  if (offsets_given) {
    while (true) {
      const std::size_t comma = offsets_text.find(',');
      Duration offset;
      if (!Duration::parse(offsets_text.substr(0, comma), true, offset)) return false;
      offsets_.push_back(offset);
      if (comma == std::string_view::npos) break;
      offsets_text.remove_prefix(comma + 1);
    }
    std::stable_sort(offsets_.begin(), offsets_.end(),
                     [](const Duration& a, const Duration& b) { return a.units() < b.units(); });
  } else {
    offsets_.push_back(Duration{});
  }

  if (!trimmed(reference_text).empty()) {
    bool ok = false;
    reference_ = Timestamp::parse(String(reference_text), &ok);
    return ok;
  }
  // Weekly offsets count from Sunday midnight: 1970-01-04 was a Sunday.
  const uint64_t sunday = 3 * static_cast<uint64_t>(units_per_day);
  reference_ = Timestamp(Timestamp::unix_epoch +
                         (offsets_given && period_.unit == TimeUnit::week ? sunday : 0));
  return true;
}

std::optional<Timestamp> Schedule::next_after(Timestamp t) const {
  const Wide last = static_cast<Wide>(last_time.value());
  const Wide after = static_cast<Wide>(t.value());
  if (!usable_ || after >= last) return std::nullopt;
  const Wide reference = static_cast<Wide>(reference_.value());
  const Wide period = period_.units();
  const CalendarTime start = split(reference);

  // For each offset the first of its times after t; the earliest of those
  // is the answer. An offset may be longer than the period, so the one of
  // the period t lies in is not always the next.
  Wide best = last + 1;
  for (const Duration& offset : offsets_) {
    Wide next = 0;
    if (!period_.is_calendar()) {
      // R + o + k*P > t for the smallest k: floor division also when R lies
      // after t.
      const Wide k = floor_div(after - reference - offset.units(), period) + 1;
      next = reference + offset.units() + k * period;
    } else {
      // B(k) = R + k*P months, counted from R each time (a day clamped in a
      // short month comes back in the next); a month or year offset moves
      // B(k) on by the calendar, a shorter one by its seconds. The month of
      // B(k) + a calendar offset is exactly R's month + k*P + o, so the
      // smallest k whose time passes t follows from t's month alone.
      const int64_t offset_months = offset.months();
      const Wide offset_units = offset.is_calendar() ? 0 : offset.units();
      const Wide target = after - offset_units;
      const int64_t period_months = period_.months();
      const int64_t gap = month_index(split(target).date) - month_index(start.date) - offset_months;
      int64_t k = static_cast<int64_t>(-floor_div(-static_cast<Wide>(gap), period_months));
      auto time_at = [&](int64_t n) {
        return join(add_months(add_months(start.date, n * period_months), offset_months),
                    start.time_of_day);
      };
      Wide base = time_at(k);
      if (base <= target) base = time_at(++k);
      next = base + offset_units;
    }
    best = std::min(best, next);
  }
  if (best > last) return std::nullopt;
  return Timestamp(static_cast<uint64_t>(best));
}

}  // namespace wayfetch
