// Starting other programs: the desktop's handler for an address or a
// document (xdg-open), and tools by path or by name.
//
// A program is started with posix_spawn and an argument vector; no text ever
// goes through a shell, so an address or a file name is one argument however
// it is written. The child gets descriptors 0-2 and nothing else (every
// other descriptor is closed in the child, whatever flags its owner set), an
// empty signal mask and the default action for every signal, and the
// program's environment. With `new_session` it leads a session of its own
// (POSIX_SPAWN_SETSID), so that it outlives a host process that ends its
// session's processes.
//
// Children are reaped by a thread of this layer that waits for exactly the
// children it started (pidfd, else a look every 100 ms), so no zombie is left
// and no process-wide SIGCHLD handler is installed: the code may run inside
// a foreign process (the conduit library in a HotSync host) whose own
// children are none of our business. The thread exists only while children
// it waits for run; it is joined when the last one has ended or when the
// program (or the library) is unloaded.
//
// Failures are LaunchStatus values: a program that cannot be found or
// started (ENOENT, EACCES...) reports the error and nothing else happens;
// the launcher itself prints and logs nothing, so callers that want a
// missing tool to fail silently just ignore the status. Thread-safe.
#ifndef WAYFETCH_PLATFORM_LAUNCHER_H
#define WAYFETCH_PLATFORM_LAUNCHER_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace wayfetch::platform {

struct [[nodiscard]] LaunchStatus {
  int error = 0;            // an errno value; 0 when the program was started
  int32_t process_id = -1;  // the child's, when started
  std::string message;      // empty when ok

  bool ok() const { return error == 0; }
};

struct LaunchOptions {
  // The child starts a new session (and process group) of its own.
  bool new_session = false;
};

// Starts `program` (a path when it holds a "/", else a name looked up in
// PATH) with `arguments` as argv[1..]; argv[0] is `program`. Does not wait
// for it. EINVAL for an empty program name.
LaunchStatus launch(const std::string& program, const std::vector<std::string>& arguments,
                    const LaunchOptions& options = {});

// Starts `program` detached from this process, for code that runs inside
// a foreign host (the conduit in a HotSync host): a middle child leads a new
// session (setsid), spawns the program with `arguments` and exits at once;
// this call reaps the middle child by its id before it returns. The program
// is then nobody's child here (it is re-parented), runs in a session of its
// own, and has /dev/null as standard input, output and error, so a host
// whose output is read through a pipe still reaches its end of file. No
// thread is started and no handler installed. A program that cannot be
// started (missing, not executable) comes back through a close-on-exec pipe
// as the middle child's errno; the status then carries it. On success
// `process_id` is the program's.
LaunchStatus launch_detached(const std::string& program, const std::vector<std::string>& arguments);

// Opens an address or a document with the desktop's handler ("xdg-open").
// A target starting with "-" is refused (EINVAL): the handler would read it
// as an option.
LaunchStatus open_with_desktop(const std::string& target);

// Waits until every child started so far has ended and been reaped, at most
// `timeout`; true when none is left. For tests and orderly shutdowns.
bool wait_for_children(std::chrono::milliseconds timeout);

}  // namespace wayfetch::platform

#endif
