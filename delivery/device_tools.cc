#include "delivery/device_tools.h"

#include "platform/launcher.h"

namespace wayfetch {
namespace {

std::string in_folder(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string();
  std::string path(folder);
  if (path.back() != '/') path += '/';
  path += name;
  return path;
}

// The value when present, else the default.
std::string tool_path(const platform::SettingsData& data, std::string_view name,
                      std::string_view installation_folder, std::string_view default_name) {
  if (const std::string* value = data.find(device_tool_names::program_key, name)) return *value;
  return in_folder(installation_folder, default_name);
}

}  // namespace

DeviceTools find_device_tools(platform::SettingsStore& settings,
                              std::string_view installation_folder) {
  platform::SettingsData data;
  // An unreadable store leaves `data` empty: the defaults, and no manager.
  static_cast<void>(settings.read_all(data));
  DeviceTools tools;
  // The second key counts only when the first does not exist: a first key
  // without a path means the manager was taken away.
  std::string_view key = data.key_exists(device_tool_names::windows_ce_key)
                             ? device_tool_names::windows_ce_key
                             : device_tool_names::windows_ce_fallback_key;
  if (const std::string* path = data.find(key, "")) tools.windows_ce_manager = *path;
  tools.epoc_tool = tool_path(data, device_tool_names::epoc_tool, installation_folder,
                              device_tool_names::epoc_default);
  tools.ebookman_tool = tool_path(data, device_tool_names::ebookman_tool, installation_folder,
                                  device_tool_names::ebookman_default);
  return tools;
}

bool start_device_tool(const std::string& tool, const std::vector<std::string>& arguments) {
  if (tool.empty()) return false;
  // A missing tool is no error of the program's: the handheld family may
  // simply not be installed.
  return platform::launch(tool, arguments).ok();
}

}  // namespace wayfetch
