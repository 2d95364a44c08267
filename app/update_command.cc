#include "app/update_command.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>

#include "app/installation_session.h"
#include "app/log_records.h"
#include "app/quick_publish.h"
#include "config/application_core.h"
#include "config/non_interactive_prompts.h"
#include "core/string_table.h"
#include "platform/file_system.h"
#include "platform/settings_store_file.h"

namespace wayfetch {
namespace {

// Standard error shared by the status lines, the progress count and the
// prompts, which arrive on the update's threads. On a terminal the count
// rewrites one line; whatever else is written first ends that line.
class Console {
 public:
  explicit Console(std::FILE* err) : err_(err), terminal_(platform::is_terminal(err)) {}

  void line(const std::string& text) {
    std::lock_guard hold(mutex_);
    end_progress();
    std::fprintf(err_, "wayfetch: %s\n", text.c_str());
    std::fflush(err_);
  }
  // Text that holds its own line ends.
  void block(const std::string& text) {
    std::lock_guard hold(mutex_);
    end_progress();
    std::fputs(text.c_str(), err_);
    std::fflush(err_);
  }
  void progress(const std::string& text) {
    std::lock_guard hold(mutex_);
    if (terminal_) {
      // "\033[K" clears what a longer line before left.
      std::fprintf(err_, "\rwayfetch: %s\033[K", text.c_str());
      progress_open_ = true;
    } else {
      std::fprintf(err_, "wayfetch: %s\n", text.c_str());
    }
    std::fflush(err_);
  }
  void finish() {
    std::lock_guard hold(mutex_);
    end_progress();
    std::fflush(err_);
  }

 private:
  void end_progress() {
    if (progress_open_) std::fputc('\n', err_);
    progress_open_ = false;
  }

  std::mutex mutex_;
  std::FILE* err_;
  const bool terminal_;
  bool progress_open_ = false;
};

// The non-interactive prompts, written through the console.
class ConsolePrompts : public Prompts {
 public:
  explicit ConsolePrompts(Console& console) : console_(console) {}

  void message(int32_t text_id, PromptIcon icon) override {
    relay([&](Prompts& p) { p.message(text_id, icon); });
  }
  void message_with_text(int32_t text_id, const String& appended, PromptIcon icon) override {
    relay([&](Prompts& p) { p.message_with_text(text_id, appended, icon); });
  }
  QuestionAnswer question(int32_t text_id) override {
    QuestionAnswer answer;
    relay([&](Prompts& p) { answer = p.question(text_id); });
    return answer;
  }
  bool credentials(ProxyCredentials& credentials) override {
    bool ok = false;
    relay([&](Prompts& p) { ok = p.credentials(credentials); });
    return ok;
  }
  NewVersionChoice new_version(const String& offered) override {
    NewVersionChoice choice = NewVersionChoice::remind_later;
    relay([&](Prompts& p) { choice = p.new_version(offered); });
    return choice;
  }
  bool notice(int32_t text_id) override {
    bool ticked = false;
    relay([&](Prompts& p) { ticked = p.notice(text_id); });
    return ticked;
  }

 private:
  template <typename Ask>
  void relay(Ask ask) {
    std::ostringstream text;
    NonInteractivePrompts prompts(text);
    ask(prompts);
    console_.block(text.str());
  }

  Console& console_;
};

class ConsoleObserver : public UpdateObserver {
 public:
  explicit ConsoleObserver(Console& console) : console_(console), prompts_(console) {}

  void status(const StatusLine& line) override {
    if (line.id == strings::update_ended_in) completed_.store(true);
    if (line.id != strings::file_downloaded) {
      console_.line(line.text());
      return;
    }
    // A downloaded file: the count, with the eNews it was for.
    const int32_t range = range_.load();
    const int32_t position = position_.load();
    const std::string count = range >= position && range > 0
                                  ? std::to_string(position) + "/" + std::to_string(range)
                                  : std::to_string(position);
    console_.progress("[" + count + "] " + line.text());
  }
  void progress_range(int32_t files) override { range_.store(files); }
  void progress_position(int32_t position) override { position_.store(position); }
  Prompts& prompts() override { return prompts_; }

  bool completed() const { return completed_.load(); }

 private:
  Console& console_;
  ConsolePrompts prompts_;
  std::atomic<int32_t> range_{0};
  std::atomic<int32_t> position_{0};
  std::atomic<bool> completed_{false};
};

// An e-book file as it stands: a build replaces it with a new file.
struct BookState {
  bool exists = false;
  uint64_t written = 0;
  uintmax_t size = 0;

