// Turns fuzzer bytes into a text to parse: the first byte chooses the
// encoding (single bytes, UTF-16LE, or one of the double-byte code pages),
// the rest are the text's bytes.
#ifndef WAYFETCH_FUZZ_FUZZ_INPUT_H
#define WAYFETCH_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/text_scanner.h"

namespace wayfetch::fuzzing {

inline TextScanner text_from(const uint8_t* data, size_t size, bool double_byte = true) {
  TextScanner text;
  if (size == 0) return text;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 8) {
    case 0:
      text.set_text(bytes, TextEncoding::Unicode, -1);
      break;
    case 1:
      text.set_text(bytes, double_byte ? TextEncoding::Multibyte : TextEncoding::SingleByte, 932);
      break;
    case 2:
      text.set_text(bytes, double_byte ? TextEncoding::Multibyte : TextEncoding::SingleByte, 936);
      break;
    case 3:
      text.set_text(bytes, double_byte ? TextEncoding::Multibyte : TextEncoding::SingleByte, 950);
      break;
    default:
      text.set_text(bytes, TextEncoding::SingleByte, -1);
      break;
  }
  return text;
}

}  // namespace wayfetch::fuzzing

#endif
