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
//
// A conversion the user agreed to but that could not download or add every
// description (114, 115) leaves a configuration that is not saved: the next
// start finds no "config.xml" and offers the conversion again, instead of
// forgetting the earlier installation's eNews for good.
#include <string>

#include "config/config_text.h"
#include "config/settings_names.h"
#include "config/wayfetch_configuration.h"
#include "core/error_codes.h"
#include "core/string_table.h"
#include "platform/file_system.h"

namespace wayfetch {
WayfetchConfiguration::Startup WayfetchConfiguration::start_up(const Question& ask,
                                                               ConversionConnection* connection) {
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
  bool converted = convert_old_installation(ask, connection);
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

bool WayfetchConfiguration::convert_old_installation(const Question& ask,
                                                     ConversionConnection* connection) {
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
    old_addresses_.push_back(config_text::utf8_text(address + "/" + name + suffix));
  }
  WebSource* source = connection != nullptr ? connection->open() : nullptr;
  if (source == nullptr) {
    raise_error(errors::config_no_connection);
    return false;
  }
  bool downloaded = true;
  for (const String& description : old_addresses_) {
    downloaded = download_description(*source, *connection, description) && downloaded;
  }
  // What came is added even when something did not: the eNews the user had
  // are not held back for another one's failed download.
  const AddResult added = add_queued();
  if (!downloaded) {
    raise_error(errors::config_no_connection);
    return false;
  }
  if (!added.ok) {
    // The reader has logged 115 for a text that did not parse.
    if (error != errors::config_invalid_file) raise_error(errors::config_invalid_file);
    return false;
  }
  clear_status();
  set_selection_from_registry();
  return true;
}

bool WayfetchConfiguration::download_description(WebSource& source,
                                                 ConversionConnection& connection,
                                                 const String& address) {
  File file;
  if (!file.open_temporary()) return false;
  WebRequest request;
  request.address = address;
  request.target = &file;
  // The description is kept byte for byte, whatever type the server names.
  request.kind = ContentKind::get;
  WebResult result = source.get(request);
  for (int32_t attempts = 1; !result.ok() && connection.repeat(result, attempts); ++attempts) {
    file.truncate(0);
    result = source.get(request);
  }
  if (!result.ok()) return false;
  const int64_t size = file.size();
  if (size < 0) return false;
  if (size > max_description_size) {
    // Queued as too large, so that adding reports it like any other.
    push_queued(QueuedText{std::string(), true});
    return true;
  }
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (file.seek(0, File::Origin::start) != 0 ||
      file.read(bytes.data(), static_cast<int32_t>(size)) != static_cast<int32_t>(size)) {
    return false;
  }
  queue_description(bytes);
  return true;
}

}  // namespace wayfetch
