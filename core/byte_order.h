// Numbers in byte buffers in a fixed byte order, whatever the machine's:
// big-endian as Palm databases and e-books store them, little-endian as the
// serialised String and Timestamp records and BMP pictures do. The one copy
// of these helpers. REQUIRES: the buffer holds the bytes read or written.
#ifndef WAYFETCH_CORE_BYTE_ORDER_H
#define WAYFETCH_CORE_BYTE_ORDER_H

#include <cstdint>
#include <vector>

namespace wayfetch::byte_order {

constexpr uint32_t get_be16(const uint8_t* at) {
  return (uint32_t{at[0]} << 8) | at[1];
}
constexpr uint32_t get_be32(const uint8_t* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}
constexpr void put_be16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}
constexpr void put_be32(uint8_t* at, uint32_t value) {
  put_be16(at, value >> 16);
  put_be16(at + 2, value);
}

constexpr uint32_t get_le16(const uint8_t* at) {
  return at[0] | (uint32_t{at[1]} << 8);
}
constexpr uint32_t get_le32(const uint8_t* at) {
  return get_le16(at) | (get_le16(at + 2) << 16);
}
constexpr void put_le16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}
constexpr void put_le32(uint8_t* at, uint32_t value) {
  put_le16(at, value);
  put_le16(at + 2, value >> 16);
}

// Appends the number to a growing buffer.
inline void append_le16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
inline void append_le32(std::vector<uint8_t>& out, uint32_t value) {
  append_le16(out, value & 0xFFFF);
  append_le16(out, value >> 16);
}

}  // namespace wayfetch::byte_order

#endif
