// Lower-casing as the C library does it in the "C" locale: bytes A-Z only;
// UTF-16 units through towlower in the C.UTF-8 locale. Thread-safe.
#ifndef WAYFETCH_PLATFORM_LOWER_CASE_H
#define WAYFETCH_PLATFORM_LOWER_CASE_H

#include <cstdint>

namespace wayfetch::platform {

inline uint8_t lower_byte(uint8_t c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : c;
}

// Lower-cases one UTF-16 unit; surrogates are returned unchanged.
char16_t lower_unit(char16_t unit);

}  // namespace wayfetch::platform

#endif
