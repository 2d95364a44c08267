// Picture records from arbitrary bytes: whatever the input, the conversion
// must return a complete, self-consistent 8-bit BMP and never crash, leak or
// touch memory it does not own. Built once per picture kind; the name's
// ending picks the decoder for inputs without a known signature.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/picture_record.h"

namespace {

uint32_t le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void check_record(const std::vector<uint8_t>& b) {
  if (b.size() < 1078 || b[0] != 'B' || b[1] != 'M') std::abort();
  if (le32(&b[2]) != b.size() || le32(&b[10]) != 1078 || b[28] != 8) std::abort();
  const int64_t width = static_cast<int32_t>(le32(&b[18]));
  const int64_t height = static_cast<int32_t>(le32(&b[22]));
  if (width <= 0 || height <= 0) std::abort();
  if (static_cast<int64_t>(b.size()) - 1078 != (width + 3) / 4 * 4 * height) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A smaller pixel budget than the program's keeps each run fast enough to
  // explore; the size checks themselves are the same code.
  wayfetch::PictureLimits limits;
  limits.max_pixels = int64_t{4} << 20;
  const wayfetch::PictureRecord record =
      wayfetch::convert_picture_data(data, size, WAYFETCH_FUZZ_NAME, limits);
  check_record(record.bytes);
  return 0;
}
