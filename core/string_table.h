// The user-interface texts of the program, by identifier. The delivered
// texts are German; the identifiers are the contract between the code and
// the table. Parts of the program below the user interface (the e-book
// publisher) take their few texts from here, so that publishing needs no
// user-interface library; the user interface adds its own entries here.
//
// Texts are UTF-8. Thread-safe: the table is constant.
#ifndef WAYFETCH_CORE_STRING_TABLE_H
#define WAYFETCH_CORE_STRING_TABLE_H

#include <cstdint>
#include <string_view>

namespace wayfetch::strings {

inline constexpr int32_t description_suffix = 10127;        // ".enews"
inline constexpr int32_t table_of_contents = 10128;         // "Inhaltsverzeichnis"
inline constexpr int32_t invalid_configuration = 10145;     // message at start-up
inline constexpr int32_t convert_old_installation = 10146;  // yes/no question
inline constexpr int32_t configuration_not_saved = 10147;   // message at the end
inline constexpr int32_t label_author = 10161;              // "Autor"
inline constexpr int32_t label_title = 10162;               // "Titel"
inline constexpr int32_t label_date = 10163;                // "Datum"
inline constexpr int32_t label_license = 10164;             // "License"

// The text with this identifier, or "" when the table has none.
std::string_view text(int32_t id);

}  // namespace wayfetch::strings

#endif
