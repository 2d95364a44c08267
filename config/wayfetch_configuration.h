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
// Subscribing: description texts (the bytes of ".enews" files) are queued
// by any thread and added to the list by add_queued, both under the queue
// lock; each added eNews gets its folder and its ".enews" file there
// (docs/config_format.md, "Adding subscriptions").
//
// Not thread-safe, but for queue_description, queue_description_file and
// has_queued, which any thread may call: the application changes the list
// and the settings only on the thread that holds its list lock; the update
// job holds it for a run.
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
#include "core/sync.h"
#include "platform/settings_store.h"
#include "web/timestamp.h"
#include "web/web_source.h"

namespace wayfetch {

class TextScanner;

// How the conversion of an earlier installation reaches the web: the
// connection policy implements it for the program, tests serve addresses
// from memory. Called on the thread that converts.
class ConversionConnection {
 public:
  virtual ~ConversionConnection() = default;
  // Opens the connection, once the user agreed to convert; the source to
  // download through (owned by the implementation, alive until the
  // conversion returns), or nullptr when no connection can be had.
  virtual WebSource* open() = 0;
  // Whether to repeat a request that failed with `failure`, after
  // `attempts` tries (the reaction to web errors).
  virtual bool repeat(const WebResult& failure, int32_t attempts) = 0;
};

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
  // Takes eNews `i` out of the list and hands it over (Unsubscribe); the
  // others keep their order. REQUIRES: 0 <= i < count().
  std::unique_ptr<ENews> remove(int32_t i);
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
  // can be read, converts an earlier installation (through `connection`)
  // and adds the eNews of "default_config.xml" (saving at once). See
  // docs/config_format.md.
  Startup start_up(const Question& ask, ConversionConnection* connection = nullptr);
  // Saves when the configuration may be saved; 10147 when that fails, else 0.
  int32_t save_at_exit();
  bool may_be_saved() const { return may_be_saved_; }
  void set_may_be_saved(bool value) { may_be_saved_ = value; }

  // ---- an earlier installation ----
  // Takes the eNews an earlier installation chose (the value names under
  // "...\Wayfetch\eNews") when the user agrees to question 10146: opens
  // `connection`, downloads each one's description (repeating a failed
  // request while the connection asks for it), adds them as subscriptions
  // and then takes the earlier selection (set_selection_from_registry).
  // Error 117 without a catalogue address; 116 when there is nothing to
  // convert or the user declines; 114 when no connection can be opened or
  // a description cannot be downloaded; 115 when a downloaded description
  // cannot be added. What was downloaded is added all the same.
  bool convert_old_installation(const Question& ask, ConversionConnection* connection);
  // The addresses the last conversion would download, in order.
  const std::vector<String>& old_description_addresses() const { return old_addresses_; }
  // Marks each visible item selected exactly when the earlier installation
  // selected it ("...\Selection\<eNews>\<item>" exists). eNews without such
  // a key keep their selection.
  void set_selection_from_registry();

  // ---- adding subscriptions ----
  // A queued description is read only up to this size; a larger one fails.
  static constexpr int64_t max_description_size = int64_t{4} << 20;

  // Why a queued description was not added.
  enum class AddFailure : int32_t {
    none = 0,
    too_large,     // more than max_description_size bytes
    unreadable,    // the reader refused it (`error` says why: 115, 116, 117)
    no_enews,      // it holds no "enews" element
    invalid_name,  // its name is not a valid eNews name (the merge dropped it)
    no_free_name,  // no unused name could be made from its title
    not_written,   // its folder or ".enews" file could not be made
  };
  // The outcome for one queued text.
  struct AddedText {
    AddFailure failure = AddFailure::none;
    int32_t error = 0;  // the reader's code for `unreadable`
    String name;        // the eNews's name (also when not_written)
  };
  struct AddResult {
    bool ok = true;                // no text failed
    int32_t added = 0;             // texts added
    std::vector<AddedText> texts;  // one per queued text, in queue order
  };

  // Queues a description text (the bytes of an ".enews" file). Any thread.
  void queue_description(std::string_view bytes);
  // Queues the content of the file at `path`. False (nothing queued) when
  // it is not a regular file that can be read. Any thread.
  bool queue_description_file(const String& path);
  // Whether texts wait to be added. Any thread.
  bool has_queued();
  // Adds the queued texts in order and empties the queue; nothing when it
  // is empty. Each text is read as a description; its first eNews is merged
  // into the list (replacing a namesake), gets a name made from its title
  // when it has none, and its folder and ".enews" file, written byte for
  // byte. A text that fails leaves the others to go on.
  AddResult add_queued();

  // The latest last-write time of all items' data files; 1970-01-01 when
  // there is none.
  Timestamp last_download_time() const;

 private:
  struct QueuedText {
    std::string bytes;
    bool too_large = false;
  };

  void push_queued(QueuedText queued);
  AddedText add_one(const QueuedText& queued);
  // Gives `enews` an unused name made from its title; false after
  // max_name_tries names in use.
  bool make_name(ENews& enews);
  // Downloads `address` through `source` (repeating as `connection` asks)
  // and queues it; false when it could not be had.
  bool download_description(WebSource& source, ConversionConnection& connection,
                            const String& address);
  // Whether the installation path is known (read once from the store),
  // without raising an error.
  bool knows_installation_path();
  // The data folder as UTF-8; "" (and no error) when unknown.
  std::string known_data_folder();

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
  // A semaphore of count 1: guards queue_ and the adding of queued texts.
  Semaphore queue_lock_;
  std::vector<QueuedText> queue_;
  bool may_be_saved_ = false;
  // Whether the file the last load asked for was missing (not merely unreadable).
  bool last_file_missing_ = false;
};

}  // namespace wayfetch

#endif
