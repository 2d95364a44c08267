#include "platform/date_format.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstring>
#include <ctime>

#include "platform/clock.h"

namespace wayfetch::platform {
namespace {

// The user's LC_TIME locale, made once; "C" when the environment names none
// that exists.
locale_t time_locale() {
  static const locale_t locale = [] {
    locale_t made = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (made == static_cast<locale_t>(nullptr)) {
      made = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }
    return made;
  }();
  return locale;
}

// A locale string in UTF-8 (locales with another code set are converted).
std::string locale_text(nl_item item) {
  locale_t locale = time_locale();
  const char* text = nl_langinfo_l(item, locale);
  if (text == nullptr) return {};
  const char* codeset = nl_langinfo_l(CODESET, locale);
  if (codeset == nullptr || std::strcmp(codeset, "UTF-8") == 0 ||
      std::strcmp(codeset, "ANSI_X3.4-1968") == 0) {
    return text;
  }
  iconv_t cd = iconv_open("UTF-8", codeset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out(std::strlen(text) * 4 + 4, '\0');
  char* in = const_cast<char*>(text);
  std::size_t in_left = std::strlen(text);
  char* out_ptr = out.data();
  std::size_t out_left = out.size();
  if (iconv(cd, &in, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) {
    iconv_close(cd);
    return text;
  }
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
}

void append_two_digits(std::string& out, int value) {
  out += static_cast<char>('0' + (value / 10) % 10);
  out += static_cast<char>('0' + value % 10);
}

// Days of the month in the Gregorian calendar (February 29 in leap years).
int days_in_month(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

bool valid(const CalendarDate& date) {
  return date.month >= 1 && date.month <= 12 && date.day >= 1 &&
         date.day <= days_in_month(date.year, date.month) && date.weekday >= 0 &&
         date.weekday <= 6 && date.year >= 0 && date.year <= 99999;
}

}  // namespace

CalendarDate today() {
  return today(current_clock());
}

CalendarDate today(const Clock& clock) {
  // File time to whole seconds since 1970, rounded down also before 1970.
  constexpr int64_t units_per_second = 10'000'000;
  constexpr int64_t unix_epoch_seconds = 11'644'473'600;
  auto seconds = static_cast<int64_t>(clock.file_time() / units_per_second);
  std::time_t now = static_cast<std::time_t>(seconds - unix_epoch_seconds);
  std::tm local{};
  localtime_r(&now, &local);
  return CalendarDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_wday};
}

std::string short_date_picture() {
  std::string format = nl_langinfo_l(D_FMT, time_locale());
  std::string picture;
  std::string literal;
  auto flush_literal = [&] {
    if (literal.empty()) return;
    picture += '\'';
    picture += literal;
    picture += '\'';
    literal.clear();
  };
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      // Separators that carry no picture letter are copied as they are.
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '\'') {
        literal += c == '\'' ? std::string("''") : std::string(1, c);
      } else {
        flush_literal();
        picture += c;
      }
      continue;
    }
    char conversion = format[++i];
    // Modifiers of the POSIX format ("%Ey", "%Od") do not change the picture.
    if ((conversion == 'E' || conversion == 'O') && i + 1 < format.size()) conversion = format[++i];
    flush_literal();
    switch (conversion) {
      case 'd':
        picture += "dd";
        break;
      case 'e':
        picture += "d";
        break;
      case 'm':
        picture += "MM";
        break;
      case 'b':
      case 'h':
        picture += "MMM";
        break;
      case 'B':
        picture += "MMMM";
        break;
      case 'a':
        picture += "ddd";
        break;
      case 'A':
        picture += "dddd";
        break;
      case 'y':
        picture += "yy";
        break;
      case 'Y':
      case 'C':
        picture += "yyyy";
        break;
      case 'D':
        picture += "MM/dd/yy";
        break;
      case 'F':
        picture += "yyyy-MM-dd";
        break;
      case '%':
        picture += '%';
        break;
      default:
        break;
    }
  }
  flush_literal();
  if (picture.empty()) picture = "dd/MM/yyyy";
  return picture;
}

bool format_date(std::string_view picture, const CalendarDate& date, std::string& out) {
  out.clear();
  if (!valid(date)) return false;
  std::string short_picture;
  if (picture.empty()) {
    short_picture = short_date_picture();
    picture = short_picture;
  }
  static constexpr nl_item day_names[] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
  static constexpr nl_item abbreviated_day_names[] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4,
                                                      ABDAY_5, ABDAY_6, ABDAY_7};
  static constexpr nl_item month_names[] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                            MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
  static constexpr nl_item abbreviated_month_names[] = {ABMON_1, ABMON_2,  ABMON_3,  ABMON_4,
                                                        ABMON_5, ABMON_6,  ABMON_7,  ABMON_8,
                                                        ABMON_9, ABMON_10, ABMON_11, ABMON_12};

  std::size_t i = 0;
  while (i < picture.size()) {
    char c = picture[i];
    if (c == '\'') {
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += picture[i++];
      }
      continue;
    }
    if (c != 'd' && c != 'M' && c != 'y') {
      out += c;
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    i += run;
    if (c == 'd') {
      if (run == 1)
        out += std::to_string(date.day);
      else if (run == 2)
        append_two_digits(out, date.day);
      else if (run == 3)
        out += locale_text(abbreviated_day_names[date.weekday]);
      else
        out += locale_text(day_names[date.weekday]);
    } else if (c == 'M') {
      if (run == 1)
        out += std::to_string(date.month);
      else if (run == 2)
        append_two_digits(out, date.month);
      else if (run == 3)
        out += locale_text(abbreviated_month_names[date.month - 1]);
      else
        out += locale_text(month_names[date.month - 1]);
    } else {
      if (run == 1)
        out += std::to_string(date.year % 100);
      else if (run == 2)
        append_two_digits(out, date.year % 100);
      else
        out += std::to_string(date.year);
    }
  }
  return true;
}

}  // namespace wayfetch::platform
