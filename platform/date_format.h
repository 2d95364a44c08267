// Dates formatted with Windows date pictures in the user's locale.
//
// Picture letters: d (day), dd (day, two digits), ddd (abbreviated day name),
// dddd (day name), M, MM, MMM (abbreviated month name), MMMM (month name),
// y (year in the century, no leading zero), yy (two digits), yyyy (full year);
// text in single quotes is copied ('' is one quote); any other character is
// copied. Names come from the user's LC_TIME locale. Output is UTF-8.
// Thread-safe.
#ifndef WAYFETCH_PLATFORM_DATE_FORMAT_H
#define WAYFETCH_PLATFORM_DATE_FORMAT_H

#include <string>
#include <string_view>

namespace wayfetch::platform {

struct CalendarDate {
  int year = 1970;   // e.g. 2026
  int month = 1;     // 1-12
  int day = 1;       // 1 to the length of the month (February 29 in leap years)
  int weekday = 4;   // 0 = Sunday
};

class Clock;

// Today's date in local time on `clock`'s wall time (the clock in use when
// not given; platform/clock.h).
CalendarDate today();
CalendarDate today(const Clock& clock);

// The user's short date as a picture, translated from the locale's D_FMT
// ("%m/%d/%y" gives "MM/dd/yy"; "%d.%m.%Y" gives "dd.MM.yyyy").
std::string short_date_picture();

// Formats `date` with `picture`; an empty picture means the short date.
// Returns false (and leaves `out` empty) when the date is invalid.
bool format_date(std::string_view picture, const CalendarDate& date, std::string& out);

}  // namespace wayfetch::platform

#endif
