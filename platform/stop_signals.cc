#include "platform/stop_signals.h"

#include <atomic>

namespace wayfetch::platform {
namespace {

// Written by the handler: a lock-free atomic is async-signal-safe.
std::atomic<int> received_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void record_signal(int signal_number) {
  int none = 0;
  received_signal.compare_exchange_strong(none, signal_number);
}

void install(int signal_number, struct sigaction& old) {
  struct sigaction action {};
  action.sa_handler = record_signal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking read or wait returns early with EINTR, so the
  // command gets to look at the flag sooner.
  action.sa_flags = 0;
  if (sigaction(signal_number, nullptr, &old) != 0) return;
  if (old.sa_handler == SIG_IGN) return;  // ignored on entry: leave it so
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

StopSignals::StopSignals() {
  received_signal.store(0);
  install(SIGINT, old_interrupt_);
  install(SIGTERM, old_terminate_);
  install(SIGHUP, old_hang_up_);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &old_interrupt_, nullptr);
  sigaction(SIGTERM, &old_terminate_, nullptr);
  sigaction(SIGHUP, &old_hang_up_, nullptr);
}

int StopSignals::received() {
  return received_signal.load();
}

void StopSignals::end_as_signalled(int signal_number) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal_number);
}

}  // namespace wayfetch::platform
