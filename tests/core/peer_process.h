// PeerProcess: the pipe tests' other process, tests/core/pipe_peer.cc, started
// with posix_spawn. The test writes commands to its standard input and reads
// its answers, one line each, from its standard output; every read is
// bounded, and the peer is killed and reaped when the object goes, on every
// path. The byte pattern both sides write and check is here too.
#ifndef WAYFETCH_TESTS_CORE_PEER_PROCESS_H
#define WAYFETCH_TESTS_CORE_PEER_PROCESS_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace wayfetch::testing {

// The byte at position `at` of every test stream: not periodic in any ring
// size, so a byte that arrives out of place is caught.
inline uint8_t pattern_byte(uint64_t at) {
  return static_cast<uint8_t>((at * 2654435761u) >> 13);
}

class PeerProcess {
 public:
  // Starts the peer with `arguments` (the program is added in front).
  explicit PeerProcess(const std::vector<std::string>& arguments) {
    int to_child[2];
    int from_child[2];
    if (pipe2(to_child, O_CLOEXEC) != 0) return;
    if (pipe2(from_child, O_CLOEXEC) != 0) {
      ::close(to_child[0]);
      ::close(to_child[1]);
      return;
    }
    std::vector<std::string> all{WAYFETCH_PIPE_PEER};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_child[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from_child[1], 1);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(to_child[0]);
    ::close(from_child[1]);
    input_ = to_child[1];
    output_ = from_child[0];
  }
  ~PeerProcess() {
    kill();
    if (input_ >= 0) ::close(input_);
    if (output_ >= 0) ::close(output_);
  }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool started() const { return pid_ > 0; }

  // Sends one command line.
  void send(std::string_view command) {
    std::string line(command);
    line += '\n';
    if (input_ >= 0 && ::write(input_, line.data(), line.size()) < 0) {
      // a dead peer: the next answer() says so
    }
  }

  // The next line the peer writes, without its line break; "" when none
  // comes within `timeout_ms` or the peer ended.
  std::string answer(int timeout_ms = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
      std::size_t at = buffered_.find('\n');
      if (at != std::string::npos) {
        std::string line = buffered_.substr(0, at);
        buffered_.erase(0, at + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      end - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0 || output_ < 0) return "";
      pollfd fd{output_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left)) <= 0) continue;
      char bytes[512];
      ssize_t n = ::read(output_, bytes, sizeof bytes);
      if (n <= 0) return "";
      buffered_.append(bytes, static_cast<std::size_t>(n));
    }
  }

  // SIGKILL, then reaps the peer.
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffered_;
};

}  // namespace wayfetch::testing

#endif
