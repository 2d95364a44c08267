// The built wayfetch run as a real process in a private installation: its
// XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR in a test's folder,
// no proxy from the environment, standard output and error caught in
// files. Every run is bounded in time: one that outlives its limit is
// killed and reported as such.
#ifndef WAYFETCH_TESTS_APP_PROGRAM_PROCESS_H
#define WAYFETCH_TESTS_APP_PROGRAM_PROCESS_H

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace wayfetch::testing {

struct ProgramResult {
  int status = -1;  // the exit status, 128 + the signal that ended it, -1 when killed at its limit
  std::string out;
  std::string err;
};

class ProgramProcess {
 public:
  // `folder` holds config/, data/ and run/; `program` is the executable.
  ProgramProcess(std::string program, const std::string& folder)
      : program_(std::move(program)), folder_(folder) {
    std::filesystem::create_directories(config_dir() + "/lorvane-wayfetch");
    std::filesystem::create_directories(data_dir());
    std::filesystem::create_directories(folder_ + "/run");
    std::filesystem::permissions(folder_ + "/run", std::filesystem::perms::owner_all);
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      std::string lower = name;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      // The program runs headless here: no display reaches it.
      const bool display =
          name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM";
      if (lower.find("proxy") == std::string::npos && !name.starts_with("XDG_") && !display) {
        environment_.push_back(entry);
      }
    }
    environment_.push_back("XDG_CONFIG_HOME=" + config_dir());
    environment_.push_back("XDG_DATA_HOME=" + data_dir());
    environment_.push_back("XDG_RUNTIME_DIR=" + folder_ + "/run");
  }

  std::string config_dir() const { return folder_ + "/config"; }
  std::string data_dir() const { return folder_ + "/data"; }
  std::string installation() const { return data_dir() + "/lorvane-wayfetch"; }

  // Starts `wayfetch ARGS...`; with `shell` set, `/bin/sh -c SHELL` gets the
  // program and ARGS as "$0" "$@" (to set limits before it runs). The
  // process id, or -1.
  pid_t start(const std::vector<std::string>& args, const std::string& shell = "") {
    std::vector<std::string> argv;
    if (!shell.empty()) argv = {"/bin/sh", "-c", shell};
    argv.push_back(program_);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> arg_pointers;
    for (std::string& a : argv) arg_pointers.push_back(a.data());
    arg_pointers.push_back(nullptr);
    std::vector<char*> env_pointers;
    for (std::string& e : environment_) env_pointers.push_back(e.data());
    env_pointers.push_back(nullptr);

    const int n = next_++;
    Output output{folder_ + "/out" + std::to_string(n), folder_ + "/err" + std::to_string(n)};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, output.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, arg_pointers.data(),
                    env_pointers.data()) != 0) {
      pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (pid > 0) outputs_.emplace_back(pid, output);
    return pid;
  }

  // Waits at most `limit` for `pid` to end; kills it when it does not.
  ProgramResult wait(pid_t pid, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    ProgramResult result;
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (done == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    } else if (done == pid) {
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    for (const auto& [id, output] : outputs_) {
      if (id != pid) continue;
      result.out = read_bytes(output.out);
      result.err = read_bytes(output.err);
    }
    return result;
  }

  ProgramResult run(const std::vector<std::string>& args, const std::string& shell = "") {
    const pid_t pid = start(args, shell);
    return pid > 0 ? wait(pid) : ProgramResult{};
  }

 private:
  struct Output {
    std::string out;
    std::string err;
  };

  std::string program_;
  std::string folder_;
  std::vector<std::string> environment_;
  std::vector<std::pair<pid_t, Output>> outputs_;
  int next_ = 0;
};

}  // namespace wayfetch::testing

#endif
