// The connection policy's remembered values outside config.xml, kept in the
// settings store under the program's key (docs/settings_format.md):
//   "Update check address"  where the new-version check asks; empty or
//                           absent: no check (next-test stays as it is);
//   "Language code"         sent with the check; "de" when absent;
//   "Assume online"         "yes" (any case) makes the live-connection tests
//                           answer live, for machines without a default
//                           route (containers, an offline example reading
//                           file: and loopback sources); "no" when absent.
// A store that cannot be read gives the defaults. Plain values.
#ifndef WAYFETCH_CONFIG_CONNECTION_SETTINGS_H
#define WAYFETCH_CONFIG_CONNECTION_SETTINGS_H

#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace wayfetch {

namespace settings_names {
inline constexpr std::string_view update_check_address = "Update check address";
inline constexpr std::string_view language_code = "Language code";
inline constexpr std::string_view assume_online = "Assume online";
}  // namespace settings_names

struct ConnectionSettings {
  std::string update_check_address;
  std::string language_code = "de";
  bool assume_online = false;

  // The values under "SOFTWARE\Lorvane\Wayfetch", defaults for those absent.
  static ConnectionSettings read(platform::SettingsStore& store);
};

}  // namespace wayfetch

#endif
