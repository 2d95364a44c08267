// The settings store: the program's few remembered values outside its
// configuration file (where it is installed, the program file, the handheld
// family, what an earlier installation had chosen), kept the way the program
// has always named them: keys such as "SOFTWARE\Lorvane\Wayfetch" holding
// named string values.
//
// SettingsData is the content as a value: keys (paths of components joined
// by "\"), each with its values; a value with an empty name is the key's
// default value. Key paths and value names compare without regard to ASCII
// case and keep the case they were first stored with. A key exists when it
// was created or when a key below it exists.
//
// SettingsStore is the service: a consistent snapshot (read_all) and a
// read-modify-write step (update) that no other writer, in this process or
// another, interleaves with. FileSettingsStore (platform/settings_store_file.h)
// keeps one text file (docs/settings_format.md); MemorySettingsStore
// (platform/settings_store_fake.h) keeps it in memory for tests. The helpers
// below run one read or one update each. Implementations are thread-safe.
// Failures are SettingsStatus values, never exceptions.
#ifndef WAYFETCH_PLATFORM_SETTINGS_STORE_H
#define WAYFETCH_PLATFORM_SETTINGS_STORE_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace wayfetch::platform {

enum class SettingsError : int32_t {
  none = 0,
  not_found,     // no such key or value
  invalid_name,  // an empty key path or one with an empty component
  unreadable,    // the stored settings exist but cannot be read
  write_failed,  // the new settings could not be stored; the old ones stand
};

struct [[nodiscard]] SettingsStatus {
  SettingsError code = SettingsError::none;
  std::string message;  // empty when ok; else what went wrong, for logs and tests

  bool ok() const { return code == SettingsError::none; }
  static SettingsStatus failure(SettingsError code, std::string message) {
    return {code, std::move(message)};
  }
};

// Orders texts by their ASCII-lower-cased bytes.
struct AsciiCaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

class SettingsData {
 public:
  using Values = std::map<std::string, std::string, AsciiCaseLess>;

  // Whether `key` is a usable key path: not empty, no empty component.
  static bool valid_key(std::string_view key);

  // The value, or nullptr when the key or the value does not exist.
  const std::string* find(std::string_view key, std::string_view name) const;
  // Stores a value, creating the key; false for an invalid key path.
  bool set(std::string_view key, std::string_view name, std::string_view value);
  // Creates an empty key (keys above it exist through it); false when invalid.
  bool create_key(std::string_view key);
  // Removes one value; false when it did not exist.
  bool remove_value(std::string_view key, std::string_view name);
  // Removes the key, its values and every key below it; false when none existed.
  bool remove_key(std::string_view key);
  bool key_exists(std::string_view key) const;
  // Value names of a key in ASCII-case order (the default value as "").
  std::vector<std::string> value_names(std::string_view key) const;
  // Names of the keys directly below `key`, in ASCII-case order.
  std::vector<std::string> subkey_names(std::string_view key) const;
  bool empty() const { return keys_.empty(); }
  bool operator==(const SettingsData& other) const;

  // The text form (docs/settings_format.md). Reading skips malformed lines
  // and counts them in `*skipped`.
  static SettingsData parse(std::string_view text, int32_t* skipped = nullptr);
  std::string format() const;

 private:
  std::map<std::string, Values, AsciiCaseLess> keys_;
};

class SettingsStore {
 public:
  // Edits the content; returns whether anything is to be stored.
  using Edit = std::function<bool(SettingsData&)>;

  virtual ~SettingsStore() = default;

  // Everything stored, as one consistent snapshot. Nothing stored yet is an
  // empty snapshot, not a failure.
  virtual SettingsStatus read_all(SettingsData& out) = 0;
  // Reads the current content, applies `edit` and stores the result, as one
  // step. When the content cannot be read, `edit` is not called and nothing
  // is written: what could not be read is never overwritten.
  virtual SettingsStatus update(const Edit& edit) = 0;

  // ---- one step each ----
  // not_found when the key or the value does not exist.
  SettingsStatus read_value(std::string_view key, std::string_view name, std::string& out);
  SettingsStatus write_value(std::string_view key, std::string_view name, std::string_view value);
  // Writes the value only when the key has none of that name yet; `*written`
  // tells whether it did.
  SettingsStatus write_value_if_absent(std::string_view key, std::string_view name,
                                       std::string_view value, bool* written = nullptr);
  SettingsStatus remove_value(std::string_view key, std::string_view name);
  SettingsStatus remove_key(std::string_view key);
  // not_found when the key does not exist.
  SettingsStatus value_names(std::string_view key, std::vector<std::string>& out);
  SettingsStatus subkey_names(std::string_view key, std::vector<std::string>& out);
};

}  // namespace wayfetch::platform

#endif
