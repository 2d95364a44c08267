// The window's commands by identifier. The menu bar, the toolbar, the tree's
// pop-up menus and the notification icon's pop-up all send these numbers to
// MainWindow::run_command (ui/main_window.h), which holds the one table from
// identifier to action; several menu entries may carry the same command
// under different texts ("&Unsubscribe" and "&Löschen").
#ifndef WAYFETCH_UI_COMMANDS_H
#define WAYFETCH_UI_COMMANDS_H

#include <cstdint>

namespace wayfetch::commands {

inline constexpr int32_t hide = 2;
inline constexpr int32_t about = 104;
inline constexpr int32_t exit = 105;
inline constexpr int32_t help = 32771;
inline constexpr int32_t update_now = 32772;
inline constexpr int32_t find_enews = 32773;
inline constexpr int32_t find_ebooks = 32774;
inline constexpr int32_t stop = 32775;
inline constexpr int32_t home_page = 32777;
inline constexpr int32_t downloads_page = 32778;
inline constexpr int32_t support_page = 32779;
inline constexpr int32_t enews_catalogue = 32780;
inline constexpr int32_t add_enews_file = 32781;
inline constexpr int32_t details = 32782;
inline constexpr int32_t open = 32783;
inline constexpr int32_t exit_from_tray = 32784;
inline constexpr int32_t select_all = 32787;
inline constexpr int32_t select_none = 32788;
inline constexpr int32_t quick_publish = 32789;
inline constexpr int32_t unsubscribe = 32793;
inline constexpr int32_t configuration = 32794;
inline constexpr int32_t update_all = 32795;

}  // namespace wayfetch::commands

#endif
