// The conduit library's own small string table: the texts of its
// configuration form, by the identifiers the form has always used. The
// library carries them itself, as it links no user-interface table. The
// delivered texts are German; they are UTF-8 here.
//
// Thread-safe: the table is constant.
#ifndef WAYFETCH_CONDUIT_CONDUIT_STRINGS_H
#define WAYFETCH_CONDUIT_CONDUIT_STRINGS_H

#include <cstdint>
#include <string_view>

namespace wayfetch::conduit_strings {

inline constexpr int32_t conduit_name = 1;      // "Lorvane Wayfetch": name and form title
inline constexpr int32_t other_options = 8004;  // "Übrige Optionen von %s :" (the user name)
inline constexpr int32_t synchronise_file = 8005;
inline constexpr int32_t do_nothing = 8008;
inline constexpr int32_t form_heading = 8009;

// The text with this identifier, or "" when the table has none.
std::string_view text(int32_t id);

}  // namespace wayfetch::conduit_strings

#endif
