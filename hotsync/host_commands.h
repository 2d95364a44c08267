// The host's commands on the registrations: --register, --unregister,
// --list and --configure. Each returns an exit status of
// hotsync/hotsync_session.h, prints its result to `out` and its complaints
// (prefixed "wayfetch-hotsync: ") to `err`.
#ifndef WAYFETCH_HOTSYNC_HOST_COMMANDS_H
#define WAYFETCH_HOTSYNC_HOST_COMMANDS_H

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "hotsync/hotsync_session.h"

namespace wayfetch::hotsync {

struct RegisterOptions {
  std::string creator;
  std::string library;              // made absolute against the current folder
  std::optional<int32_t> priority;  // 2 for a new registration
  std::optional<std::string> name;
  std::optional<std::string> title;
};

// Registers a conduit, or changes the library and the given values of an
// existing registration (its other settings are kept).
int register_conduit(const std::string& registry_path, const RegisterOptions& options,
                     std::FILE* out, std::FILE* err);
int unregister_conduit(const std::string& registry_path, const std::string& creator, std::FILE* out,
                       std::FILE* err);
// One line per registration in run order: creator, priority, library,
// title, separated by tabs.
int list_conduits(const std::string& registry_path, std::FILE* out, std::FILE* err);

struct ConfigureOptions {
  std::string creator;
  std::optional<uint32_t> type;        // the new synchronisation type, 0-6
  std::optional<uint32_t> preference;  // 1 from now on, 2 for the next HotSync only
  HotSyncUser user;
};

// Fills the configuration record from the registration and the options,
// hands it to the conduit's CfgConduit and, when that returns 0, keeps the
// new type as the record's preference says.
int configure_conduit(const std::string& registry_path, const ConfigureOptions& options,
                      std::FILE* out, std::FILE* err);

}  // namespace wayfetch::hotsync

#endif
