#include "config/application_core.h"

#include <utility>

#include "config/update_run.h"
#include "platform/threads.h"

namespace wayfetch {

ApplicationCore::ApplicationCore(platform::SettingsStore& settings, UpdateObserver& observer,
                                 const platform::NetworkState& network)
    : config_(settings), observer_(observer), network_(network) {
  list_lock_.create(1);
  job_.create(1);
}

ApplicationCore::~ApplicationCore() {
  stop_update();
  worker_.close();
  // The sink goes back before the log it names is destroyed.
  log_scope_.reset();
  log_.reset();
}

bool ApplicationCore::update_running() {
  if (!job_.wait(0)) return true;
  job_.release();
  return false;
}

bool ApplicationCore::open_error_log() {
  const String path = config_.error_log_path();
  if (path.empty()) return false;
  auto log = std::make_unique<ErrorLog>(path, true);
  if (!log->is_open()) return false;
  log_scope_.reset();
  log_ = std::move(log);
  log_scope_ = std::make_unique<ScopedErrorSink>(log_.get());
  return true;
}

bool ApplicationCore::start_update(SyncMode mode) {
  if (!job_.wait(start_wait_ms)) return false;
  // The last run released the semaphore as its final step: its thread has
  // returned or is about to.
  worker_.close();
  mode_ = mode;
  stop_.store(false, std::memory_order_release);
  saved_at_start_ = false;
  if (list_lock_.wait(start_lock_ms)) {
    observer_.store_selection();
    // A configuration that could not be read is kept as it is on disk.
    if (config_.may_be_saved()) saved_at_start_ = config_.save();
    list_lock_.release();
  }
  if (worker_.start()) {
    job_.release();
    return false;
  }
  return true;
}

bool ApplicationCore::update_all() {
  if (!list_lock_.wait(update_all_lock_ms)) return false;
  observer_.store_selection();
  for (int32_t i = 0; i < config_.count(); ++i) {
    const ENews& enews = config_.at(i);
    if (!enews.oneshot && enews.has_selected_visible_item()) (void)enews.delete_downloads();
  }
  list_lock_.release();
  return start_update(SyncMode::user);
}

void ApplicationCore::stop_update() {
  stop_.store(true, std::memory_order_release);
  platform::PlainLock hold(connector_mutex_);
  if (connector_ != nullptr) connector_->abort_all();
}

bool ApplicationCore::wait_for_update(int32_t timeout_ms) {
  if (worker_.handle() == nullptr) return true;
  return worker_.wait(timeout_ms);
}

void ApplicationCore::show_estimates() {
  estimates_.show(compute_estimates(config_, Timestamp::now()), observer_);
}

void ApplicationCore::publish_connector(WebSource* connector) {
  platform::PlainLock hold(connector_mutex_);
  connector_ = connector;
  // A Stop that came before the connector existed takes effect now.
  if (connector_ != nullptr && stop_requested()) connector_->abort_all();
}

uint32_t ApplicationCore::run_update(void* argument) {
  auto& core = *static_cast<ApplicationCore*>(argument);
  // Downloads, rendering and building yield to everything else on the
  // machine; the threads the run starts inherit the priority.
  (void)platform::lower_current_thread_priority();
  {
    UpdateRun run(core, core.mode_);
    run.execute();
  }
  core.job_.release();
  return 0;
}

}  // namespace wayfetch
