#include "config/schedule.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/config/schedule_oracle.h"

namespace wayfetch {
namespace {

Timestamp at(const char* text) {
  bool ok = false;
  Timestamp time = Timestamp::parse(String(text), &ok);
  EXPECT_TRUE(ok) << text;
  return time;
}

std::string next_text(const char* schedule, Timestamp t) {
  Schedule parsed{String(schedule)};
  if (!parsed.usable()) return "unusable";
  std::optional<Timestamp> next = parsed.next_after(t);
  return next ? next->format().to_utf8() : "never";
}

TEST(ScheduleTest, ReadsTextsAndTheirDefaults) {
  struct Case {
    const char* text;
    bool usable;
    int64_t period_seconds;
    const char* offsets;  // seconds, comma-separated
    const char* reference;
  };
  const Case cases[] = {
      {"1 day", true, 86400, "0", "1970/1/1 0:0:0:0"},
      {" 3 WEEK ; 3 day , 0,1 Day ", true, 1814400, "0,86400,259200", "1970/1/4 0:0:0:0"},
      {"1 week", true, 604800, "0", "1970/1/1 0:0:0:0"},
      {"1 week; 1 day", true, 604800, "86400", "1970/1/4 0:0:0:0"},
      {"1 month; 0; 2001/1/31 12:0:0:0", true, 2626560, "0", "2001/1/31 12:0:0:0"},
      {"1 day;; 2001/1/2", true, 86400, "0", "2001/1/2 0:0:0:0"},
      {"1year", true, 31579200, "0", "1970/1/1 0:0:0:0"},
      {"29000 year", true, 29000 * int64_t{31579200}, "0", "1970/1/1 0:0:0:0"},
      {"2 hours", false, 0, "", ""},
      {"0 day", false, 0, "", ""},
      {"1 day; 6 hours", false, 0, "", ""},
      {"1 day; 6 hour,", false, 0, "", ""},
      {"1 day; 1", false, 0, "", ""},
      {"1 day; 6 hour; 2001/13/1", false, 0, "", ""},
      {"-1 day", false, 0, "", ""},
      {"1 fortnight", false, 0, "", ""},
      {"day", false, 0, "", ""},
      {"", false, 0, "", ""},
      {"30000 year", false, 0, "", ""},  // longer than 2^63 units
      {"99999999999999999999 second", false, 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Schedule schedule{String(c.text)};
    ASSERT_EQ(schedule.usable(), c.usable);
    if (!c.usable) continue;
    EXPECT_EQ(schedule.period().seconds(), c.period_seconds);
    std::string offsets;
    for (const Duration& o : schedule.offsets()) {
      offsets += (offsets.empty() ? "" : ",") + std::to_string(o.seconds());
    }
    EXPECT_EQ(offsets, c.offsets);
    EXPECT_EQ(schedule.reference().format().to_utf8(), c.reference);
  }

  EXPECT_EQ(Validity(String("1 Hour")).duration().seconds(), 3600);
  EXPECT_EQ(Validity(String("2 month")).duration().seconds(), 5253120);
  EXPECT_EQ(Validity(String("0 second")).duration().seconds(), 0);
  for (const char* unusable : {"2 hours", "0", "hour", "1 hour 2", ""}) {
    EXPECT_FALSE(Validity(String(unusable)).usable()) << unusable;
  }
  // Texts saved as UTF-16 read the same.
  String wide;
  wide.set_text(std::string_view("1\0 \0d\0a\0y\0", 10), TextEncoding::Unicode, -1);
  EXPECT_EQ(Validity(wide).duration().seconds(), 86400);
}

TEST(ScheduleTest, NextTimeIsTheFirstScheduledTimeAfter) {
  struct Case {
    const char* schedule;
    const char* after;
    const char* next;
  };
  const Case cases[] = {
      {"1 day; 6 hour", "2001/3/8 5:0:0:0", "2001/3/8 6:0:0:0"},
      {"1 day; 6 hour", "2001/3/8 7:0:0:0", "2001/3/9 6:0:0:0"},
      {"1 day; 6 hour", "2001/3/8 6:0:0:0", "2001/3/9 6:0:0:0"},  // strictly after
      {"1 day", "2001/3/7 23:0:0:0", "2001/3/8 0:0:0:0"},
      {"1 day", "2001/3/8 0:30:0:0", "2001/3/9 0:0:0:0"},
      {"15 minute; 5 minute", "2001/3/8 18:28:44:0", "2001/3/8 18:35:0:0"},
      // Mondays at midnight: 2001/3/8 is a Thursday.
      {"1 week; 1 day", "2001/3/8 18:28:44:0", "2001/3/12 0:0:0:0"},
      {"1 week; 1 day", "2001/3/12 0:0:0:0", "2001/3/19 0:0:0:0"},
      // An offset longer than the period still counts from the period before.
      {"1 day; 30 hour", "2001/3/8 2:0:0:0", "2001/3/8 6:0:0:0"},
      // A reference after t: floor division keeps the first time after t.
      {"1 day; 6 hour; 2001/3/10 0:0:0:0", "2001/3/8 5:0:0:0", "2001/3/8 6:0:0:0"},
      {"1 day; 6 hour; 2001/3/10 0:0:0:0", "2001/3/8 7:0:0:0", "2001/3/9 6:0:0:0"},
      {"1 week; 1 day; 2001/3/10 0:0:0:0", "2001/3/1 0:0:0:0", "2001/3/4 0:0:0:0"},
      // A month on the 31st: the 28th in February (leap years too), the 30th
      // in April, and the 31st again after both.
      {"1 month; 0; 2001/1/31 0:0:0:0", "2001/2/1 0:0:0:0", "2001/2/28 0:0:0:0"},
      {"1 month; 0; 2001/1/31 0:0:0:0", "2001/2/28 0:0:0:0", "2001/3/31 0:0:0:0"},
      {"1 month; 0; 2001/1/31 0:0:0:0", "2001/3/29 12:0:0:0", "2001/3/31 0:0:0:0"},
      {"1 month; 0; 2001/1/31 0:0:0:0", "2001/4/5 0:0:0:0", "2001/4/30 0:0:0:0"},
      {"1 month; 0; 2001/1/31 0:0:0:0", "2001/5/30 0:0:0:0", "2001/5/31 0:0:0:0"},
      {"1 month; 0; 2001/1/31 0:0:0:0", "2004/2/1 0:0:0:0", "2004/2/28 0:0:0:0"},
      {"1 month; 0; 2001/1/31 0:0:0:0", "2000/12/5 0:0:0:0", "2000/12/31 0:0:0:0"},
      {"1 month; 0; 2001/1/31 0:0:0:0", "2000/2/10 0:0:0:0", "2000/2/28 0:0:0:0"},
      {"3 month; 0; 2001/1/31 0:0:0:0", "2001/2/1 0:0:0:0", "2001/4/30 0:0:0:0"},
      // Far from the reference the months and years stay exact.
      {"1 month", "2143/6/15 12:0:0:0", "2143/7/1 0:0:0:0"},
      {"1 month", "9999/12/31 23:0:0:0", "10000/1/1 0:0:0:0"},
      {"1 year", "9999/6/1 0:0:0:0", "10000/1/1 0:0:0:0"},
      {"1 year; 0; 30000/7/1 0:0:0:0", "1601/1/1 0:0:0:1", "1601/7/1 0:0:0:0"},
      // February 29 plus years is the 28th; the reference itself stays.
      {"1 year; 0; 2004/2/29 0:0:0:0", "2004/2/28 0:0:0:0", "2004/2/29 0:0:0:0"},
      {"1 year; 0; 2004/2/29 0:0:0:0", "2004/3/1 0:0:0:0", "2005/2/28 0:0:0:0"},
      {"1 year; 0; 2004/2/29 0:0:0:0", "2007/3/1 0:0:0:0", "2008/2/28 0:0:0:0"},
      // Calendar offsets move the month's time by the calendar; others by seconds.
      {"1 year; 2 day, 1 month; 2001/1/31 0:0:0:0", "2001/2/1 0:0:0:0", "2001/2/2 0:0:0:0"},
      {"1 year; 2 day, 1 month; 2001/1/31 0:0:0:0", "2001/2/10 0:0:0:0", "2001/2/28 0:0:0:0"},
      {"1 month; 40 day; 2001/1/31 0:0:0:0", "2001/3/1 0:0:0:0", "2001/3/12 0:0:0:0"},
      // Past the last time a Timestamp holds: never.
      {"1 day", "30827/12/30 0:0:0:0", "30827/12/31 0:0:0:0"},
      {"29000 year", "2001/1/1 0:0:0:0", "never"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.schedule) + " after " + c.after);
    EXPECT_EQ(next_text(c.schedule, at(c.after)), c.next);
  }
  // The last time is 30828/9/14 2:48:05.477.
  const Timestamp near_end(last_time.value() - 10'000'000);
  EXPECT_EQ(next_text("1 hour", near_end), "never");
  EXPECT_EQ(next_text("1 month; 0; 30827/10/14 1:0:0:0", near_end), "never");
  EXPECT_EQ(next_text("1 month; 0; 30827/10/14 2:0:0:0", Timestamp(0)), "1601/1/14 2:0:0:0");
  EXPECT_EQ(next_text("1 second", last_time), "never");
  EXPECT_EQ(next_text("1 second", Timestamp(~uint64_t{0})), "never");
}

TEST(ScheduleTest, RandomSchedulesNeverSkipOrRepeatATime) {
  std::mt19937_64 random(20010308);
  const char* units[] = {"second", "minute", "hour", "day", "week", "month", "year"};
  int checked = 0;
  for (int round = 0; round < 4000 && !HasFailure(); ++round) {
    std::string text = std::to_string(1 + random() % 40) + " " + units[random() % 7] + ";";
    const int offsets = static_cast<int>(random() % 4);
    for (int i = 0; i < offsets; ++i) {
      text += (i ? ", " : " ") + std::to_string(random() % 50) + " " + units[random() % 7];
    }
    if (random() % 2) {
      text += "; " + std::to_string(1700 + random() % 600) + "/" +
              std::to_string(1 + random() % 12) + "/" + std::to_string(1 + random() % 31) + " " +
              std::to_string(random() % 24) + ":" + std::to_string(random() % 60) + ":0:0";
    }
    Schedule schedule{String(text.c_str())};
    if (!schedule.usable()) continue;  // February 30 and the like
    // Any second between 1870 and 2270; then the answer itself, which must
    // give the time after it.
    const Timestamp t(Timestamp::unix_epoch - uint64_t{100} * 31'557'600 * 10'000'000 +
                      random() % (uint64_t{400} * 31'557'600) * 10'000'000);
    EXPECT_EQ(testing::check_next_after(schedule, t), "") << text << " after " << t.value();
    const Timestamp next = schedule.next_after(t).value_or(t);
    EXPECT_EQ(testing::check_next_after(schedule, next), "") << text << " after " << next.value();
    ++checked;
  }
  EXPECT_GT(checked, 3500);
}

}  // namespace
}  // namespace wayfetch
