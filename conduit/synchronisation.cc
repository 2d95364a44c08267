#include "conduit/synchronisation.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "config/settings_names.h"
#include "core/sync.h"
#include "platform/clock.h"
#include "platform/launcher.h"
#include "platform/settings_store_file.h"

namespace wayfetch {
namespace {

// 1904-01-01, the handheld's epoch, in seconds since 1601-01-01.
constexpr int64_t palm_epoch_seconds = 9561628800;
constexpr int64_t file_time_per_second = 10000000;

}  // namespace

std::string Synchronisation::DeviceEntry::name() const {
  return std::string(info.name, strnlen(info.name, sizeof info.name));
}

std::unique_ptr<FileMessage> Synchronisation::DeviceEntry::message() const {
  auto message = std::make_unique<FileMessage>();
  // Database names are bytes in the handheld's Western code page.
  message->path.set_text(name(), TextEncoding::SingleByte, 1252);
  message->direction = direction;
  message->card = info.card;
  message->modified = modified;
  message->state = 0;
  return message;
}

Synchronisation::Synchronisation(const SyncManagerCalls& sync, HotSyncLogSink& log,
                                 SyncProgressCallback progress_callback)
    : sync_(sync), log_(log), progress_(progress_callback) {}

int32_t Synchronisation::run() {
  if (!start_program() || !open_pipe() || !list_handheld()) {
    connection_.close();
    log_.flush();
    return sync_err_general;
  }
  for (;;) {
    const Wait wait = wait_for_announcements();
    if (wait == Wait::timed_out) {
      log_.add("Wayfetch announced nothing for 15 minutes: the HotSync goes on without it");
      break;
    }
    MessageList announcements;
    PipeConnection::take_all(incoming_, announcements, 0);
    bool alive = true;
    for (const auto& message : announcements) {
      if (message->kind() == PipeMessage::kind_file) {
        handle(static_cast<FileMessage&>(*message));
      } else {
        log_.add("Skipped a message from Wayfetch that names no file");
      }
      log_.flush();
      alive = connection_.connected();
      if (!alive || cancelled_) break;
    }
    // A host that gave up would answer every later yield at once: no more
    // waiting then.
    if (!alive || cancelled_ || (incoming_.ended() && incoming_.size() == 0)) break;
  }
  finish();
  return sync_ok;
}

bool Synchronisation::start_program() {
  show_progress("Starting Wayfetch");
  platform::FileSettingsStore settings;
  std::string program;
  if (!settings.read_value(settings_names::program_key, settings_names::program_file, program)
           .ok() ||
      program.empty()) {
    log_.add("Wayfetch is not installed: the settings name no \"Wayfetch Exe\"");
    return false;
  }
  const platform::LaunchStatus started = platform::launch_detached(program, {"-conduit"});
  if (!started.ok()) {
    log_.add("Could not start Wayfetch: " + started.message);
    return false;
  }
  return true;
}

bool Synchronisation::open_pipe() {
  show_progress("Waiting for Wayfetch");
  if (connection_.open(outgoing_, incoming_, pipe_name, false, false) &&
      connection_.wait_connected(PipeConnection::peer_limit_ms)) {
    return true;
  }
  log_.add("Wayfetch did not answer on \"Wayfetch_conduit_pipe\"");
  return false;
}

bool Synchronisation::list_handheld() {
  show_progress("Reading the handheld's list of books");
  // Handheld dates are on the handheld's clock; the offset moves them to the
  // desktop's. Without a clock reading they are taken as they stand.
  int64_t offset = 0;
  SyncDateTime clock{};
  if (sync_.read_clock(&clock) == sync_ok) {
    const int64_t desktop_seconds =
        static_cast<int64_t>(platform::current_clock().file_time() / file_time_per_second) -
        palm_epoch_seconds;
    offset = desktop_seconds - static_cast<int64_t>(clock.palm_seconds);
  }
  if (list("LogF", "LORV", FileMessage::direction_handheld_log, offset) &&
      list("TEXt", "REAd", FileMessage::direction_ebook, offset)) {
    return true;
  }
  log_.add("Could not list the databases of the handheld");
  return false;
}

bool Synchronisation::list(const char* type, const char* creator, int32_t direction,
                           int64_t offset_seconds) {
  DeviceEntry entry;
  int32_t result = sync_.find(1, type, creator, &entry.info);
  for (; result == sync_ok; result = sync_.find(0, type, creator, &entry.info)) {
    entry.direction = direction;
    const int64_t seconds =
        palm_epoch_seconds + static_cast<int64_t>(entry.info.modification_date) + offset_seconds;
    entry.modified = static_cast<uint64_t>(std::max<int64_t>(seconds, 0)) * file_time_per_second;
    devices_.push_back(entry);
  }
  return result == sync_err_not_found;
}

Synchronisation::Wait Synchronisation::wait_for_announcements() {
  const platform::Clock& clock = platform::current_clock();
  const auto deadline = clock.steady_time() + std::chrono::milliseconds(announcement_limit_ms);
  while (incoming_.size() == 0 && !incoming_.ended()) {
    // A program that died ends the connection: no reason to wait on.
    if (!connection_.connected()) return Wait::ended;
    if (clock.steady_time() >= deadline) return Wait::timed_out;
    // The slice ends early when an announcement arrives.
    wait_any({incoming_.signal()}, slice_ms);
    log_.flush();
    if (!yield()) return Wait::cancelled;
  }
  return Wait::arrived;
}

void Synchronisation::finish() {
  if (connection_.connected()) {
    for (const DeviceEntry& device : devices_) {
      if (!device.handled) outgoing_.add(device.message());
    }
    outgoing_.end();
    // The worker writes what is queued and the end marker; the program's end
    // marker came before, or comes within the limit.
    connection_.wait_ended(PipeConnection::peer_limit_ms);
  }
  connection_.close();
  log_.flush();
}

void Synchronisation::show_progress(std::string_view text) {
  if (progress_ == nullptr) return;
  SyncProgress step{};
  step.size = sizeof step;
  step.done = steps_++;
  const std::size_t length = std::min(text.size(), sizeof step.text - 1);
  std::memcpy(step.text, text.data(), length);
  progress_(&step);
}

bool Synchronisation::yield() {
  if (sync_.yield(1) != sync_ok) cancelled_ = true;
  return !cancelled_;
}

}  // namespace wayfetch
