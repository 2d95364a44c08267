#include "config/connection_settings.h"

#include "config/settings_names.h"
#include "core/ascii.h"

namespace wayfetch {

ConnectionSettings ConnectionSettings::read(platform::SettingsStore& store) {
  ConnectionSettings settings;
  platform::SettingsData data;
  if (!store.read_all(data).ok()) return settings;
  const std::string_view key = settings_names::program_key;
  if (const std::string* value = data.find(key, settings_names::update_check_address)) {
    settings.update_check_address = *value;
  }
  if (const std::string* value = data.find(key, settings_names::language_code)) {
    settings.language_code = *value;
  }
  if (const std::string* value = data.find(key, settings_names::assume_online)) {
    settings.assume_online = ascii::equals_ignoring_case(*value, "yes");
  }
  return settings;
}

}  // namespace wayfetch
