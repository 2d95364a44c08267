// Quick publish from the command line: "wayfetch --publish SOURCE [TARGET]"
// makes the e-book of one local HTML or text page, as the main window's
// Quick publish dialog does: compressed, with the notice page, the title
// taken from the page's file name.
//
// Messages are English and go to `err`; the e-book's path and size go to
// `out`, and the converter's progress lines too when `out` is a terminal.
// Not thread-safe (one publish at a time per process is expected).
#ifndef WAYFETCH_APP_QUICK_PUBLISH_H
#define WAYFETCH_APP_QUICK_PUBLISH_H

#include <cstdio>
#include <functional>
#include <string>

#include "ebook/page_publishing.h"

namespace wayfetch {

// Exit codes of the command line.
inline constexpr int exit_success = 0;
inline constexpr int exit_failure = 1;  // the e-book could not be made
inline constexpr int exit_usage = 2;    // the command line is wrong
// The work could not be done at all: another wayfetch holds the installation,
// "config.xml" is invalid, the conduit pipe or a needed connection could not
// be had, the web was skipped while items were due, or the run was stopped.
inline constexpr int exit_not_run = 3;

// The e-book's name comes from quick_publish_target (ebook/page_publishing.h).

// Publishes `source` into the target; returns the exit code. `stop` (may be
// empty) is asked while the book is made; once it answers true the publish
// ends without a book or working files left behind and without a message
// (the caller knows why), and the result is exit_failure.
int run_quick_publish(const std::string& source, const std::string& target, std::FILE* out,
                      std::FILE* err, std::function<bool()> stop = {});

}  // namespace wayfetch

#endif
