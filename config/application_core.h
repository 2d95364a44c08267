// ApplicationCore: the program's application object without any user
// interface: the configuration and eNews list, the list lock, the job
// semaphore, the error log, the update job and its estimates.
//
// A front end (the window, the command line) creates one core, observes it
// through an UpdateObserver (config/update_observer.h) and drives it:
// start_update, stop_update, show_estimates. Each update makes its own
// WayfetchReplicator (delivery/wayfetch_replicator.h) for the handheld tools,
// the handheld log merge and its upload.
//
// The list lock (a semaphore of count 1) guards the eNews list and the
// configuration: an update holds it for its whole run; a front end changes
// the list only while it holds it, taking it with a short time-out and
// refusing with message 10135 when an update has it. The job semaphore
// (count 1) is held by a running update from its start to its end; starting
// waits at most 15 ms for it and does nothing when an update runs.
//
// An update runs on a worker thread of the core at the lowest priority (the
// steps are in config/update_run.h): it refreshes the templates of due
// eNews, announces the e-books to the conduit, rebuilds those whose
// selection changed, downloads the due ones and renders and builds each as
// soon as its download ends, learns the statistics, merges the handheld log
// copies and uploads the log. Stop aborts the update's connector: every
// request in progress and every later one fails at once, e-book builds stop
// at once (each earlier e-book stays as it was), and the run ends through
// its normal clean-up without any further request.
//
// The error log ("error_log.txt" in the installation folder) is the
// process's error sink from open_error_log() to the core's end; an update
// that goes online starts a new section of it.
//
// Threads: start_update, stop_update, wait_for_update and the destructor
// may be called from any thread but not concurrently with one another's
// start or the destructor; stop_update may be called from any thread at
// any time. configuration() and show_estimates() need the list lock.
#ifndef WAYFETCH_CONFIG_APPLICATION_CORE_H
#define WAYFETCH_CONFIG_APPLICATION_CORE_H

#include <atomic>
#include <cstdint>
#include <memory>

#include "config/connection_policy.h"
#include "config/update_estimates.h"
#include "config/update_observer.h"
#include "config/wayfetch_configuration.h"
#include "core/error_log.h"
#include "core/sync.h"
#include "core/thread.h"
#include "delivery/pipe_connection.h"
#include "platform/network_state.h"
#include "platform/settings_store.h"
#include "platform/thread_annotations.h"

namespace wayfetch {

class ApplicationCore {
 public:
  // How long starting an update waits for the job semaphore.
  static constexpr int32_t start_wait_ms = 15;
  // How long start_update waits for the list lock to store the selection
  // and save (a listener holds it only briefly); the run saves at its end
  // when this times out.
  static constexpr int32_t start_lock_ms = 1000;
  // How long Update all waits for the list lock.
  static constexpr int32_t update_all_lock_ms = 50;

  // `settings`, `observer` and `network` must outlive the core.
  ApplicationCore(platform::SettingsStore& settings, UpdateObserver& observer,
                  const platform::NetworkState& network = platform::system_network());
  // Stops a running update and waits for it.
  ~ApplicationCore();
  ApplicationCore(const ApplicationCore&) = delete;
  ApplicationCore& operator=(const ApplicationCore&) = delete;

  // REQUIRES: the list lock, or no update can run yet.
  WayfetchConfiguration& configuration() { return config_; }

  // ---- locks ----
  // True when the list lock was taken within `timeout_ms` (-1: no limit).
  bool lock_list(int32_t timeout_ms) { return list_lock_.wait(timeout_ms); }
  void unlock_list() { list_lock_.release(); }
  // Whether an update runs now (the job semaphore is held).
  bool update_running();

  // ---- the error log ----
  // Creates "error_log.txt" anew in the installation folder and makes it
  // the process's error sink; false when it cannot be created.
  bool open_error_log();
  ErrorLog* error_log() { return log_.get(); }

  // ---- the update ----
  // Starts an update in `mode` unless one runs: asks the observer to store
  // the selection, saves the configuration and starts the worker. False
  // when an update runs already or no worker could be started.
  bool start_update(SyncMode mode);
  // Update all: with the list lock (taken within update_all_lock_ms, else
  // nothing happens and false), stores the selection and, for every
  // regular eNews with a selected visible item, deletes its downloads
  // (ENews::delete_downloads), then starts an update in sync mode 0.
  bool update_all();
  // Asks the running update to stop (nothing when none runs).
  void stop_update();
  // Waits until the update started last has ended; true when it has (or
  // none was started) within `timeout_ms`.
  bool wait_for_update(int32_t timeout_ms = -1);

  // Computes the estimates over the list and shows them through the
  // observer. REQUIRES: the list lock (an update calls it holding it).
  void show_estimates();

  // Whether notice 20003 is still shown after a user's update; cleared for
  // the rest of the program's run when the person ticks "Diese Nachricht
  // nicht mehr zeigen".
  bool shows_completion_notice() const { return completion_notice_.load(); }

  // ---- for tests ----
  // How connectors are made for updates (default: a new WebConnector).
  void set_connector_factory(ConnectionPolicy::ConnectorFactory factory) {
    connector_factory_ = std::move(factory);
  }
  // The peer limit of the conduit pipe (default 15000 ms).
  void set_pipe_limit_ms(int32_t limit_ms) { pipe_limit_ms_ = limit_ms; }

 private:
  friend class UpdateRun;

  static uint32_t run_update(void* core);
  // The connector Stop aborts, published by the run between preparing and
  // closing its connection.
  void publish_connector(WebSource* connector);
  bool stop_requested() const { return stop_.load(std::memory_order_acquire); }

  WayfetchConfiguration config_;
  UpdateObserver& observer_;
  const platform::NetworkState& network_;
  Semaphore list_lock_;
  Semaphore job_;
  std::unique_ptr<ErrorLog> log_;
  std::unique_ptr<ScopedErrorSink> log_scope_;
  EstimateDisplay estimates_;
  ConnectionPolicy::ConnectorFactory connector_factory_;
  int32_t pipe_limit_ms_ = PipeConnection::peer_limit_ms;

  SyncMode mode_ = SyncMode::user;
  bool saved_at_start_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<bool> completion_notice_{true};
  platform::PlainMutex connector_mutex_;
  WebSource* connector_ WAYFETCH_GUARDED_BY(connector_mutex_) = nullptr;
  Thread worker_{&ApplicationCore::run_update, this};
};

}  // namespace wayfetch

#endif
