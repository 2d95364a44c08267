// The sequence of an update run and what it tells the conduit.
#include "config/update_run.h"

#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "config/config_text.h"
#include "core/string_table.h"
#include "delivery/device_tools.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

int64_t milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// An e-book as the conduit compares it: its path, size and last-write time
// (both 0 when it does not exist), direction 0, card unknown.
std::unique_ptr<FileMessage> ebook_message(const String& path, int32_t state) {
  auto message = std::make_unique<FileMessage>();
  message->path = path;
  message->direction = FileMessage::direction_ebook;
  message->card = -1;
  message->state = state;
  uint64_t written = 0;
  const std::string file = path.to_utf8();
  if (!file.empty() && platform::last_write_time(file, written)) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (!error) {
      message->size = static_cast<int32_t>(
          std::min<uintmax_t>(size, static_cast<uintmax_t>(std::numeric_limits<int32_t>::max())));
      message->modified = written;
    }
  }
  return message;
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace

UpdateRun::UpdateRun(ApplicationCore& core, SyncMode mode)
    : core_(core),
      config_(core.config_),
      observer_(core.observer_),
      mode_(mode),
      policy_(core.config_, core.observer_.prompts(), core.network_, mode),
      conduit_([&core] { return core.stop_requested(); }, core.pipe_limit_ms_) {
  if (core.connector_factory_) policy_.set_connector_factory(core.connector_factory_);
}

UpdateRun::~UpdateRun() {
  clean_up();
}

void UpdateRun::execute() {
  if (!begin()) return;
  status(mode_ == SyncMode::handheld ? strings::sync_starting : strings::update_starting);
  conduit_open_ = conduit_.open(mode_ == SyncMode::handheld);
  if (!conduit_open_) return;
  start_ = std::chrono::steady_clock::now();
  core_.show_estimates();
  make_due_list();
  if (mode_ == SyncMode::user) start_tools();
  if (!prepare_connection()) return;
  refresh_templates();
  // A stopped run asks the web nothing more.
  if (!stopped()) policy_.check_for_new_version();
  announce();
  rebuild_without_download();
  extract();
  if (mode_ == SyncMode::user) tell_problems();
  conduit_.end();
  finish_delivery();
  const int64_t seconds = milliseconds_since(start_) / 1000;
  observer_.status(StatusLine::time_line(strings::update_ended_in, seconds));
  const Timestamp last = config_.last_download_time();
  observer_.last_synchronisation(
      last.value() == Timestamp::unix_epoch ? std::nullopt : std::optional<Timestamp>(last));
}

bool UpdateRun::begin() {
  observer_.update_running(true);
  locked_ = core_.list_lock_.wait(-1);
  if (!locked_) return false;
  for (int32_t i = 0; i < config_.count(); ++i) {
    ENews& enews = config_.at(i);
    enews.failed = false;
    for (int32_t k = 0; k < enews.item_count(); ++k) enews.item(k).failed = false;
  }
  ReplicatorSetup setup;
  setup.log_path = config_.library_path().to_utf8();
  // The very path the announcement names: only that file is merged.
  setup.returned_path = log_copy_path();
  setup.device_type = config_.device_type().to_utf8();
  setup.tools = find_device_tools(config_.settings_store(), config_.installation_path().to_utf8());
  replicator_ = std::make_unique<WayfetchReplicator>(std::move(setup));
  return true;
}

UpdateRun::EnewsRun UpdateRun::due_state(const ENews& enews, Timestamp now) const {
  EnewsRun state;
  state.due.assign(static_cast<std::size_t>(enews.item_count()), false);
  state.item_files.assign(state.due.size(), 0);
  for (int32_t k = 0; k < enews.item_count(); ++k) {
    const bool due = enews.item(k).is_due(now);
    state.due[static_cast<std::size_t>(k)] = due;
    state.any_due = state.any_due || due;
  }
  // Deselecting every item asks for no book: the last one stays as it was
  // rather than be replaced by one without any item.
  state.rebuild = state.any_due || (enews.selection_changed() && enews.has_selected_visible_item());
  return state;
}

void UpdateRun::make_due_list() {
  const Timestamp now = Timestamp::now();
  enews_.clear();
  for (int32_t i = 0; i < config_.count(); ++i) {
    enews_.push_back(due_state(config_.at(i), now));
    needs_web_ = needs_web_ || enews_.back().any_due;
  }
  if (needs_web_ && core_.log_ != nullptr) core_.log_->reset();
}

void UpdateRun::start_tools() {
  // A tool that is not installed is no error: that family of handhelds is
  // simply not used here.
  (void)replicator_->sync_windows_ce();
  if (config_.settings().web_when_pda_sync == YesNo::no) (void)replicator_->start_epoc_tool();
}

bool UpdateRun::prepare_connection() {
  if (!policy_.prepare(needs_web_)) return false;
  connected_ = policy_.connected();
  if (connected_) core_.publish_connector(policy_.connector());
  return true;
}

void UpdateRun::announce() {
  MessageList list;
  for (int32_t i = 0; i < config_.count(); ++i) {
    const ENews& enews = config_.at(i);
    const EnewsRun& run = enews_[static_cast<std::size_t>(i)];
    const String path = enews.prc_path();
    int32_t state = conduit_state::to_be_built;
    if (!run.rebuild || (!connected_ && run.any_due)) {
      state = platform::is_regular_file(path.to_utf8()) ? conduit_state::not_built
                                                        : conduit_state::missing;
    }
    list.push_back(ebook_message(path, state));
  }
  auto copy = std::make_unique<FileMessage>();
  copy->path = config_text::utf8_text(log_copy_path());
  copy->direction = FileMessage::direction_handheld_log;
  copy->state = conduit_state::log_copy;
  list.push_back(std::move(copy));
  auto closing = std::make_unique<FileMessage>();
  closing->state = conduit_state::end_of_list;
  list.push_back(std::move(closing));
  conduit_.send(std::move(list));
}

void UpdateRun::report(int32_t i, int32_t state) {
  status(strings::sending_to_sync_folder);
  conduit_.send(ebook_message(config_.at(i).prc_path(), state));
}

void UpdateRun::tell_problems() {
  std::string titles;
  for (int32_t i = 0; i < config_.count(); ++i) {
    if (!config_.at(i).failed) continue;
    if (!titles.empty()) titles += ", ";
    titles += config_.at(i).title.to_utf8();
  }
  Prompts& prompts = observer_.prompts();
  if (!titles.empty()) {
    prompts.message_with_text(strings::enews_with_problems, String(titles),
                              PromptIcon::information);
  } else if (connected_ && core_.completion_notice_.load()) {
    if (prompts.notice(strings::update_finished_notice)) core_.completion_notice_.store(false);
  }
}

void UpdateRun::finish_delivery() {
  (void)replicator_->merge_returned_logs(conduit_.collect());
  // A stopped run makes no further request: the log waits for the next one.
  WebConnector* connector = policy_.connector();
  if (connected_ && !stopped() && connector != nullptr && connector->enabled()) {
    (void)replicator_->upload_log(*connector);
  }
}

void UpdateRun::clean_up() {
  if (locked_) {
    // What the run learned and built survives a later crash.
    if (config_.may_be_saved()) config_.save();
    core_.list_lock_.release();
    locked_ = false;
  }
  conduit_.close();
  core_.publish_connector(nullptr);
  policy_.close();
  observer_.update_running(false);
}

std::string UpdateRun::log_copy_path() {
  return absolute_path(config_.library_temp_path().to_utf8());
}

void UpdateRun::status(int32_t id) {
  observer_.status(StatusLine::plain_line(id));
}

}  // namespace wayfetch
