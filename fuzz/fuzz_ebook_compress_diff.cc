// Any bytes compressed by the fast compressor and by the brute-force
// reference: the outputs must be identical and decode back to the input.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ebook/palmdoc.h"
#include "tests/ebook/palmdoc_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Records hold at most 4096 bytes; the reference is slow beyond that.
  if (size > 8192) return 0;
  const std::vector<uint8_t> fast = wayfetch::palmdoc::compress_bytes({data, size});
  if (fast != wayfetch::testing::reference_compress({data, size})) std::abort();
  std::vector<uint8_t> back;
  if (!wayfetch::palmdoc::decompress_bytes(fast, back)) std::abort();
  if (back != std::vector<uint8_t>(data, data + size)) std::abort();
  return 0;
}
