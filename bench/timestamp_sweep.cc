// Checks that every signed 32-bit Unix time survives the trip through a
// Timestamp: to_unix(from_unix(s)) == s with the exact flag set, for s from
// -2^31 to 2^31 - 1. Prints the count of failures and the time taken;
// exits 1 when any value fails.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "bench/bench_usage.h"
#include "web/timestamp.h"

int main(int argc, char** argv) {
  if (wayfetch::bench::asked_for_help(
          argc, argv,
          "usage: timestamp_sweep\n"
          "Checks every signed 32-bit Unix time through a Timestamp and back.\n")) {
    return 0;
  }
  using Clock = std::chrono::steady_clock;
  constexpr int64_t first = std::numeric_limits<int32_t>::min();
  constexpr int64_t last = std::numeric_limits<int32_t>::max();
  int64_t failures = 0;
  int64_t first_failure = 0;
  auto start = Clock::now();
  for (int64_t s = first; s <= last; ++s) {
    bool exact = false;
    int64_t back = wayfetch::Timestamp::from_unix(s).to_unix(&exact);
    if (back != s || !exact) {
      if (failures == 0) first_failure = s;
      ++failures;
    }
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf(
      "timestamp_sweep: %lld values from %lld to %lld, %lld failures, %.2f s (%.2f ns each)\n",
      static_cast<long long>(last - first + 1), static_cast<long long>(first),
      static_cast<long long>(last), static_cast<long long>(failures), seconds,
      seconds * 1e9 / static_cast<double>(last - first + 1));
  if (failures != 0) {
    std::printf("first failure at %lld\n", static_cast<long long>(first_failure));
    return 1;
  }
  return 0;
}
