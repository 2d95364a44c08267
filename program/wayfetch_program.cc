#include "program/wayfetch_program.h"

#include <chrono>
#include <optional>

#include "config/connection_policy.h"
#include "config/policy_conversion.h"
#include "core/string_table.h"
#include "delivery/device_tools.h"
#include "delivery/message_queue.h"
#include "delivery/pipe_connection.h"
#include "platform/network_state.h"
#include "platform/stop_signals.h"
#include "program/single_instance.h"

namespace wayfetch {
namespace {

using Clock = std::chrono::steady_clock;

int64_t elapsed_ms(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// Waits for the first of `events` that has a handle (a named event that
// could not be opened is left out, so a wait never fails at once and spins).
// The index into `events`, or -1 on time-out.
int32_t wait_for(std::initializer_list<const Event*> events, int32_t timeout_ms) {
  std::vector<WaitHandle> handles;
  std::vector<int32_t> index;
  int32_t i = 0;
  for (const Event* event : events) {
    if (event->handle() != nullptr) {
      handles.push_back(event->handle());
      index.push_back(i);
    }
    ++i;
  }
  const int32_t woke = wait_any(handles, timeout_ms);
  return woke < 0 ? -1 : index[static_cast<std::size_t>(woke)];
}

}  // namespace

WayfetchProgram::WayfetchProgram(platform::SettingsStore& settings, ProgramFrontEnd& front_end)
    : settings_(settings), front_end_(front_end), core_(settings, front_end) {
  stop_event_.create();
  // Opened now, before the instance publishes its id (program/single_instance.h).
  listening_ = enews_event_.create(instance_names::enews_event);
  listening_ = conduit_event_.create(instance_names::conduit_event) && listening_;
  listening_ = show_event_.create(instance_names::show_event) && listening_;
  listening_ = front_event_.create(instance_names::front_event) && listening_;
  listening_ = exit_event_.create(instance_names::exit_event) && listening_;
  listening_ = epoc_event_.create(instance_names::epoc_event) && listening_;
}

WayfetchProgram::~WayfetchProgram() {
  stop();
}

void WayfetchProgram::initialise() {
  if (initialised_ || stopped_) return;
  initialised_ = true;
  WayfetchConfiguration& config = core_.configuration();
  Prompts& prompts = front_end_.prompts();

  // The log is there before the configuration is read, so that what goes
  // wrong while reading it is written down.
  (void)config.register_program();
  (void)core_.open_error_log();
  WayfetchConfiguration::Startup startup;
  {
    ConnectionPolicy policy(config, prompts, platform::system_network());
    PolicyConversionConnection connection(policy);
    startup =
        config.start_up([&prompts](int32_t id) { return prompts.question(id).yes; }, &connection);
  }
  if (!startup.ok) {
    // Neither read nor found: the program runs with what it has and must
    // not save over a file it could not read.
    config.set_may_be_saved(false);
    prompts.message(strings::invalid_configuration, PromptIcon::stop);
  } else if (startup.message != 0) {
    prompts.message(startup.message, PromptIcon::stop);
  }

  const Timestamp last = config.last_download_time();
  front_end_.last_synchronisation(
      last.value() == Timestamp::unix_epoch ? std::nullopt : std::optional<Timestamp>(last));
  front_end_.list_changed();
  if (core_.lock_list(-1)) {
    core_.show_estimates();
    core_.unlock_list();
  }

  // Thread::start answers true when it could NOT start: the program then
  // runs without that thread.
  (void)timer_.start();
  (void)subscription_listener_.start();
  (void)conduit_listener_.start();
  (void)request_listener_.start();
}

void WayfetchProgram::stop() {
  if (stopped_) return;
  stopped_ = true;
  if (!initialised_) return;
  // A running update goes first: it holds the list, and a listener may be
  // about to start one.
  core_.stop_update();
  (void)core_.wait_for_update(stop_update_wait_ms);
  stop_event_.set();
  timer_.close();
  subscription_listener_.close();
  conduit_listener_.close();
  request_listener_.close();
  core_.stop_update();
  (void)core_.wait_for_update(stop_update_wait_ms);

  if (!core_.lock_list(stop_lock_wait_ms)) return;
  front_end_.store_selection();
  const int32_t message = core_.configuration().save_at_exit();
  core_.unlock_list();
  if (message != 0) front_end_.prompts().message(message, PromptIcon::stop);
}

uint32_t WayfetchProgram::run_timer(void* program) {
  auto& self = *static_cast<WayfetchProgram*>(program);
  while (!self.stop_event_.wait(self.timer_period_ms_)) {
    (void)self.core_.start_update(SyncMode::timer);
  }
  return 0;
}

uint32_t WayfetchProgram::run_conduit_listener(void* program) {
  auto& self = *static_cast<WayfetchProgram*>(program);
  for (;;) {
    const int32_t woke = wait_for({&self.stop_event_, &self.conduit_event_}, -1);
    if (woke == 0) break;
    if (woke != 1) continue;
    self.conduit_event_.reset();
    (void)self.core_.start_update(SyncMode::handheld);
  }
  return 0;
}

uint32_t WayfetchProgram::run_request_listener(void* program) {
  auto& self = *static_cast<WayfetchProgram*>(program);
  bool signal_told = false;
  for (;;) {
    const int32_t woke = wait_for({&self.stop_event_, &self.exit_event_, &self.show_event_,
                                   &self.front_event_, &self.epoc_event_},
                                  listener_slice_ms);
    if (woke == 0) break;
    switch (woke) {
      case 1:
        self.exit_event_.reset();
        self.front_end_.exit_requested();
        break;
      case 2:
        self.show_event_.reset();
        self.front_end_.show_requested(false);
        break;
      case 3:
        self.front_event_.reset();
        self.front_end_.show_requested(true);
        break;
      case 4:
        self.epoc_event_.reset();
        self.epoc_connection();
        break;
      default:
        break;
    }
    // A termination request ends the program as Exit does, whatever shows it.
    if (!signal_told && platform::StopSignals::received() != 0) {
      signal_told = true;
      self.front_end_.exit_requested();
    }
  }
  return 0;
}

void WayfetchProgram::epoc_connection() {
  std::string tool;
  if (!core_.lock_list(ApplicationCore::start_lock_ms)) return;
  WayfetchConfiguration& config = core_.configuration();
  const bool wanted = config.settings().web_when_pda_sync != YesNo::no;
  if (wanted) tool = find_device_tools(settings_, config.installation_path().to_utf8()).epoc_tool;
  core_.unlock_list();
  if (wanted) (void)start_device_tool(tool, {std::string(DeviceTools::epoc_argument)});
}

uint32_t WayfetchProgram::run_subscription_listener(void* program) {
  auto& self = *static_cast<WayfetchProgram*>(program);
  for (;;) {
    const int32_t woke = wait_for({&self.stop_event_, &self.enews_event_}, listener_slice_ms);
    if (woke == 0) break;
    if (woke == 1) {
      // Reset before the pipe is made: a start that sets it from now on is
      // served by the next round, never lost.
      self.enews_event_.reset();
      for (const String& path : self.receive_forwarded()) {
        const std::string file = path.to_utf8();
        // A relative path would be read against our folder, not the sender's.
        if (!file.starts_with('/') || !self.core_.configuration().queue_description_file(path)) {
          self.front_end_.prompts().message_with_text(strings::not_a_subscription, path,
                                                      PromptIcon::stop);
          continue;
        }
        self.pending_.push_back(path);
      }
    }
    if (!self.pending_.empty()) self.add_pending();
  }
  return 0;
}

std::vector<String> WayfetchProgram::receive_forwarded() {
  std::vector<String> paths;
  MessageQueue outgoing;
  MessageQueue incoming;
  PipeConnection connection(forward_connect_ms);
  if (!connection.open(outgoing, incoming, instance_names::enews_pipe, true, false)) return paths;
  // The creating side gives up once its outgoing queue has ended: it stays
  // open until the forwarding start has connected.
  const Clock::time_point start = Clock::now();
  while (!connection.wait_connected(listener_slice_ms)) {
    if (connection.ended() || stop_event_.wait(0) || elapsed_ms(start) >= forward_connect_ms) {
      break;
    }
  }
  outgoing.end();
  MessageList messages;
  if (connection.wait_connected(0)) {
    const Clock::time_point connected = Clock::now();
    while (!stop_event_.wait(0) && elapsed_ms(connected) < forward_text_ms) {
      (void)PipeConnection::take_all(incoming, messages, listener_slice_ms);
      if (incoming.ended() && incoming.size() == 0) break;
    }
    // The peer's end marker may arrive before ours is written: closing at
    // once would leave the sender without it, and it would report failure.
    (void)connection.wait_ended(forward_end_ms);
  }
  connection.close();
  for (const auto& message : messages) {
    if (message->kind() == PipeMessage::kind_text) {
      paths.push_back(static_cast<const TextMessage&>(*message).text);
    }
  }
  return paths;
}

void WayfetchProgram::add_pending() {
  // At once or not now: an update holds the list for its whole run, and the
  // texts wait in the queue meanwhile.
  if (!core_.lock_list(0)) return;
  WayfetchConfiguration& config = core_.configuration();
  const WayfetchConfiguration::AddResult result = config.add_queued();
  if (result.added > 0 && config.may_be_saved()) (void)config.save();
  core_.unlock_list();
  for (std::size_t i = 0; i < result.texts.size(); ++i) {
    if (result.texts[i].failure == WayfetchConfiguration::AddFailure::none) {
      front_end_.status(StatusLine::plain_line(strings::subscription_saved));
    } else {
      front_end_.prompts().message_with_text(strings::not_a_subscription,
                                             i < pending_.size() ? pending_[i] : String(),
                                             PromptIcon::stop);
    }
  }
  pending_.clear();
  if (result.added > 0) front_end_.list_changed();
}

}  // namespace wayfetch
