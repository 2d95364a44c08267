// ConduitRegistry: which conduit libraries the HotSync host loads, kept in
// the host's own settings file, $XDG_CONFIG_HOME/wayfetch-hotsync/conduits
// ($HOME/.config when XDG_CONFIG_HOME is unset or not absolute). The text
// format is in docs/hotsync.md.
//
// A registration names a conduit by its creator (four printable ASCII
// bytes) and holds its library, priority (0 runs first), name, title,
// conduit type (1 = application) and the synchronisation settings of its
// configuration record. Values the host does not know are kept as read.
//
// The file is read whole and written whole: save() writes a new file beside
// the old one and renames it over it, so a failure leaves the old file as it
// was. A file that cannot be read as registrations is never overwritten:
// load() reports it and save() then refuses. Two processes changing the
// registrations at the same moment may lose one change (the last rename
// wins); neither ever sees a half-written file.
//
// The Conduit Manager calls at the end are what the program uses to register
// its conduit; they work on the default file. Not thread-safe.
#ifndef WAYFETCH_HOTSYNC_CONDUIT_REGISTRY_H
#define WAYFETCH_HOTSYNC_CONDUIT_REGISTRY_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wayfetch::hotsync {

struct Registration {
  std::string creator{};  // four bytes, 0x20-0x7E
  std::string library{};  // path of the shared library; "" until set
  int32_t priority = 2;   // 0-255, lower runs first
  std::string name{};
  std::string title{};
  int32_t conduit_type = 1;     // 1 = application
  uint32_t sync_type = 0;       // the permanent synchronisation type, 0-6
  uint32_t next_sync_type = 0;  // the next HotSync's type, 0-6
  uint32_t preference = 1;      // how the last configuration applied: 1 or 2
  std::vector<std::pair<std::string, std::string>> other_values{};  // unknown keys, kept
};

struct [[nodiscard]] RegistryStatus {
  enum Code { ok, not_registered, already_registered, bad_argument, bad_file, io_error };
  Code code = ok;
  std::string message;  // for people; "" when ok
  bool is_ok() const { return code == ok; }
};

class ConduitRegistry {
 public:
  // The default file; "" when neither XDG_CONFIG_HOME nor HOME gives a folder.
  static std::string default_path();
  // Four bytes from 0x20 to 0x7E.
  static bool is_creator(std::string_view creator);

  explicit ConduitRegistry(std::string path) : path_(std::move(path)) {}

  // Reads the file; a missing file is an empty registry. bad_file (with the
  // line) when it is not a registration file, io_error when unreadable.
  RegistryStatus load();
  // Writes every registration; refused after a failed load.
  RegistryStatus save() const;

  const std::string& path() const { return path_; }
  // In the order they run: by priority, then by creator.
  std::vector<Registration> run_order() const;
  const Registration* find(std::string_view creator) const;
  Registration* find(std::string_view creator);
  // Adds a registration; already_registered (nothing changed) when the
  // creator is known, bad_argument for a bad creator or value.
  RegistryStatus add(const Registration& registration);
  // Replaces the registration of the same creator; not_registered when none.
  RegistryStatus update(const Registration& registration);
  RegistryStatus remove(std::string_view creator);

 private:
  std::string path_;
  std::vector<Registration> registrations_;
  bool loaded_ = false;
};

// Conduit Manager results.
inline constexpr int32_t cm_ok = 0;
inline constexpr int32_t cm_not_registered = -1;
inline constexpr int32_t cm_already_registered = -2;
inline constexpr int32_t cm_bad_argument = -3;
inline constexpr int32_t cm_file_error = -4;

// The Conduit Manager calls, each reading and writing the default file.
// cm_ok with the priority when the creator is registered.
int32_t CmGetCreatorPriority(std::string_view creator, int32_t* priority);
// Registers the creator with the conduit type (1 = application) and
// priority 2; cm_already_registered (nothing changed) when it is known.
int32_t CmInstallCreator(std::string_view creator, int32_t conduit_type);
// Set the library, the title and the priority of a registered creator.
int32_t CmSetCreatorName(std::string_view creator, std::string_view library);
int32_t CmSetCreatorTitle(std::string_view creator, std::string_view title);
int32_t CmSetCreatorPriority(std::string_view creator, int32_t priority);
// The same as CmInstallCreator and the three setters in one write, so that
// an interrupted registration never leaves a conduit without its library.
// cm_already_registered (nothing changed) when the creator is known.
int32_t install_conduit(const Registration& registration);

}  // namespace wayfetch::hotsync

#endif
