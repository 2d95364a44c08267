// InstallationSession: what every command that reads or changes the
// subscription list does first and last.
//
// open() makes sure the installation folder is known and exists, takes the
// installation lock ("<installation folder>/.lock", platform/file_lock.h)
// so that one writer at a time changes the list (the window's running
// instance holds the same lock), and starts the configuration as the
// program's start does (WayfetchConfiguration::start_up; the question about
// an earlier installation is answered No, as nobody can answer it). save()
// saves as the program's end does.
//
// Failures are told on `err` in one line and become exit codes:
//   another wayfetch holds the lock             exit_not_run ("another wayfetch is running")
//   no installation folder, lock file unusable  exit_not_run
//   "config.xml" invalid (115)                  exit_not_run; nothing is saved afterwards
//   a save that fails (at start-up or save())   exit_failure with message 10147's text
//
// The session holds the lock until it ends. Not thread-safe.
#ifndef WAYFETCH_APP_INSTALLATION_SESSION_H
#define WAYFETCH_APP_INSTALLATION_SESSION_H

#include <cstdio>

#include "config/wayfetch_configuration.h"
#include "platform/file_lock.h"

namespace wayfetch {

class InstallationSession {
 public:
  // `config` and `err` must outlive the session.
  InstallationSession(WayfetchConfiguration& config, std::FILE* err) : config_(config), err_(err) {}

  // Locks the installation and starts the configuration; exit_success when
  // the command may go on, else the exit code (the reason told on `err`).
  int open();
  // Saves the configuration; exit_success, or exit_failure with message
  // 10147's text when the save failed (the old "config.xml" stays whole).
  int save();

 private:
  WayfetchConfiguration& config_;
  std::FILE* err_;
  platform::FileLock lock_;
};

// Message `id` of the string table as one line on `err`: "wayfetch: <text>".
void print_message(std::FILE* err, int32_t id);

}  // namespace wayfetch

#endif
