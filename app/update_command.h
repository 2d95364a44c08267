// "wayfetch --update [--all] [--timer]": one update of every subscribed
// eNews from the command line, a cron job or a systemd timer, through the
// same application core the window uses (config/application_core.h).
//
// The command works in an InstallationSession (app/installation_session.h):
// it holds the installation lock for its whole run, starts the
// configuration as the program does, and saves it at the end. The update
// runs in sync mode 0 (a person's Update now), or 1 with `timer` (as the
// window's 15-minute timer runs it: no handheld tools, no completion
// notice, and online only over a connection that is already live); with
// `all` it first does what Update all does: every regular eNews with a
// selected item loses its downloads, page and book, so that everything is
// fetched and built again. Questions are answered by the non-interactive
// prompts (config/non_interactive_prompts.h): a proxy asking for a password
// is cancelled, so such a proxy is given in `http_proxy` instead.
//
// Output: `out` gets only one line per e-book built in this run, as
// --publish prints it (the absolute path, a blank and "(N bytes)"). `err`
// gets the status lines, a count of downloaded files ("\r"-rewritten when
// it is a terminal, one line each otherwise), the prompts' texts and, at
// the end, the error-log records of the run as UTF-8.
//
// The exit code (update_exit_code): 0 when no eNews failed; 1 naming the
// failed eNews, or when the configuration could not be saved (message
// 10147); 3 with a line saying why when nothing could be run (another
// wayfetch holds the lock, "config.xml" is invalid), when the conduit pipe
// or a needed connection could not be prepared, when the web was skipped
// (no live connection) while items were due, or when the run was stopped.
//
// Stop: `stop` (may be empty) is asked every 50 ms while the update runs;
// once it answers true the update is stopped as by the window's Stop button
// (every request fails at once, no further request is made) and ends
// through its clean-up; the list is saved and the books built so far are
// printed. The caller then ends the process as the signal would have.
// Not thread-safe: one update command per process.
#ifndef WAYFETCH_APP_UPDATE_COMMAND_H
#define WAYFETCH_APP_UPDATE_COMMAND_H

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace wayfetch {

struct UpdateOptions {
  bool all = false;    // --all: Update all
  bool timer = false;  // --timer: run as the timer does
};

// What an update left behind, from which its exit code follows.
struct UpdateOutcome {
  bool started = false;             // the update's worker ran
  bool completed = false;           // the run reached its end (it was not cut short)
  bool went_online = false;         // the run made a connection
  bool needed_web = false;          // items were due when it started
  bool stopped = false;             // Stop was asked for
  std::vector<std::string> failed;  // titles of the eNews that failed
};

// The exit code for `outcome` and, unless it is 0, the line saying why.
int update_exit_code(const UpdateOutcome& outcome, std::string& reason);

int run_update(const UpdateOptions& options, std::FILE* out, std::FILE* err,
               std::function<bool()> stop = {});

}  // namespace wayfetch

#endif
