// Interrupt, termination and hang-up requests (SIGINT, SIGTERM, SIGHUP) for
// commands that must tidy up before they end: a command-line publish removes
// its working folder and its half-written book rather than leave them behind,
// also when the terminal it ran in is closed.
//
// While a StopSignals object lives, the three signals only record that they
// came; the command polls received() at convenient points, cleans up on its
// normal path (never inside the handler) and then calls end_as_signalled(),
// which ends the process as the signal would have (so the shell sees
// "killed by SIGTERM", status 128 + 15). A signal the process ignored on
// entry (a background job's SIGINT, SIGHUP under nohup) stays ignored. One object at a time per
// process; received() may be called from any thread.
#ifndef WAYFETCH_PLATFORM_STOP_SIGNALS_H
#define WAYFETCH_PLATFORM_STOP_SIGNALS_H

#include <signal.h>

namespace wayfetch::platform {

class StopSignals {
 public:
  // Installs the recording handlers.
  StopSignals();
  // Restores the handlers found on entry.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The first of the three signals received, 0 when none has come.
  static int received();
  // Restores the default action of `signal_number` and raises it again;
  // does not return for a signal whose default action ends the process.
  static void end_as_signalled(int signal_number);

 private:
  struct sigaction old_interrupt_ {};
  struct sigaction old_terminate_ {};
  struct sigaction old_hang_up_ {};
};

}  // namespace wayfetch::platform

#endif
