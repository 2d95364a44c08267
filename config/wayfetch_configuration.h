// WayfetchConfiguration: everything the program remembers between runs.
//
// It owns the eNews list (config/enews.h) and the global settings
// (config/global_settings.h) and keeps them in "config.xml" in the
// installation folder, an XML file read with the parser's extraction-template
// mode and written as UTF-16 (docs/config_format.md). The installation folder
// is found through the settings store (platform/settings_store.h): on Linux
// "$XDG_DATA_HOME/lorvane-wayfetch" ("config.xml", "data", "error_log.txt",
// "lorvbook.mbl", "lorvbook_temp.mbl"); the read-only "default_config.xml",
// which offers eNews on a fresh installation, is installed with the program
// (docs/platform.md, "Folders"). eNews description files (".enews") use the
// same vocabulary and the same reader.
//
// Failures are recorded in the ErrorState and logged:
//   115 "Invalid configuration file."   the document does not parse;
//   116 "Could not find configuration file."   no installation path, a
//       missing or unreadable file (not a regular file, larger than
//       max_file_size), no "wayfetch-config" element, nothing to convert;
//   117 "Failed memory allocation..."   out of memory while reading, or no
//       catalogue address for the conversion of an earlier installation.
// Warning 51 says that an unreadable "config.xml" was kept as
// "config.xml.bak" before a new one was saved.
//
// Saving writes a new file beside "config.xml" and renames it over the old
// one, so a failed save leaves the old file whole.
//
// Not thread-safe: the application changes the list and the settings only on
// the thread that holds its list lock; the update job holds it for a run.
#ifndef WAYFETCH_CONFIG_WAYFETCH_CONFIGURATION_H
#define WAYFETCH_CONFIG_WAYFETCH_CONFIGURATION_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/enews.h"
#include "config/global_settings.h"
#include "core/error_state.h"
#include "core/file.h"
#include "core/string.h"
#include "platform/settings_store.h"

namespace wayfetch {

class TextScanner;

class WayfetchConfiguration : public ErrorState {
 public:
  // Asks the user a yes/no question by its string-table identifier
  // (core/string_table.h).
  using Question = std::function<bool(int32_t question_id)>;

  // "config.xml" and the description files are never read beyond this size.
  static constexpr int64_t max_file_size = int64_t{16} << 20;

  // The result of start_up: `ok` is false when the configuration could not
  // be read for another reason than 115 or 116 (the program stops); `message`
  // is 0, strings::invalid_configuration (10145) or
  // strings::configuration_not_saved (10147), for the window to show.
  struct Startup {
    bool ok = false;
    int32_t message = 0;
  };

  // Uses `settings` for the installation folder and the earlier
  // installation's choices; it must outlive the configuration.
  explicit WayfetchConfiguration(platform::SettingsStore& settings);
  WayfetchConfiguration(const WayfetchConfiguration&) = delete;
  WayfetchConfiguration& operator=(const WayfetchConfiguration&) = delete;

  // ---- folders and files ----
  // The stored "Installation path", read once and kept; error 116 and "" when
  // it cannot be read.
  String installation_path();
  // The installation path, "/" and the file's name; "" without an
  // installation path.
  String config_path();
  String data_folder();
  String library_path();       // "lorvbook.mbl", the handheld log
  String library_temp_path();  // "lorvbook_temp.mbl", its copy from the conduit
  String error_log_path();
  // "default_config.xml" installed with the program; "" when not found.
  String default_config_path();
  // Tests point this at a file of their own; "" restores the installed one.
  void set_default_config_path(const String& path) { default_config_override_ = path.to_utf8(); }
  // When no installation path is stored yet, stores the installation folder
  // as "Installation path" and the program file as "Wayfetch Exe"; then
  // makes the data folder. False when either fails.
  bool register_program();
  // The stored "Device type" ("ebm" for the eBookMan family), or "".
  String device_type();
  // The store the configuration reads its remembered values from.
  platform::SettingsStore& settings_store() { return store_; }

