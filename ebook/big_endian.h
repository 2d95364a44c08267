// Big-endian numbers in byte buffers, as every Palm database stores them.
#ifndef WAYFETCH_EBOOK_BIG_ENDIAN_H
#define WAYFETCH_EBOOK_BIG_ENDIAN_H

#include <cstdint>

namespace wayfetch::big_endian {

inline void put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

inline void put32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 24);
  at[1] = static_cast<uint8_t>(value >> 16);
  at[2] = static_cast<uint8_t>(value >> 8);
  at[3] = static_cast<uint8_t>(value);
}

inline uint32_t get16(const uint8_t* at) {
  return (uint32_t{at[0]} << 8) | at[1];
}

inline uint32_t get32(const uint8_t* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

}  // namespace wayfetch::big_endian

#endif
