#include "program/program_entry.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

#include "config/config_text.h"
#include "config/settings_names.h"
#include "config/wayfetch_configuration.h"
#include "core/sync.h"
#include "delivery/message_queue.h"
#include "delivery/pipe_connection.h"
#include "platform/file_lock.h"
#include "platform/launcher.h"
#include "platform/settings_store_file.h"
#include "platform/stop_signals.h"
#include "platform/user_folders.h"
#include "program/command_line.h"
#include "program/headless_front_end.h"
#include "program/installation_entries.h"
#include "program/single_instance.h"
#include "program/wayfetch_program.h"

namespace wayfetch {
namespace {

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_not_run = 3;

using Clock = std::chrono::steady_clock;

int64_t elapsed_ms(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

// Step 4 of a normal start: one writer of the installation at a time.
int take_installation_lock(platform::SettingsStore& settings, platform::FileLock& lock) {
  WayfetchConfiguration config(settings);
  (void)config.register_program();
  const std::string folder = config.installation_path().to_utf8();
  if (folder.empty() || !platform::make_folders(folder)) {
    std::fputs("wayfetch: the installation folder cannot be found or made\n", stderr);
    return exit_not_run;
  }
  const std::string path = folder + "/.lock";
  const Clock::time_point start = Clock::now();
  bool told = false;
  for (;;) {
    switch (lock.try_lock(path)) {
      case platform::FileLock::Result::locked:
        return exit_ok;
      case platform::FileLock::Result::failed:
        std::fprintf(stderr, "wayfetch: cannot lock %s: %s\n", path.c_str(),
                     lock.error_text().c_str());
        return exit_not_run;
      case platform::FileLock::Result::busy:
        break;
    }
    if (elapsed_ms(start) >= install_lock_wait_ms) {
      std::fputs("wayfetch: another wayfetch is running\n", stderr);
      return exit_not_run;
    }
    if (!told) {
      std::fputs("wayfetch: waiting for another wayfetch command to finish\n", stderr);
      told = true;
    }
    sleep(200);
  }
}

int run_headless(platform::SettingsStore& settings, SingleInstance& instance) {
  HeadlessFrontEnd front_end;
  WayfetchProgram program(settings, front_end);
  (void)instance.publish();
  program.initialise();
  front_end.wait();
  program.stop();
  return exit_ok;
}

int normal_start(int argc, char** argv, WindowHost* host, bool foreground) {
  platform::FileSettingsStore settings;
  (void)register_installation(settings, InstallationPlaces::of_this_program());

  SingleInstance instance;
  switch (instance.claim()) {
    case SingleInstance::Claim::running:
      (void)SingleInstance::signal_and_wait(foreground ? instance_names::front_event
                                                       : instance_names::show_event);
      return exit_ok;
    case SingleInstance::Claim::failed:
      std::fputs("wayfetch: cannot tell whether wayfetch runs already; starting\n", stderr);
      break;
    case SingleInstance::Claim::first:
      break;
  }

  platform::FileLock installation_lock;
  if (const int code = take_installation_lock(settings, installation_lock); code != exit_ok) {
    return code;
  }

  int code = exit_ok;
  {
    const platform::StopSignals signals;
    if (host != nullptr && host->available()) {
      const ProgramMaker make_program = [&settings, &instance](ProgramFrontEnd& front_end) {
        auto program = std::make_unique<WayfetchProgram>(settings, front_end);
        (void)instance.publish();
        return program;
      };
      code = host->run(argc, argv, foreground, make_program);
    } else {
      code = run_headless(settings, instance);
    }
    if (const int signal = platform::StopSignals::received(); signal != 0) {
      std::fflush(stdout);
      std::fflush(stderr);
      installation_lock.unlock();
      platform::StopSignals::end_as_signalled(signal);
    }
  }
  return code;
}

int run_conduit_start(int argc, char** argv, WindowHost* host) {
  // The event stays open (and so set) for the instance this start becomes
  // or finds.
  Event event;
  (void)event.create(instance_names::conduit_event);
  event.set();
  if (SingleInstance::find_running() != 0) {
    const Clock::time_point start = Clock::now();
    while (event.wait(0) && elapsed_ms(start) < SingleInstance::request_wait_ms) sleep(20);
    return exit_ok;
  }
  return normal_start(argc, argv, host, false);
}

}  // namespace

int forward_subscription(const std::string& given) {
  if (given.empty()) {
    std::fputs("wayfetch: -enews needs a file\n", stderr);
    return exit_failed;
  }
  const std::string path = absolute_path(given);
  Event event;
  if (!event.create(instance_names::enews_event)) return exit_failed;
  event.set();
  if (SingleInstance::find_running() == 0) {
    platform::FileSettingsStore settings;
    std::string program;
    if (!settings.read_value(settings_names::program_key, settings_names::program_file, program)
             .ok() ||
        program.empty()) {
      return exit_failed;
    }
    if (!platform::launch_detached(program, {"--hidden"}).ok()) return exit_failed;
  }

  MessageQueue outgoing;
  MessageQueue incoming;
  PipeConnection connection;
  if (!connection.open(outgoing, incoming, instance_names::enews_pipe, false, false)) {
    return exit_failed;
  }
  outgoing.add(std::make_unique<TextMessage>(config_text::utf8_text(path)));
  outgoing.end();
  // The listener resets the event when it wakes; while it serves another
  // start, the request must stand again for the next round.
  while (!connection.wait_connected(WayfetchProgram::listener_slice_ms)) {
    if (connection.ended()) return exit_failed;
    if (!event.wait(0)) event.set();
  }
  const bool ended = connection.wait_ended(WayfetchProgram::forward_text_ms);
  const bool sent =
      ended && connection.state() == PipeConnection::State::ended && connection.error == 0;
  connection.close();
  return sent ? exit_ok : exit_failed;
}

int run_program_entry(int argc, char** argv, WindowHost* host) {
  std::vector<std::string_view> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  const ProgramCommand command = parse_program_command(arguments);
  switch (command.kind) {
    case ProgramCommand::Kind::kill:
      (void)SingleInstance::end_running();
      return exit_ok;
    case ProgramCommand::Kind::conduit:
      return run_conduit_start(argc, argv, host);
    case ProgramCommand::Kind::enews:
      return forward_subscription(command.path);
    case ProgramCommand::Kind::start:
      return normal_start(argc, argv, host, true);
    case ProgramCommand::Kind::start_quiet:
    case ProgramCommand::Kind::start_hidden:
      return normal_start(argc, argv, host, false);
    case ProgramCommand::Kind::command:
      break;
  }
  std::fputs("wayfetch: a \"--\" command is not a program start\n", stderr);
  return 2;
}

}  // namespace wayfetch