  // ---- reading and writing ----
  // Reads the file at `path` and merges its eNews into the list; with
  // `with_globals` the global settings and the version record are taken
  // too. False with the error code (115, 116, 117) on failure, the list and
  // settings unchanged.
  bool load(const String& path, bool replace, bool with_globals);
  // Reads a document (a configuration or an eNews description) into `out`
  // (appended) and, when `settings` is given, the global settings and the
  // version record into it (fields the document leaves out keep their value).
  // False with 115, 116 or 117.
  bool read_description(const String& text, ENewsList& out, GlobalSettings* settings);
  bool read_description(File& file, const String& name, ENewsList& out, GlobalSettings* settings);
  // Writes "config.xml"; false (and the old file untouched) on failure.
  bool save();

  // ---- the list ----
  int32_t count() const { return static_cast<int32_t>(enews_.size()); }
  // REQUIRES: 0 <= i < count().
  ENews& at(int32_t i) { return *enews_[static_cast<std::size_t>(i)]; }
  const ENews& at(int32_t i) const { return *enews_[static_cast<std::size_t>(i)]; }
  // The first eNews whose name equals `name` (ASCII case ignored), or -1.
  int32_t find(const String& name) const;
  // Merges read eNews into the list, each in turn: a name with a character
  // other than ASCII letters, digits, "_" and "-" is dropped; a name already
  // in the list replaces the old eNews in its place when `replace` (keeping
  // the selection, selected-in-build and file count of same-named items and
  // the old eNews's statistics) and is dropped otherwise; anything else,
  // including an empty name, is appended.
  void merge(ENewsList list, bool replace);

  GlobalSettings& settings() { return settings_; }
  const GlobalSettings& settings() const { return settings_; }

  // ---- start and end of the program ----
  // Registers the program, loads "config.xml" and, when there is none that
  // can be read, converts an earlier installation and adds the eNews of
  // "default_config.xml" (saving at once). See docs/config_format.md.
  Startup start_up(const Question& ask);
  // Saves when the configuration may be saved; 10147 when that fails, else 0.
  int32_t save_at_exit();
  bool may_be_saved() const { return may_be_saved_; }
  void set_may_be_saved(bool value) { may_be_saved_ = value; }

  // ---- an earlier installation ----
  // Takes the eNews an earlier installation chose (the value names under
  // "...\Wayfetch\eNews") when the user agrees to question 10146. Error 117
  // without a catalogue address, 116 when there is nothing to convert or the
  // user declines. Downloading and adding the descriptions comes with the
  // subscription queue; until then nothing is converted (116).
  bool convert_old_installation(const Question& ask);
  // The addresses the last conversion would download, in order.
  const std::vector<String>& old_description_addresses() const { return old_addresses_; }
  // Marks each visible item selected exactly when the earlier installation
  // selected it ("...\Selection\<eNews>\<item>" exists). eNews without such
  // a key keep their selection.
  void set_selection_from_registry();

 private:
  // Opens `path` for reading when it is a regular file within the size limit.
  bool open_document(const std::string& path, File& file);
  // Steps 2-5 of reading a document held in `text`.
  bool read_document(TextScanner& text, ENewsList& out, GlobalSettings* settings);
  // The installation path + "/" + name, or "".
  String installation_file(const char* name);
  // Keeps an unreadable "config.xml" as "config.xml.bak".
  bool keep_unreadable_config();

  platform::SettingsStore& store_;
  ENewsList enews_;
  GlobalSettings settings_;
  std::string installation_path_;
  std::string default_config_override_;
  std::vector<String> old_addresses_;
  bool may_be_saved_ = false;
  // Whether the file the last load asked for was missing (not merely unreadable).
  bool last_file_missing_ = false;
};

}  // namespace wayfetch

#endif
