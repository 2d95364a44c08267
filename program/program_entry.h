// The program entry for every start that is not a "--" command of
// app/main.cc (docs/program.md): the command line of
// program/command_line.h, the single instance of program/single_instance.h,
// and a normal start:
//   1. the installation entries (program/installation_entries.h);
//   2. the foreground wish: not for "-m", "--hidden" and "-conduit";
//   3. an instance that runs already is asked to show itself (brought
//      forward with the wish); this start then ends with 0;
//   4. the installation lock "<installation folder>/.lock", which a
//      command-line run (--update, --subscribe...) may hold: waited for up
//      to install_lock_wait_ms with a line on standard error, then exit 3;
//   5. with a window host that is available, host->run(); else headless:
//      the program with a HeadlessFrontEnd until "-k", SIGINT, SIGTERM or SIGHUP.
// The instance publishes its id as soon as the program has opened its named
// events. A start ended by SIGINT, SIGTERM or SIGHUP ends as that signal would,
// after the program's stop.
//
// "-enews PATH" hands the file (made absolute against this start's folder)
// to the running instance over "Wayfetch_enews_pipe", first starting
// "Wayfetch Exe" of the settings with "--hidden" when none runs. It keeps
// "Wayfetch_enews_event" set while it waits its turn, so that several starts
// at once are served one after the other. Exit codes: 0 sent; 1 no instance
// could be started or reached, or the text was not sent.
// "-k": 0 always. "-conduit": 0 when an instance runs; otherwise a start.
#ifndef WAYFETCH_PROGRAM_PROGRAM_ENTRY_H
#define WAYFETCH_PROGRAM_PROGRAM_ENTRY_H

#include <cstdint>
#include <string>

#include "program/window_host.h"

namespace wayfetch {

inline constexpr int32_t install_lock_wait_ms = 30000;

// `host` may be nullptr (always headless). Returns the exit code.
int run_program_entry(int argc, char** argv, WindowHost* host);

// "-enews": forwards `path` as described above; the exit code.
int forward_subscription(const std::string& path);

}  // namespace wayfetch

#endif
