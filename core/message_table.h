// The numbered message texts of the error log: error code n is entry n,
// warning code w is entry 128 + w, entries 181-198 are the fragments records
// are built from. The texts are part of the log format; they stand exactly as
// the program has always written them, typos included.
#ifndef WAYFETCH_CORE_MESSAGE_TABLE_H
#define WAYFETCH_CORE_MESSAGE_TABLE_H

#include <cstdint>
#include <string_view>

namespace wayfetch::messages {

inline constexpr int32_t table_size = 199;
inline constexpr int32_t warning_base = 128;
inline constexpr int32_t line_break = 181;     // carriage return + line feed
inline constexpr int32_t line_label = 182;     // "line: "
inline constexpr int32_t digit_zero = 183;     // 183-192: "0" to "9"
inline constexpr int32_t warning_indent = 193; // seven spaces
inline constexpr int32_t error_indent = 194;   // five spaces
inline constexpr int32_t space = 195;
inline constexpr int32_t in_file = 196;        // " in file: "
inline constexpr int32_t url_label = 197;      // "URL: "
inline constexpr int32_t internet_prefix = 198;  // "Error(internet): "

// The ASCII text of a table entry; empty for entries without text and for
// indexes outside the table.
std::string_view entry(int32_t index);

// The texts of error and warning codes ("" when the code has none).
std::string_view error_text(int32_t code);
std::string_view warning_text(int32_t code);

}  // namespace wayfetch::messages

#endif