  static BookState of(const std::string& path) {
    BookState state;
    if (path.empty() || !platform::last_write_time(path, state.written)) return state;
    std::error_code error;
    state.size = std::filesystem::file_size(path, error);
    state.exists = !error;
    return state;
  }
  bool same_as(const BookState& other) const {
    return exists == other.exists && written == other.written && size == other.size;
  }
};

std::map<std::string, BookState> book_states(const WayfetchConfiguration& config) {
  std::map<std::string, BookState> books;
  for (int32_t i = 0; i < config.count(); ++i) {
    const std::string path = config.at(i).prc_path().to_utf8();
    if (!path.empty()) books[path] = BookState::of(path);
  }
  return books;
}

// Whether the update will want the web: an item is due, or Update all
// takes the downloads of an eNews with a selected item.
bool needs_web(const WayfetchConfiguration& config, bool all) {
  const Timestamp now = Timestamp::now();
  for (int32_t i = 0; i < config.count(); ++i) {
    const ENews& enews = config.at(i);
    if (all && !enews.oneshot && enews.has_selected_visible_item()) return true;
    for (int32_t k = 0; k < enews.item_count(); ++k) {
      if (enews.item(k).is_due(now)) return true;
    }
  }
  return false;
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace

int update_exit_code(const UpdateOutcome& outcome, std::string& reason) {
  reason.clear();
  if (outcome.stopped) {
    reason = "the update was stopped";
  } else if (!outcome.started) {
    reason = "the update could not be started";
  } else if (!outcome.completed && !outcome.went_online) {
    reason = "the update ended early: the conduit pipe could not be prepared";
  } else if (!outcome.completed) {
    reason = "the update ended early: no connection could be prepared";
  } else if (outcome.needed_web && !outcome.went_online) {
    reason = "the web was skipped (no live connection) while items were due";
  }
  if (!reason.empty()) return exit_not_run;
  if (outcome.failed.empty()) return exit_success;
  reason = "these eNews had problems: ";
  for (std::size_t i = 0; i < outcome.failed.size(); ++i) {
    reason += (i == 0 ? "" : ", ") + outcome.failed[i];
  }
  return exit_failure;
}

int run_update(const UpdateOptions& options, std::FILE* out, std::FILE* err,
               std::function<bool()> stop) {
  platform::FileSettingsStore store;
  Console console(err);
  ConsoleObserver observer(console);
  ApplicationCore core(store, observer);
  WayfetchConfiguration& config = core.configuration();
  InstallationSession session(config, err);
  if (const int code = session.open(); code != exit_success) return code;
  if (stop && stop()) return exit_not_run;
  if (!core.open_error_log()) {
    console.line("warning: the error log " + config.error_log_path().to_utf8() +
                 " cannot be written");
  }

  UpdateOutcome outcome;
  // Whether the run went online is learned from the connector it asks for:
  // the connection policy makes one only when it does not skip the web.
  std::atomic<bool> went_online{false};
  core.set_connector_factory([&went_online] {
    went_online.store(true);
    return std::make_unique<WebConnector>();
  });
  outcome.needed_web = needs_web(config, options.all);
  const std::map<std::string, BookState> before = book_states(config);

  const SyncMode mode = options.timer ? SyncMode::timer : SyncMode::user;
  if (options.all && mode == SyncMode::user) {
    outcome.started = core.update_all();
  } else {
    if (options.all) {
      // Update all as the timer would run it: the same clearing, then the
      // timer's run.
      for (int32_t i = 0; i < config.count(); ++i) {
        const ENews& enews = config.at(i);
        if (!enews.oneshot && enews.has_selected_visible_item()) (void)enews.delete_downloads();
      }
    }
    outcome.started = core.start_update(mode);
  }
  if (outcome.started) {
    while (!core.wait_for_update(50)) {
      if (!outcome.stopped && stop && stop()) {
        outcome.stopped = true;
        core.stop_update();
      }
    }
  }
  console.finish();
  outcome.stopped = outcome.stopped || (stop && stop());
  outcome.completed = observer.completed();
  outcome.went_online = went_online.load();

  // The run has ended and released the list.
  (void)core.lock_list(-1);
  std::vector<std::string> books;
  for (int32_t i = 0; i < config.count(); ++i) {
    const ENews& enews = config.at(i);
    if (enews.failed) outcome.failed.push_back(enews.title.to_utf8());
    const std::string path = enews.prc_path().to_utf8();
    if (path.empty()) continue;
    const BookState now = BookState::of(path);
    const auto earlier = before.find(path);
    if (now.exists && !enews.failed && (earlier == before.end() || !now.same_as(earlier->second))) {
      books.push_back(absolute_path(path) + " (" + std::to_string(now.size) + " bytes)");
    }
  }
  const int saved = session.save();
  core.unlock_list();

  if (ErrorLog* log = core.error_log(); log != nullptr) {
    log->flush();
    const std::string records = log_records(config.error_log_path().to_utf8());
    if (!records.empty()) console.block("wayfetch: the run's log:\n" + records);
  }
  for (const std::string& book : books) std::fprintf(out, "%s\n", book.c_str());
  std::fflush(out);

  std::string reason;
  int code = update_exit_code(outcome, reason);
  if (!reason.empty()) console.line(reason);
  if (code == exit_success && saved != exit_success) code = saved;
  return code;
}

}  // namespace wayfetch
