// Code-page conversion between Windows code page numbers and UTF-16.
//
// The program carries text in the code page it came in (Windows numbers: 932,
// 936, 950, 1252, 20105, 65001, ...) and converts on request. This layer maps
// those numbers onto glibc iconv. Conversions behave like the Windows ones the
// program was designed around: undecodable input bytes become U+FFFD and
// unencodable characters become "?", so a conversion fails only when the code
// page itself is unknown. Thread-safe: every call opens its own converter.
#ifndef WAYFETCH_PLATFORM_CODE_PAGE_H
#define WAYFETCH_PLATFORM_CODE_PAGE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace wayfetch::platform {

// The code page of system and file-system text on Linux: UTF-8.
inline constexpr int32_t system_code_page = 65001;
// The code page number of UTF-16 little-endian text.
inline constexpr int32_t utf16_code_page = 1200;

// The iconv name of a Windows code page, or nullptr when we do not know it.
const char* iconv_name(int32_t code_page);

// Whether the code page is one of the three double-byte code pages (932, 936, 950).
bool is_double_byte_code_page(int32_t code_page);

// Appends the UTF-16 form of `length` bytes in `code_page` to `out`.
// Returns false (appending nothing) only when the code page is unknown.
bool to_utf16(int32_t code_page, const uint8_t* bytes, std::size_t length, std::u16string& out);

// Appends the `code_page` form of `count` UTF-16 units to `out`. Unpaired
// surrogates and characters the code page lacks become "?".
// Returns false (appending nothing) only when the code page is unknown.
bool from_utf16(int32_t code_page, const char16_t* units, std::size_t count, std::string& out);

}  // namespace wayfetch::platform

#endif
