// Arbitrary texts read as a validity and as a periodicity, asked for the
// next scheduled time after arbitrary times. The answer must be after t, be
// a scheduled time, and leave no scheduled time between t and itself
// (tests/config/schedule_oracle.h); asked again at the answer, it must move
// on. A validity's expiry must be t plus its duration, or never.
//
// Input: 8 bytes of t (little-endian, any value), then the text (its first
// byte chooses the encoding, fuzz/fuzz_input.h).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/schedule.h"
#include "core/byte_order.h"
#include "fuzz/fuzz_input.h"
#include "tests/config/schedule_oracle.h"

namespace {

using namespace wayfetch;

void check(const Schedule& schedule, Timestamp t) {
  const std::string problem = testing::check_next_after(schedule, t);
  if (problem.empty()) return;
  std::fprintf(stderr, "after %llu (%s): %s\n", static_cast<unsigned long long>(t.value()),
               t.format().to_utf8().c_str(), problem.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  const Timestamp t(static_cast<uint64_t>(byte_order::get_le32(data)) |
                    static_cast<uint64_t>(byte_order::get_le32(data + 4)) << 32);
  const String text = fuzzing::text_from(data + 8, size - 8);

  const Validity validity(text);
  if (validity.usable()) {
    const std::optional<Timestamp> expiry = validity.expiry(t);
    const testing::OracleWide end =
        static_cast<testing::OracleWide>(t.value()) + validity.duration().units();
    if (expiry ? static_cast<testing::OracleWide>(expiry->value()) != end
               : end <= last_time.value()) {
      std::abort();
    }
  }

  const Schedule schedule(text);
  if (!schedule.usable()) return 0;
  if (schedule.offsets().empty() || schedule.period().units() <= 0) std::abort();
  check(schedule, t);
  const std::optional<Timestamp> next = schedule.next_after(t);
  if (next) check(schedule, *next);
  // The same question from the reference time, where k turns from 0 to 1.
  check(schedule, schedule.reference());
  return 0;
}
