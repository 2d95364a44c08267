// WayfetchProgram: the running program's lifecycle over the application
// core (config/application_core.h), whatever front end shows it (the window,
// or none: program/headless_front_end.h).
//
// Construction makes the application core with the front end as its
// observer, then the stop event and the named events other starts set
// (program/single_instance.h): the instance opens them all before it
// publishes its id, so that no request is lost.
//
// initialise() starts the program: the configuration (message 10145 and no
// save at the end when "config.xml" is invalid; the offer to convert an
// earlier installation, 10146, saved when taken), the error log, the last
// synchronisation, the list and its estimates for the front end, and four
// threads:
//   the timer            every timer period (15 minutes) an update in sync
//                        mode 1;
//   the subscription listener   wakes on "Wayfetch_enews_event" (checking
//                        the stop event every 250 ms), resets it at once,
//                        creates "Wayfetch_enews_pipe" and serves one
//                        forwarding start: each path received is added as a
//                        subscription when it is a regular file of at most
//                        4 MB holding a valid eNews (status 10129), else
//                        message 10154 with the path; the list is saved when
//                        it changed and the front end hears list_changed().
//                        A subscription that arrives while an update holds
//                        the list stays queued and is added, with its
//                        status, as soon as the list is free;
//   the conduit listener "Wayfetch_conduit_event": reset, an update in sync
//                        mode 2;
//   the request listener the show, front and exit events of later starts
//                        (show_requested, exit_requested), the handheld
//                        connection notice "Wayfetch_epoc_connection" (the
//                        EPOC tool unless web-when-pda-sync is "no"), and
//                        SIGINT/SIGTERM/SIGHUP recorded by
//                        platform/stop_signals.h (exit_requested, once).
//
// stop() ends it: a running update is stopped and waited for (bounded), the
// stop event set and the threads joined, then, under the list lock, the
// front end's check marks are stored and the configuration saved unless it
// was invalid (message 10147 with the stop icon when that fails).
// Idempotent; the destructor calls it.
//
// Threads: construct, initialise, stop and destroy on one thread (the front
// end's); core() may be used from any thread as ApplicationCore allows.
#ifndef WAYFETCH_PROGRAM_WAYFETCH_PROGRAM_H
#define WAYFETCH_PROGRAM_WAYFETCH_PROGRAM_H

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "config/application_core.h"
#include "core/sync.h"
#include "core/thread.h"
#include "program/front_end.h"

namespace wayfetch {

class WayfetchProgram {
 public:
  static constexpr int32_t timer_period_ms = 900000;
  static constexpr int32_t listener_slice_ms = 250;
  // How long the subscription listener waits for its peer, then for its text.
  static constexpr int32_t forward_connect_ms = 15000;
  static constexpr int32_t forward_text_ms = 30000;
  // How long it lets the conversation end on its own before closing it.
  static constexpr int32_t forward_end_ms = 2000;
  // How long stop() waits for a running update, then for the list lock.
  static constexpr int32_t stop_update_wait_ms = 30000;
  static constexpr int32_t stop_lock_wait_ms = 5000;

  // `settings` and `front_end` must outlive the program.
  WayfetchProgram(platform::SettingsStore& settings, ProgramFrontEnd& front_end);
  ~WayfetchProgram();
  WayfetchProgram(const WayfetchProgram&) = delete;
  WayfetchProgram& operator=(const WayfetchProgram&) = delete;

  ApplicationCore& core() { return core_; }
  // Whether every named event could be opened (later starts can reach us).
  bool listening() const { return listening_; }

  // Tests shorten the timer. REQUIRES: before initialise().
  void set_timer_period_ms(int32_t period_ms) { timer_period_ms_ = period_ms; }

  void initialise();
  void stop();

 private:
  static uint32_t run_timer(void* program);
  static uint32_t run_subscription_listener(void* program);
  static uint32_t run_conduit_listener(void* program);
  static uint32_t run_request_listener(void* program);

  // One forwarding start's conversation on the pipe; the paths received.
  std::vector<String> receive_forwarded();
  // Adds the queued subscriptions when the list lock is free at once and
  // tells the front end about each of `pending_` (emptied then).
  void add_pending();
  void epoc_connection();

  platform::SettingsStore& settings_;
  ProgramFrontEnd& front_end_;
  ApplicationCore core_;
  Event stop_event_;
  Event enews_event_;
  Event conduit_event_;
  Event show_event_;
  Event front_event_;
  Event exit_event_;
  Event epoc_event_;
  bool listening_ = false;
  int32_t timer_period_ms_ = timer_period_ms;
  bool initialised_ = false;
  bool stopped_ = false;
  std::vector<String> pending_;  // paths queued, not yet added (the listener's)
  Thread timer_{&WayfetchProgram::run_timer, this};
  Thread subscription_listener_{&WayfetchProgram::run_subscription_listener, this};
  Thread conduit_listener_{&WayfetchProgram::run_conduit_listener, this};
  Thread request_listener_{&WayfetchProgram::run_request_listener, this};
};

}  // namespace wayfetch

#endif
