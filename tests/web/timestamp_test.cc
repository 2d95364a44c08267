#include "web/timestamp.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>

namespace wayfetch {
namespace {

// 2001-03-08 18:28:44 UTC.
constexpr int64_t sample_unix = 984'076'124;
constexpr uint64_t sample_value = 126'285'497'240'000'000;

std::string text_of(Timestamp t) {
  return std::string(t.format().window_bytes());
}

TEST(TimestampTest, TextForm) {
  Timestamp t;
  ASSERT_TRUE(Timestamp::from_fields({}, t));
  EXPECT_EQ(t.value(), Timestamp::unix_epoch);
  EXPECT_EQ(text_of(t), "1970/1/1 0:0:0:0");
  EXPECT_EQ(text_of(Timestamp(sample_value)), "2001/3/8 18:28:44:0");
  EXPECT_EQ(text_of(Timestamp(0)), "1601/1/1 0:0:0:0");
  EXPECT_EQ(text_of(Timestamp(0x7FFF'FFFF'FFFF'FFFF)), "30828/9/14 2:48:5:477");
  EXPECT_EQ(text_of(Timestamp(0x8000'0000'0000'0000)), "");

  const char* same[] = {"2001/3/8 18:28:44:0", "  2001-3-8 18.28.44.0  ", "2001.03.08\t18-28-44-0",
                        "2001/3/8  18:28:44:000", "2001/3/8 18:28:44"};
  for (const char* text : same) {
    bool ok = false;
    EXPECT_EQ(Timestamp::parse(text, &ok).value(), sample_value) << text;
    EXPECT_TRUE(ok) << text;
  }
  bool ok = false;
  EXPECT_EQ(Timestamp::parse("2001/3/8", &ok).value(),
            sample_value - (18 * 3600 + 28 * 60 + 44) * Timestamp::units_per_second);
  EXPECT_TRUE(ok);
  EXPECT_EQ(Timestamp::parse("2024/2/29 23:59:59:999", &ok),
            Timestamp::from_unix(1'709'251'199, 999));
  EXPECT_TRUE(ok);
}

TEST(TimestampTest, InvalidDatesFail) {
  const char* bad[] = {"2001/13/1 0:0:0:0",
                       "2001/1/32 0:0:0:0",
                       "2001/2/29 0:0:0:0",
                       "1900/2/29 0:0:0:0",
                       "2001/2/30",
                       "2001/4/31",
                       "1600/12/31",
                       "30828/1/1",
                       "2001/1/1 24:0:0:0",
                       "2001/1/1 0:60:0:0",
                       "2001/1/1 0:0:60:0",
                       "2001/1/1 0:0:0:1000",
                       "2001",
                       "",
                       "  ",
                       "2001//3/8",
                       "x2001/3/8",
                       "-5/1/1",
                       "2001/3/8 99999999999999999999"};
  for (const char* text : bad) {
    bool ok = true;
    EXPECT_EQ(Timestamp::parse(text, &ok).value(), 0u) << text;
    EXPECT_FALSE(ok) << text;
  }
  Timestamp unchanged(42);
  EXPECT_FALSE(Timestamp::from_fields({.year = 2001, .month = 0}, unchanged));
  EXPECT_FALSE(Timestamp::from_fields({.year = 2001, .day = -1}, unchanged));
  EXPECT_FALSE(Timestamp::from_fields({.year = 2001, .hour = -1}, unchanged));
  EXPECT_EQ(unchanged.value(), 42u);
  EXPECT_TRUE(Timestamp::from_fields({.year = 2000, .month = 2, .day = 29}, unchanged));
  EXPECT_TRUE(Timestamp::from_fields({.year = 30827, .month = 12, .day = 31}, unchanged));
}

TEST(TimestampTest, FieldsRoundTripAndWeekdays) {
  TimeFields fields;
  ASSERT_TRUE(Timestamp(0).to_fields(fields));
  EXPECT_EQ(fields.day_of_week, 1);  // 1601-01-01 was a Monday
  ASSERT_TRUE(Timestamp::from_unix(0).to_fields(fields));
  EXPECT_EQ(fields.day_of_week, 4);  // a Thursday
  EXPECT_FALSE(Timestamp(~uint64_t{0}).to_fields(fields));

  // Every 997th day from 1601 to 30827 at a time of day that moves with it,
  // through fields and through the text form.
  const int64_t last_day = 10'675'199 - 330;
  for (int64_t day = 0; day < last_day; day += 997) {
    uint64_t value = static_cast<uint64_t>(day) * 864'000'000'000 +
                     static_cast<uint64_t>(day % 86'400'000) * Timestamp::units_per_millisecond;
    Timestamp t(value);
    ASSERT_TRUE(t.to_fields(fields));
    Timestamp back;
    ASSERT_TRUE(Timestamp::from_fields(fields, back)) << day;
    EXPECT_EQ(back, t) << day;
    EXPECT_EQ(Timestamp::parse(t.format()), t) << day;
  }
}

TEST(TimestampTest, UnixTimes) {
  EXPECT_EQ(Timestamp::from_unix(sample_unix).value(), sample_value);
  EXPECT_EQ(Timestamp::from_unix(0, 5).value(), Timestamp::unix_epoch + 50'000);
  bool exact = false;
  EXPECT_EQ(Timestamp(sample_value + 9'999'999).to_unix(&exact), sample_unix);
  EXPECT_TRUE(exact);
  // Before 1970 seconds round toward zero.
  EXPECT_EQ(Timestamp(Timestamp::unix_epoch - 15'000'000).to_unix(), -1);
  EXPECT_EQ(Timestamp::from_unix(std::numeric_limits<int32_t>::min()).to_unix(&exact),
            std::numeric_limits<int32_t>::min());
  EXPECT_TRUE(exact);
  EXPECT_EQ(Timestamp::from_unix(int64_t{1} << 31).to_unix(&exact), int64_t{1} << 31);
  EXPECT_FALSE(exact);
  EXPECT_EQ(Timestamp(0).to_unix(&exact), -Timestamp::unix_epoch_seconds);
  EXPECT_FALSE(exact);

  // A sampled sweep of the 32-bit range (bench/timestamp_sweep runs all of it).
  for (int64_t s = 0; s <= std::numeric_limits<int32_t>::max(); s += 65'521) {
    ASSERT_EQ(Timestamp::from_unix(s).to_unix(&exact), s);
    ASSERT_TRUE(exact);
  }
  ASSERT_EQ(Timestamp::from_unix(std::numeric_limits<int32_t>::max()).to_unix(&exact),
            std::numeric_limits<int32_t>::max());
  ASSERT_TRUE(exact);

  Timestamp now = Timestamp::now();
  EXPECT_GT(now, Timestamp::from_unix(1'700'000'000));
  EXPECT_EQ(now.value() % Timestamp::units_per_millisecond, 0u);
  // now() reads the clock in use, cut to the millisecond.
  platform::FakeClock clock(platform::FakeClock::default_file_time + 12'345);
  platform::ScopedClock use(clock);
  EXPECT_EQ(Timestamp::now().value(), platform::FakeClock::default_file_time + 10'000);
}

TEST(TimestampTest, DifferencesAndOrder) {
  Timestamp day(sample_value);
  Timestamp next_day(sample_value + 86'400 * Timestamp::units_per_second);
  EXPECT_EQ(Timestamp::seconds_between(next_day, day), 86'400);
  EXPECT_EQ(Timestamp::seconds_between(day, next_day), -86'400);
  EXPECT_EQ(Timestamp::seconds_between(Timestamp(15'000'000), Timestamp(0)), 1);
  EXPECT_EQ(Timestamp::seconds_between(Timestamp(0), Timestamp(15'000'000)), -1);
  // Values more than 2^63 apart.
  EXPECT_EQ(Timestamp::seconds_between(Timestamp(~uint64_t{0}), Timestamp(0)), 1'844'674'407'370);
  EXPECT_EQ(Timestamp::seconds_between(Timestamp(0), Timestamp(~uint64_t{0})), -1'844'674'407'370);

  // Ordered by the whole 64-bit value, not by either word.
  Timestamp high_word = Timestamp::from_words(0, 2);
  Timestamp low_word = Timestamp::from_words(0xFFFF'FFFF, 1);
  EXPECT_EQ(Timestamp::compare(high_word, low_word), 1);
  EXPECT_EQ(Timestamp::compare(low_word, high_word), -1);
  EXPECT_EQ(Timestamp::compare(day, Timestamp(sample_value)), 0);
  EXPECT_LT(low_word, high_word);
}

TEST(TimestampTest, SerialisedForm) {
  Timestamp t = Timestamp::from_words(0x44332211, 0x88776655);
  int32_t size = 0;
  EXPECT_EQ(t.write({}, size), 8);
  EXPECT_EQ(size, 8);

  std::array<uint8_t, 11> buffer{};
  int32_t offset = 2;
  EXPECT_EQ(t.write(buffer, offset), 8);
  EXPECT_EQ(offset, 10);
  const std::array<uint8_t, 11> expected = {0,    0,    0x11, 0x22, 0x33, 0x44,
                                            0x55, 0x66, 0x77, 0x88, 0};
  EXPECT_EQ(buffer, expected);
  EXPECT_EQ(t.write(buffer, offset), 0);  // only one byte left
  EXPECT_EQ(offset, 10);

  const uint8_t* cursor = buffer.data() + 2;
  int32_t remaining = 9;
  Timestamp back;
  ASSERT_TRUE(back.read(cursor, remaining));
  EXPECT_EQ(back, t);
  EXPECT_EQ(remaining, 1);
  EXPECT_EQ(cursor, buffer.data() + 10);
  // A short record consumes the rest and reads nothing.
  EXPECT_FALSE(back.read(cursor, remaining));
  EXPECT_EQ(back.value(), 0u);
  EXPECT_EQ(remaining, 0);
  EXPECT_EQ(cursor, buffer.data() + 11);
}

}  // namespace
}  // namespace wayfetch
