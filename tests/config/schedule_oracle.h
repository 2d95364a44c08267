// A slow, independent reckoning of a schedule's times, to check
// Schedule::next_after against: R + k*P + offset with std::chrono's calendar
// (and the program's February and 30-day rules), the first after t found by
// stepping k. Shared by the tests and the fuzz target.
#ifndef WAYFETCH_TESTS_CONFIG_SCHEDULE_ORACLE_H
#define WAYFETCH_TESTS_CONFIG_SCHEDULE_ORACLE_H

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "config/schedule.h"

namespace wayfetch::testing {

__extension__ typedef __int128 OracleWide;

// R + k*P + offset in units since 1601; nullopt outside std::chrono's years.
inline std::optional<OracleWide> oracle_time(const Schedule& s, int64_t k, const Duration& offset) {
  using namespace std::chrono;
  const OracleWide reference = static_cast<OracleWide>(s.reference().value());
  if (!s.period().is_calendar()) {
    return reference + static_cast<OracleWide>(k) * s.period().units() + offset.units();
  }
  const int64_t day = 86400 * int64_t{10'000'000};
  const sys_days epoch = sys_days{year{1601} / January / 1};
  auto add = [](year_month_day date, int64_t months) -> std::optional<year_month_day> {
    if (months == 0) return date;
    const int64_t index = static_cast<int>(date.year()) * int64_t{12} + months;
    if (index < -30000 * 12 || index > 30000 * 12) return std::nullopt;
    date += std::chrono::months(months);
    const year_month_day_last end{date.year(), month_day_last{date.month()}};
    unsigned d = static_cast<unsigned>(date.day());
    if (date.month() == February && d > 28) d = 28;
    d = std::min(d, static_cast<unsigned>(end.day()));
    return year_month_day{date.year(), date.month(), std::chrono::day{d}};
  };
  std::optional<year_month_day> date = add(
      year_month_day{epoch + days{static_cast<int64_t>(reference / day)}}, k * s.period().months());
  if (date) date = add(*date, offset.months());
  if (!date || !date->ok()) return std::nullopt;
  const int64_t days_since = (sys_days{*date} - epoch).count();
  return static_cast<OracleWide>(days_since) * day + reference % day +
         (offset.is_calendar() ? 0 : offset.units());
}

// "" when next_after(t) is the first scheduled time after t (or never when
// that lies past last_time); otherwise what is wrong. Cases the oracle's
// calendar cannot reach count as right.
inline std::string check_next_after(const Schedule& schedule, Timestamp t) {
  const std::optional<Timestamp> answer = schedule.next_after(t);
  const OracleWide last = static_cast<OracleWide>(last_time.value());
  const OracleWide after = static_cast<OracleWide>(t.value());
  if (after >= last) return answer ? "an answer after the last time" : "";
  OracleWide first = last + 1;
  for (const Duration& offset : schedule.offsets()) {
    // A start near t, then steps: S(k) grows with k.
    const OracleWide from = after - static_cast<OracleWide>(schedule.reference().value());
    int64_t k = 0;
    if (schedule.period().is_calendar()) {
      const OracleWide span = from - (offset.is_calendar() ? 0 : offset.units());
      const OracleWide month = OracleWide{2'629'746} * 10'000'000;  // an average month
      k = static_cast<int64_t>((span / month - offset.months()) / schedule.period().months());
    } else {
      k = static_cast<int64_t>((from - offset.units()) / schedule.period().units());
    }
    std::optional<OracleWide> time = oracle_time(schedule, k, offset);
    for (int steps = 0; time && *time > after && steps < 64; ++steps) {
      time = oracle_time(schedule, --k, offset);
    }
    for (int steps = 0; time && *time <= after && steps < 64; ++steps) {
      time = oracle_time(schedule, ++k, offset);
    }
    if (!time) return "";  // beyond std::chrono's years
    if (*time <= after) return "the oracle did not reach t";
    const std::optional<OracleWide> before = oracle_time(schedule, k - 1, offset);
    if (before && *before > after) return "the oracle did not reach t";
    first = std::min(first, *time);
  }
  if (first > last) return answer ? "an answer where there is none" : "";
  if (!answer) return "never, but " + std::to_string(static_cast<int64_t>(first)) + " is scheduled";
  const OracleWide found = static_cast<OracleWide>(answer->value());
  if (found <= after) return "an answer not after t";
  if (found > first) return "a scheduled time lies between t and the answer";
  if (found < first) return "the answer is no scheduled time";
  return "";
}

}  // namespace wayfetch::testing

#endif
