#include "hotsync/host_commands.h"

#include <cstring>
#include <filesystem>
#include <memory>

#include "conduit/sync_manager.h"
#include "hotsync/conduit_library.h"
#include "hotsync/conduit_registry.h"
#include "hotsync/fixed_text.h"

namespace wayfetch::hotsync {
namespace {

int complain(std::FILE* err, const std::string& message) {
  std::fprintf(err, "wayfetch-hotsync: %s\n", message.c_str());
  return exit_failed;
}

// Loads the registry; the status says why not.
RegistryStatus load(ConduitRegistry& registry) {
  if (registry.path().empty())
    return {RegistryStatus::io_error, "neither XDG_CONFIG_HOME nor HOME names a folder"};
  return registry.load();
}

}  // namespace

int register_conduit(const std::string& registry_path, const RegisterOptions& options,
                     std::FILE* out, std::FILE* err) {
  ConduitRegistry registry(registry_path);
  if (RegistryStatus loaded = load(registry); !loaded.is_ok()) return complain(err, loaded.message);
  std::error_code error;
  std::filesystem::path library = std::filesystem::absolute(options.library, error);
  if (error) return complain(err, "\"" + options.library + "\" is not a usable path");
  library = library.lexically_normal();
  if (!std::filesystem::is_regular_file(library, error)) {
    std::fprintf(err, "wayfetch-hotsync: warning: \"%s\" is not a file (yet)\n", library.c_str());
  }
  const Registration* known = registry.find(options.creator);
  Registration r = known != nullptr ? *known : Registration{};
  r.creator = options.creator;
  r.library = library.string();
  if (options.priority) r.priority = *options.priority;
  if (options.name) r.name = *options.name;
  if (options.title) r.title = *options.title;
  RegistryStatus changed = known != nullptr ? registry.update(r) : registry.add(r);
  if (!changed.is_ok()) return complain(err, changed.message);
  if (RegistryStatus saved = registry.save(); !saved.is_ok()) return complain(err, saved.message);
  std::fprintf(out, "%s %s\n", known != nullptr ? "Updated" : "Registered", r.creator.c_str());
  return exit_ok;
}

int unregister_conduit(const std::string& registry_path, const std::string& creator, std::FILE* out,
                       std::FILE* err) {
  ConduitRegistry registry(registry_path);
  if (RegistryStatus loaded = load(registry); !loaded.is_ok()) return complain(err, loaded.message);
  if (RegistryStatus removed = registry.remove(creator); !removed.is_ok())
    return complain(err, removed.message);
  if (RegistryStatus saved = registry.save(); !saved.is_ok()) return complain(err, saved.message);
  std::fprintf(out, "Unregistered %s\n", creator.c_str());
  return exit_ok;
}

int list_conduits(const std::string& registry_path, std::FILE* out, std::FILE* err) {
  ConduitRegistry registry(registry_path);
  if (RegistryStatus loaded = load(registry); !loaded.is_ok()) return complain(err, loaded.message);
  for (const Registration& r : registry.run_order()) {
    std::fprintf(out, "%s\t%d\t%s\t%s\n", r.creator.c_str(), r.priority, r.library.c_str(),
                 r.title.c_str());
  }
  return exit_ok;
}

int configure_conduit(const std::string& registry_path, const ConfigureOptions& options,
                      std::FILE* out, std::FILE* err) {
  ConduitRegistry registry(registry_path);
  if (RegistryStatus loaded = load(registry); !loaded.is_ok()) return complain(err, loaded.message);
  const Registration* known = registry.find(options.creator);
  if (known == nullptr) return complain(err, "'" + options.creator + "' is not registered");
  Registration r = *known;
  std::string error;
  std::unique_ptr<ConduitLibrary> library = ConduitLibrary::load(r.library, error);
  if (!library) return complain(err, "cannot load \"" + r.library + "\": " + error);
  auto configure = library->function<CfgConduitFunction>("CfgConduit");
  if (configure == nullptr) return complain(err, "\"" + r.library + "\" has no CfgConduit");

  SyncConfiguration record{};
  record.version = 1;
  record.size = sizeof record;
  std::memcpy(record.creator, r.creator.data(), 4);
  record.user_id = options.user.id;
  copy_text(record.user_name, options.user.name);
  copy_whole_text(record.path, options.user.folder);
  record.permanent_type = r.sync_type;
  record.temporary_type = r.next_sync_type;
  // The options stand in for the choices of a configuration dialog.
  record.new_type = options.type.value_or(r.next_sync_type);
  record.preference = options.preference.value_or(r.preference);
  uint32_t size = sizeof record;
  const int32_t result = configure(0, &record, &size);
  if (result != 0)
    return complain(err, "CfgConduit of " + r.creator + " returned " + std::to_string(result) +
                             "; nothing changed");
  if (record.new_type > 6 || (record.preference != sync_preference_permanent &&
                              record.preference != sync_preference_temporary)) {
    return complain(err, "CfgConduit of " + r.creator +
                             " chose an unknown type or preference; nothing changed");
  }
  r.next_sync_type = record.new_type;
  if (record.preference == sync_preference_permanent) r.sync_type = record.new_type;
  r.preference = record.preference;
  if (RegistryStatus updated = registry.update(r); !updated.is_ok())
    return complain(err, updated.message);
  if (RegistryStatus saved = registry.save(); !saved.is_ok()) return complain(err, saved.message);
  std::fprintf(out, "%s: synchronisation type %u, for the next HotSync %u\n", r.creator.c_str(),
               r.sync_type, r.next_sync_type);
  return exit_ok;
}

}  // namespace wayfetch::hotsync
