// The synchronisation tools of the handheld families the conduit does not
// serve: the Windows CE synchronisation manager, the EPOC tool and the
// eBookMan tool. This finds their paths in the settings store
// (docs/settings_format.md) and starts them.
//
// Paths:
//   - the Windows CE manager is the default value of the key
//     "SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\WCESMGR.EXE";
//     only when that key does not exist, of "...\App Paths\SYNCMGR.EXE".
//     A key that exists with no or an empty default value means no manager.
//   - the EPOC and eBookMan tools are the values "EPOC tool" and "eBookMan
//     tool" of "SOFTWARE\Lorvane\Wayfetch"; when absent, "lorvepocsync" and
//     "lorvebmsync" in the installation folder. An empty value means none.
//
// Tools are started through platform/launcher.h: an argument vector, never
// a shell, so a path is one argument however it is written; the launcher
// reaps them. A tool that is missing or cannot be started fails silently:
// the start functions only tell whether it started. Thread-safe.
#ifndef WAYFETCH_DELIVERY_DEVICE_TOOLS_H
#define WAYFETCH_DELIVERY_DEVICE_TOOLS_H

#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_store.h"

namespace wayfetch {

struct DeviceTools {
  // Empty: no such tool, nothing is started.
  std::string windows_ce_manager;
  std::string epoc_tool;
  std::string ebookman_tool;

  // The arguments each one is started with.
  static constexpr std::string_view windows_ce_argument = "/syncnow";
  static constexpr std::string_view epoc_argument = "-connect";
  static constexpr std::string_view ebookman_argument = "-s";
};

namespace device_tool_names {
inline constexpr std::string_view windows_ce_key =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WCESMGR.EXE";
inline constexpr std::string_view windows_ce_fallback_key =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SYNCMGR.EXE";
// The program's own key (config/settings_names.h names it for the
// configuration, which this library sits below).
inline constexpr std::string_view program_key = "SOFTWARE\\Lorvane\\Wayfetch";
inline constexpr std::string_view epoc_tool = "EPOC tool";
inline constexpr std::string_view ebookman_tool = "eBookMan tool";
inline constexpr std::string_view epoc_default = "lorvepocsync";
inline constexpr std::string_view ebookman_default = "lorvebmsync";
}  // namespace device_tool_names

// The tools as the settings name them, with the defaults in
// `installation_folder` (empty: no defaults). A store that cannot be read
// gives the defaults and no Windows CE manager.
DeviceTools find_device_tools(platform::SettingsStore& settings,
                              std::string_view installation_folder);

// Starts `tool` with `arguments`; false when the path is empty or the tool
// could not be started (nothing else happens then).
bool start_device_tool(const std::string& tool, const std::vector<std::string>& arguments);

}  // namespace wayfetch

#endif
