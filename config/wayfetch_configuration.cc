// Folders, registration, loading and the list.
#include "config/wayfetch_configuration.h"
#include "core/error_codes.h"

#include <unordered_map>
#include <utility>

#include "config/config_text.h"
#include "config/settings_names.h"
#include "platform/file_system.h"
#include "platform/user_folders.h"
#include "web/timestamp.h"

namespace wayfetch {
using config_text::utf8_text;

WayfetchConfiguration::WayfetchConfiguration(platform::SettingsStore& settings) : store_(settings) {
  settings_.version.next_test = Timestamp::now();
  queue_lock_.create(1);
}

// ---- folders and files ----

bool WayfetchConfiguration::knows_installation_path() {
  std::string stored;
  if (installation_path_.empty() &&
      store_.read_value(settings_names::program_key, settings_names::installation_path, stored)
          .ok()) {
    installation_path_ = stored;
  }
  return !installation_path_.empty();
}

String WayfetchConfiguration::installation_path() {
  if (!knows_installation_path()) {
    raise_error(errors::config_file_missing);
    return String();
  }
  return utf8_text(installation_path_);
}

String WayfetchConfiguration::installation_file(const char* name) {
  String folder = installation_path();
  if (folder.empty()) return String();
  std::string path = folder.to_utf8();
  if (path.back() != '/') path += '/';
  return utf8_text(path + name);
}

String WayfetchConfiguration::config_path() {
  return installation_file("config.xml");
}

String WayfetchConfiguration::data_folder() {
  return installation_file("data");
}

std::string WayfetchConfiguration::known_data_folder() {
  if (!knows_installation_path()) return std::string();
  return installation_path_ + (installation_path_.back() == '/' ? "data" : "/data");
}

String WayfetchConfiguration::library_path() {
  return installation_file("lorvbook.mbl");
}

String WayfetchConfiguration::library_temp_path() {
  return installation_file("lorvbook_temp.mbl");
}

String WayfetchConfiguration::error_log_path() {
  return installation_file("error_log.txt");
}

String WayfetchConfiguration::default_config_path() {
  if (!default_config_override_.empty()) return utf8_text(default_config_override_);
  return utf8_text(platform::find_program_file("default_config.xml"));
}

bool WayfetchConfiguration::register_program() {
  // On Linux the installation folder holds the user's data; the program
  // file itself lives wherever it was installed.
  std::string data_home = platform::user_data_folder();
  std::string program = platform::executable_path();
  if (!data_home.empty()) {
    std::string folder = data_home + "/" + std::string(platform::program_folder_name);
    platform::SettingsStatus status = store_.update([&](platform::SettingsData& data) {
      if (data.find(settings_names::program_key, settings_names::installation_path) != nullptr) {
        return false;
      }
      data.set(settings_names::program_key, settings_names::installation_path, folder);
      data.set(settings_names::program_key, settings_names::program_file, program);
      return true;
    });
    (void)status;  // a store that cannot be written shows as a missing path below
  }
  String data = data_folder();
  return !data.empty() && platform::make_folders(data.to_utf8());
}

String WayfetchConfiguration::device_type() {
  std::string value;
  if (!store_.read_value(settings_names::program_key, settings_names::device_type, value).ok()) {
    return String();
  }
  return utf8_text(value);
}

// ---- loading ----

bool WayfetchConfiguration::open_document(const std::string& path, File& file) {
  last_file_missing_ = path.empty() || !platform::path_exists(path);
  // A FIFO or a folder in the file's place must neither block nor be read.
  if (last_file_missing_ || !platform::is_regular_file(path) ||
      !file.open(path, File::read_existing) || file.size() > max_file_size) {
    file.close();
    raise_error(errors::config_file_missing);
    return false;
  }
  return true;
}

bool WayfetchConfiguration::load(const String& path, bool replace, bool with_globals) {
  clear_status();
  File file;
  if (!open_document(path.to_utf8(), file)) return false;
  ENewsList list;
  GlobalSettings read_settings = settings_;
  if (!read_description(file, path, list, with_globals ? &read_settings : nullptr)) return false;
  merge(std::move(list), replace);
  if (with_globals) settings_ = std::move(read_settings);
  return true;
}

// ---- the list ----

int32_t WayfetchConfiguration::find(const String& name) const {
  for (std::size_t i = 0; i < enews_.size(); ++i) {
    if (same_name(enews_[i]->name(), name)) return static_cast<int32_t>(i);
  }
  return -1;
}

std::unique_ptr<ENews> WayfetchConfiguration::remove(int32_t i) {
  std::unique_ptr<ENews> removed = std::move(enews_[static_cast<std::size_t>(i)]);
  enews_.erase(enews_.begin() + i);
  return removed;
}

void WayfetchConfiguration::merge(ENewsList list, bool replace) {
  // Names by their folded UTF-16 form: a merge of a thousand eNews stays
  // linear. Empty names are never looked up.
  std::unordered_map<std::u16string, int32_t> index;
  for (int32_t i = count() - 1; i >= 0; --i) {
    if (!at(i).name().empty()) index[config_text::folded_utf16_of(at(i).name())] = i;
  }
  // Every eNews in the list knows where its folder lies.
  const std::string folder = known_data_folder();
  for (std::unique_ptr<ENews>& fresh : list) {
    if (!fresh || !is_valid_enews_name(fresh->name())) continue;
    fresh->set_data_folder(folder);
    if (fresh->name().empty()) {
      enews_.push_back(std::move(fresh));
      continue;
    }
    auto [found, added] = index.try_emplace(config_text::folded_utf16_of(fresh->name()), count());
    if (added) {
      enews_.push_back(std::move(fresh));
      continue;
    }
    if (!replace) continue;
    ENews& old = at(found->second);
    fresh->keep_choices_of(old);
    // Names match in any ASCII case, folders only in one: the eNews keeps
    // the spelling its folder was made with.
    fresh->set_name(old.name());
    enews_[static_cast<std::size_t>(found->second)] = std::move(fresh);
  }
}

void WayfetchConfiguration::set_selection_from_registry() {
  platform::SettingsData data;
  if (!store_.read_all(data).ok()) return;
  for (auto& enews : enews_) {
    std::string key =
        std::string(settings_names::old_selection_key) + "\\" + enews->name().to_utf8();
    if (enews->name().empty() || !data.key_exists(key)) continue;
    for (int32_t k = 0; k < enews->item_count(); ++k) {
      ENewsItem& item = enews->item(k);
      if (!item.is_visible()) continue;
      item.set_selected(data.find(key, item.name().to_utf8()) != nullptr);
    }
  }
}

}  // namespace wayfetch
