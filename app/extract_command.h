// Running one eNews's extraction from the command line:
// "wayfetch --extract PATH.enews [--items LIST]", for template authors and
// for checking a template against a site.
//
// The template PATH.enews runs as the update job would run it: a fresh
// connector with the system's proxy settings, the data files written beside
// the template (PATH without ".enews", then ".data.xml" and ".data" k
// ".xml"), pictures into the same folder. The items (sections) built are
// the visible items of the file's eNews description, all of them unless
// LIST names the selected ones by number (0-based, in the description's
// order, separated by commas; "" selects none); hidden ("advert_") items
// are always built, as in the program. A template without a description
// builds every section it holds, or those LIST names.
//
// Each progress event is printed to `err` as it happens; after the run the
// error-log records the run wrote (kept in a log of its own, in a temporary
// folder) follow there as UTF-8, and the data files written are listed on
// `out`. The result is an exit code: 0 when the eNews finished without an
// error record, 1 otherwise (a template that does not exist or does not
// load included), 2 for a wrong command line (LIST not numbers, a number
// past the items, PATH without ".enews").
//
// Not thread-safe: one extraction per process at a time (it installs the
// process's error sink for its run).
#ifndef WAYFETCH_APP_EXTRACT_COMMAND_H
#define WAYFETCH_APP_EXTRACT_COMMAND_H

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace wayfetch {

// Runs the extraction of `enews_path`; `items` is LIST when given. `stop`
// (may be empty) is asked every few milliseconds; once it answers true the
// downloads are aborted and the run ends with what it has.
int run_extract(const std::string& enews_path, const std::optional<std::string>& items,
                std::FILE* out, std::FILE* err, std::function<bool()> stop = {});

}  // namespace wayfetch

#endif
