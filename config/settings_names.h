// The names under which the program's values live in the settings store
// (platform/settings_store.h, docs/settings_format.md), exactly as the program
// has always named them.
#ifndef WAYFETCH_CONFIG_SETTINGS_NAMES_H
#define WAYFETCH_CONFIG_SETTINGS_NAMES_H

#include <string_view>

namespace wayfetch::settings_names {

// The program's key and its values.
inline constexpr std::string_view program_key = "SOFTWARE\\Lorvane\\Wayfetch";
inline constexpr std::string_view installation_path = "Installation path";
inline constexpr std::string_view program_file = "Wayfetch Exe";
inline constexpr std::string_view device_type = "Device type";
// Where the descriptions of an earlier installation's eNews are downloaded
// from (base address and file suffix); absent unless an administrator sets
// them.
inline constexpr std::string_view catalogue_address = "Catalogue address";
inline constexpr std::string_view description_suffix = "Description suffix";

// An earlier installation's choices: one value per eNews name, and one
// subkey per eNews holding one value per selected item name.
inline constexpr std::string_view old_enews_key = "SOFTWARE\\Lorvane\\Wayfetch\\eNews";
inline constexpr std::string_view old_selection_key = "SOFTWARE\\Lorvane\\Wayfetch\\Selection";

}  // namespace wayfetch::settings_names

#endif
