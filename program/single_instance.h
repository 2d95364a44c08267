// SingleInstance: one running wayfetch per user, and how later starts reach
// it.
//
// The running instance holds an exclusive flock on "wayfetch.lock" in the
// user's runtime folder (platform/named_objects.h) and writes its process id
// into it once it listens for requests: the instance opens its named events
// first, so that a request set by a short-lived process is never lost (a
// named event forgets its state when its last holder closes it). A later
// start looks at the lock (probe), waits up to ten seconds for the id of a
// holder that has not published it yet, and asks through the named events:
//   "Wayfetch_show_event"   show the window, not brought forward ("-m")
//   "Wayfetch_front_event"  show it and bring it forward (a plain start)
//   "Wayfetch_exit_event"   end the program ("-k")
// The asking side keeps its event open until the instance has reset it (at
// most ten seconds).
//
// "-k" never signals a stale id: it opens the process by id (pidfd) first,
// then checks that the lock is still held with the same id and that the
// process runs this program file, and only then asks; a process that has not
// ended two seconds later gets SIGTERM, one more second later SIGKILL.
//
// Not thread-safe; one object per process.
#ifndef WAYFETCH_PROGRAM_SINGLE_INSTANCE_H
#define WAYFETCH_PROGRAM_SINGLE_INSTANCE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/instance_lock.h"

namespace wayfetch {

namespace instance_names {
inline constexpr std::string_view show_event = "Wayfetch_show_event";
inline constexpr std::string_view front_event = "Wayfetch_front_event";
inline constexpr std::string_view exit_event = "Wayfetch_exit_event";
inline constexpr std::string_view conduit_event = "Wayfetch_conduit_event";
inline constexpr std::string_view enews_event = "Wayfetch_enews_event";
inline constexpr std::string_view enews_pipe = "Wayfetch_enews_pipe";
inline constexpr std::string_view epoc_event = "Wayfetch_epoc_connection";
}  // namespace instance_names

class SingleInstance {
 public:
  // How long a later start waits for the id, and for its request to be taken.
  static constexpr int32_t request_wait_ms = 10000;
  // "-k": the wait for a polite end, then for the end after SIGTERM.
  static constexpr int32_t exit_wait_ms = 2000;
  static constexpr int32_t terminate_wait_ms = 1000;

  enum class Claim {
    first,    // this process is the instance now (publish once listening)
    running,  // another instance runs (its id is `running_id()`)
    failed,   // no runtime folder or lock file: run without the test
  };

  // "<runtime folder>/wayfetch.lock", "" without a runtime folder.
  static std::string lock_path();

  // Takes the lock, or finds the instance that holds it (waiting up to
  // request_wait_ms for a holder without an id).
  Claim claim();
  // Writes this process's id into the lock: from now on later starts ask us.
  bool publish();
  int32_t running_id() const { return running_id_; }

  // The id of the running instance, waiting up to `wait_ms` for a holder to
  // publish it; 0 when none runs.
  static int32_t find_running(int32_t wait_ms = request_wait_ms);
  // Sets the named event `name` and keeps it open until it is reset or
  // `wait_ms` passed; true when it was reset (taken).
  static bool signal_and_wait(std::string_view name, int32_t wait_ms = request_wait_ms);
  // "-k": ends the running instance as described above; true when one was
  // found and has ended.
  static bool end_running();

 private:
  platform::InstanceLock lock_;
  int32_t running_id_ = 0;
};

}  // namespace wayfetch

#endif
