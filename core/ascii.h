// ASCII character classes and case rules: the program's one copy of them.
//
// Names in pages, templates, style sheets and headers compare without case
// for A-Z and a-z only (the bytes may be in any code page, so nothing beyond
// ASCII is folded). Character arguments are taken as uint32_t so that bytes
// (char, signed or not), UTF-16 units and the -1 of an ended reader can all
// be asked; a negative char or -1 is simply no ASCII character. Thread-safe.
#ifndef WAYFETCH_CORE_ASCII_H
#define WAYFETCH_CORE_ASCII_H

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/lower_case.h"

namespace wayfetch::ascii {

// Tab, line feed, carriage return and space: the blanks of XML, requests and
// the program's own texts.
constexpr bool is_blank(uint32_t c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}
// The blanks and form feed: white space in HTML and style sheets.
constexpr bool is_html_space(uint32_t c) {
  return is_blank(c) || c == '\f';
}
constexpr bool is_letter(uint32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
constexpr bool is_digit(uint32_t c) {
  return c >= '0' && c <= '9';
}
// XML names as the program reads them: a letter, "_" or ":" first, then
// those, digits, "-" and "."; no character beyond ASCII.
constexpr bool is_name_start(uint32_t c) {
  return is_letter(c) || c == '_' || c == ':';
}
constexpr bool is_name_char(uint32_t c) {
  return is_name_start(c) || is_digit(c) || c == '-' || c == '.';
}

// A code unit with A-Z made a-z (the platform's byte lower-casing); every
// other value unchanged.
// The value of a hexadecimal digit in either case, or -1 for any other
// character.
constexpr int hex_value(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

inline uint32_t fold(uint32_t c) {
  return c < 0x80 ? platform::lower_byte(static_cast<uint8_t>(c)) : c;
}
inline char to_lower(char c) {
  return static_cast<char>(fold(static_cast<unsigned char>(c)));
}
inline char to_upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) { return to_lower(c); });
  return out;
}
inline std::string upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) { return to_upper(c); });
  return out;
}

inline bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return to_lower(x) == to_lower(y);
         });
}
inline bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         equals_ignoring_case(text.substr(0, prefix.size()), prefix);
}
inline bool ends_with_ignoring_case(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equals_ignoring_case(text.substr(text.size() - suffix.size()), suffix);
}
// The offset of the first occurrence of `needle` in any case, or npos.
inline std::size_t find_ignoring_case(std::string_view text, std::string_view needle) {
  if (needle.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
    if (equals_ignoring_case(text.substr(i, needle.size()), needle)) return i;
  }
  return std::string_view::npos;
}

}  // namespace wayfetch::ascii

#endif
