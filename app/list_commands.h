// The subscription list from the command line:
//   wayfetch --subscribe FILE.enews...      add subscriptions from description files
//   wayfetch --list                         show every eNews, its items and its e-book
//   wayfetch --select NAME [ITEM...]        select items (all visible ones when none named)
//   wayfetch --deselect NAME [ITEM...]      deselect them
//   wayfetch --unsubscribe NAME             delete the eNews's folder and entry
//
// Each command but --list works in an InstallationSession
// (app/installation_session.h): it holds the installation lock for its
// whole run, starts the configuration as the program does and saves it
// before it ends; a save that fails gives message 10147's text and exit 1,
// and the old "config.xml" stays whole. Every name is checked before
// anything changes, so an unknown name (exit 1) changes nothing. Names are
// looked up in the list (ASCII case ignored), never used as paths; the
// folder an eNews's files live in is made from its stored name only.
//
// --list reads "config.xml" as it stands, without the lock (the file is
// replaced whole, never rewritten in place), writes nothing and opens no
// error log: it can watch an update that runs.
//
// Results go to `out` (--subscribe: "NAME FOLDER" per eNews added; --list:
// the list), messages to `err`. The return value is the exit code. Not
// thread-safe: one command per process.
#ifndef WAYFETCH_APP_LIST_COMMANDS_H
#define WAYFETCH_APP_LIST_COMMANDS_H

#include <cstdio>
#include <string>
#include <vector>

namespace wayfetch {

int run_subscribe(const std::vector<std::string>& files, std::FILE* out, std::FILE* err);
int run_list(std::FILE* out, std::FILE* err);
// --select (`selected` true) and --deselect.
int run_select(const std::string& name, const std::vector<std::string>& items, bool selected,
               std::FILE* err);
int run_unsubscribe(const std::string& name, std::FILE* err);

}  // namespace wayfetch

#endif
