// The fake clock drives dates, sleeps and the time limits of waits.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "platform/date_format.h"
#include "platform/threads.h"
#include "platform/waitable.h"

namespace wayfetch::platform {
namespace {

TEST(ClockTest, FakeClockGivesDatesAndMovesOnlyWhenToldOrSlept) {
  setenv("TZ", "UTC", 1);
  tzset();
  FakeClock clock;
  ScopedClock use(clock);
  EXPECT_EQ(&current_clock(), &clock);
  CalendarDate date = today();
  EXPECT_EQ(date.year, 2001);
  EXPECT_EQ(date.month, 3);
  EXPECT_EQ(date.day, 8);
  EXPECT_EQ(date.weekday, 4);

  Clock::SteadyTime start = clock.steady_time();
  sleep_ms(250);  // returns at once, 250 ms later on this clock
  EXPECT_EQ(clock.steady_time() - start, std::chrono::milliseconds(250));
  EXPECT_EQ(clock.file_time(), FakeClock::default_file_time + 2'500'000);
  clock.advance(std::chrono::hours(6));
  EXPECT_EQ(today().day, 9);
  {
    ScopedClock system(system_clock());
    EXPECT_TRUE(current_clock().is_system());
  }
  EXPECT_EQ(&current_clock(), &clock);
}

TEST(ClockTest, TimedWaitsEndWhenTheFakeTimePassesTheirLimit) {
  FakeClock clock;
  ScopedClock use(clock);
  auto never = create_event();
  ASSERT_NE(never, nullptr);
  std::atomic<int32_t> result{99};
  std::thread waiter([&] {
    Waitable* objects[] = {never.get()};
    result = wait_for_any(objects, 60'000);
  });
  // A minute of fake time passes in a few real milliseconds.
  while (result == 99) clock.advance(std::chrono::seconds(5));
  waiter.join();
  EXPECT_EQ(result, wait_timeout);
  // Objects signalled under a fake clock are taken as ever.
  auto event = create_event();
  event->set();
  EXPECT_TRUE(event->wait(1000));
}

}  // namespace
}  // namespace wayfetch::platform
