// The program's installation entries for the user, renewed at every normal
// start (program/program_entry.h), each step on its own: a step that cannot
// be done is skipped without a word and the next one runs.
//
//   1. program values: "Installation path" and "Wayfetch Exe" under
//      "SOFTWARE\Lorvane\Wayfetch" in the settings store, only when
//      "Wayfetch Exe" does not exist yet (an existing "Installation path",
//      where the user's data is, is never moved);
//   2. the ".enews" type: the MIME package
//      "$XDG_DATA_HOME/mime/packages/lorvane-wayfetch.xml" (the type
//      "application/x-lorvane-subscription", glob "*.enews", comment string
//      10148), the desktop entry "$XDG_DATA_HOME/applications/
//      lorvane-wayfetch.desktop" that opens such files with "-enews" and the
//      file, and the icon "$XDG_DATA_HOME/icons/hicolor/scalable/apps/
//      lorvane-wayfetch.svg"; then update-mime-database and
//      update-desktop-database, when present, started detached;
//   3. the HotSync conduit: the creator "LORV" with the library
//      libLorvPalmSync.so found beside the program, title "Lorvane",
//      priority 2, as an application conduit, only when "LORV" is not
//      registered (an existing registration, perhaps changed by the user,
//      is left as it is).
// A browser's trust entry has no counterpart here and is not written.
//
// Files are written only when their content changed, beside the old one and
// renamed over it. Not thread-safe (a start runs it once, before anything
// else).
#ifndef WAYFETCH_PROGRAM_INSTALLATION_ENTRIES_H
#define WAYFETCH_PROGRAM_INSTALLATION_ENTRIES_H

#include <string>

#include "platform/settings_store.h"

namespace wayfetch {

inline constexpr char subscription_mime_type[] = "application/x-lorvane-subscription";
inline constexpr char conduit_creator[] = "LORV";

// Where the entries come from and go to; tests point them at their folders.
struct InstallationPlaces {
  std::string program;           // the program file (absolute)
  std::string data_home;         // $XDG_DATA_HOME
  std::string icon;              // the icon shipped with the program; "" for none
  std::string conduit_library;   // the conduit library; "" when not installed
  std::string conduit_registry;  // the HotSync host's registrations file

  // The running program's places.
  static InstallationPlaces of_this_program();
};

// What a run wrote (a file left unchanged counts as not written).
struct InstallationReport {
  bool program_values = false;
  bool mime_package = false;
  bool desktop_entry = false;
  bool icon = false;
  bool conduit = false;
};

InstallationReport register_installation(platform::SettingsStore& settings,
                                         const InstallationPlaces& places);

// The Exec value of the desktop entry: the program quoted by the desktop
// entry rules, then " -enews %f"; "" when the path cannot be written there
// (a control character).
std::string desktop_exec_line(const std::string& program);

}  // namespace wayfetch

#endif
