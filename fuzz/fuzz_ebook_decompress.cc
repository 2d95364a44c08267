// Any bytes as a compressed text record: decoding must never read or write
// out of bounds, must agree with a plain decoder, and line-end expansion
// must add exactly one byte per line feed.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ebook/palmdoc.h"
#include "tests/ebook/palmdoc_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wayfetch::RecordBuffer buffer(data, static_cast<int32_t>(size));
  const int32_t length = wayfetch::decompress(buffer);
  std::vector<uint8_t> expected;
  const bool valid = wayfetch::testing::reference_decompress({data, size}, expected);
  if (valid != (length >= 0)) std::abort();
  if (!valid) {
    if (buffer.length() != static_cast<int32_t>(size)) std::abort();  // left unchanged
    return 0;
  }
  if (buffer.vector() != expected) std::abort();
  const auto feeds = std::count(expected.begin(), expected.end(), uint8_t{0x0A});
  if (wayfetch::expand_line_ends(buffer) != length + feeds) std::abort();
  return 0;
}
