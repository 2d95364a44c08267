// The start of the program, its end, and the conversion of an earlier
// installation.
//
// What may be saved: a configuration read whole, or a fresh one. A
// "config.xml" that does not parse (115) is never written over, so the user
// can mend it. A fresh installation has neither an earlier installation nor
// a catalogue to convert from; a conversion that cannot start (117) or finds
// nothing (116) therefore leaves a configuration that may be saved, or the
// subscriptions made in this run would be lost at its end.
//
// A "config.xml" that exists but gave 116 (unreadable, not a regular file,
// too large, without a "wayfetch-config" element) is renamed to
// "config.xml.bak" before the first save, and warning 51 says so: start-up
// never overwrites what it could not read. Only a missing file starts afresh
// without a word.
#include <string>

#include "config/settings_names.h"
#include "config/wayfetch_configuration.h"
#include "core/error_codes.h"
#include "core/string_table.h"
#include "platform/file_system.h"

namespace wayfetch {
WayfetchConfiguration::Startup WayfetchConfiguration::start_up(const Question& ask) {
  Startup result;
  register_program();
  if (load(config_path(), true, true)) {
    may_be_saved_ = true;
    result.ok = true;
    return result;
  }
  if (error == errors::config_invalid_file) {
    may_be_saved_ = false;
    result.ok = true;
    result.message = strings::invalid_configuration;
    return result;
  }
  if (error != errors::config_file_missing) return result;

  bool unreadable_file = !last_file_missing_;
  bool converted = convert_old_installation(ask);
  may_be_saved_ =
      converted || error == errors::config_file_missing || error == errors::config_allocation;
  load(default_config_path(), false, false);
  result.ok = true;
  if (!may_be_saved_) return result;
  if (unreadable_file && !keep_unreadable_config()) {
    // It could be neither read nor moved aside: leave it for the user.
    may_be_saved_ = false;
    result.message = strings::configuration_not_saved;
    return result;
  }
  if (!save()) result.message = strings::configuration_not_saved;
  return result;
}

int32_t WayfetchConfiguration::save_at_exit() {
  if (!may_be_saved_ || save()) return 0;
  return strings::configuration_not_saved;
}

bool WayfetchConfiguration::keep_unreadable_config() {
  std::string path = config_path().to_utf8();
  if (path.empty() || !platform::rename_path(path, path + ".bak")) return false;
  raise_warning(warnings::config_kept_as_backup);
  return true;
}

bool WayfetchConfiguration::convert_old_installation(const Question& ask) {
  clear_status();
  old_addresses_.clear();
  std::string address;
  std::string suffix;
  (void)store_.read_value(settings_names::program_key, settings_names::catalogue_address, address);
  if (!store_.read_value(settings_names::program_key, settings_names::description_suffix, suffix)
           .ok()) {
    suffix = std::string(strings::text(strings::description_suffix));
  }
  if (address.empty() || suffix.empty()) {
    raise_error(errors::config_allocation);
    return false;
  }
  std::vector<std::string> names;
  if (!store_.value_names(settings_names::old_enews_key, names).ok() || names.empty() || !ask ||
      !ask(strings::convert_old_installation)) {
    raise_error(errors::config_file_missing);
    return false;
  }
  if (address.back() == '/') address.pop_back();
  for (const std::string& name : names) {
    if (name.empty()) continue;  // the key's default value names no eNews
    String text{std::string_view(address + "/" + name + suffix)};
    text.use_system_code_page();
    old_addresses_.push_back(text);
  }
  // Downloading the descriptions and adding them needs the subscription
  // queue; until it is there, nothing is converted.
  raise_error(errors::config_file_missing);
  return false;
}

}  // namespace wayfetch
