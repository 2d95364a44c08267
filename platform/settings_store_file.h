// FileSettingsStore: the settings store on Linux, one text file
// (docs/settings_format.md), by default
// "$XDG_CONFIG_HOME/lorvane-wayfetch/settings" (~/.config when unset).
//
// Reading takes the file as it stands: writers replace it by renaming a
// complete new file over it, so a reader always sees one whole version.
// Updating takes an exclusive flock on "<file>.lock" beside it (a file that
// is never replaced, so every process locks the same one), reads, edits,
// writes the new content beside the file and renames it over, then lets the
// lock go. Several instances, the conduit and the HotSync host may therefore
// change the store at once without losing a value.
//
// A file that exists but is not a regular file, cannot be read or is larger
// than max_file_size is `unreadable`, and an update then writes nothing.
// Thread-safe: every call opens its own descriptors.
#ifndef WAYFETCH_PLATFORM_SETTINGS_STORE_FILE_H
#define WAYFETCH_PLATFORM_SETTINGS_STORE_FILE_H

#include <cstdint>
#include <string>

#include "platform/settings_store.h"

namespace wayfetch::platform {

class FileSettingsStore : public SettingsStore {
 public:
  // The store never reads more than this; a larger file is refused.
  static constexpr int64_t max_file_size = int64_t{4} << 20;

  // The store in `path`; the folder is made (mode 0700) by the first update.
  explicit FileSettingsStore(std::string path);
  // The store in the default path.
  FileSettingsStore();

  // "<user config folder>/lorvane-wayfetch/settings", or "" when there is
  // no home folder to put it in.
  static std::string default_path();

  const std::string& path() const { return path_; }

  SettingsStatus read_all(SettingsData& out) override;
  SettingsStatus update(const Edit& edit) override;

 private:
  // Reads the file's bytes; a missing file is empty text.
  SettingsStatus read_text(std::string& out) const;
  SettingsStatus write_text(const std::string& text) const;

  std::string path_;
};

}  // namespace wayfetch::platform

#endif
