// Pipe throughput between two processes: a DirectionalPipe (rings of 32768
// bytes unless --ring says otherwise) against a socketpair between the same
// two processes in the same run. The program starts itself as the writing
// peer; each side moves the bytes in pieces of 1 MB. Prints MB/s for both,
// their ratio, and how many waits of either side ended by their liveness
// slice instead of the other side's release (0 when healthy).
//
//   bench_pipe [--mb N] [--ring BYTES] [--rounds R]
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/directional_pipe.h"

extern char** environ;

namespace {

constexpr int32_t piece = 1 << 20;
constexpr int socket_fd = 3;  // the peer's end of the socketpair

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The peer: opens the pipe and writes `total` bytes into it, then the same
// into its end of the socketpair; reports its idle slices on the pipe.
int run_peer(const char* name, int64_t total, int rounds) {
  std::vector<uint8_t> bytes(piece, 0x5A);
  wayfetch::DirectionalPipe pipe;
  pipe.silent = true;
  if (!pipe.open(name, 10000)) return 2;
  for (int round = 0; round < rounds; ++round) {
    for (int64_t done = 0; done < total;) {
      auto length = static_cast<int32_t>(std::min<int64_t>(piece, total - done));
      if (pipe.write(bytes.data(), length) != length) return 3;
      done += length;
    }
    for (int64_t done = 0; done < total;) {
      ssize_t n = ::write(socket_fd, bytes.data(), std::min<int64_t>(piece, total - done));
      if (n <= 0) return 4;
      done += n;
    }
  }
  int64_t idle = pipe.outbound().idle_slices();
  if (::write(socket_fd, &idle, sizeof idle) != sizeof idle) return 5;
  char end = 0;
  if (::read(socket_fd, &end, 1) < 0) return 6;  // stay until the reader has finished
  return 0;
}

bool read_all_pipe(wayfetch::DirectionalPipe& pipe, std::vector<uint8_t>& bytes, int64_t total) {
  for (int64_t done = 0; done < total;) {
    auto length = static_cast<int32_t>(std::min<int64_t>(piece, total - done));
    if (pipe.read(bytes.data(), length) != length) return false;
    done += length;
  }
  return true;
}

bool read_all_socket(int fd, std::vector<uint8_t>& bytes, int64_t total) {
  for (int64_t done = 0; done < total;) {
    ssize_t n = ::read(fd, bytes.data(), std::min<int64_t>(piece, total - done));
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int64_t megabytes = 100;
  int32_t ring = 32768;
  int rounds = 3;
  if (argc == 5 && std::strcmp(argv[1], "--peer") == 0) {
    return run_peer(argv[2], std::atoll(argv[3]), std::atoi(argv[4]));
  }
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--mb") == 0) megabytes = std::atoll(argv[i + 1]);
    if (std::strcmp(argv[i], "--ring") == 0) ring = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
  }
  const int64_t total = megabytes << 20;
  const std::string name = "bench_pipe_" + std::to_string(getpid());

  int sockets[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return 1;
  std::string self = "/proc/self/exe";
  std::string total_text = std::to_string(total);
  std::string rounds_text = std::to_string(rounds);
  std::vector<char*> peer_argv{
      self.data(),       const_cast<char*>("--peer"), const_cast<char*>(name.c_str()),
      total_text.data(), rounds_text.data(),          nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, sockets[1], socket_fd);
  pid_t pid = -1;
  if (posix_spawn(&pid, self.c_str(), &actions, nullptr, peer_argv.data(), environ) != 0) {
    return 1;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(sockets[1]);

  wayfetch::DirectionalPipe pipe;
  pipe.silent = true;
  std::vector<uint8_t> bytes(piece);
  bool ok = pipe.create(name, 10000, ring);
  double best_pipe = 0;
  double best_socket = 0;
  for (int round = 0; ok && round < rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    ok = read_all_pipe(pipe, bytes, total);
    const double pipe_rate = static_cast<double>(megabytes) / seconds_since(start);
    start = std::chrono::steady_clock::now();
    ok = ok && read_all_socket(sockets[0], bytes, total);
    const double socket_rate = static_cast<double>(megabytes) / seconds_since(start);
    std::printf("round %d: pipe %.0f MB/s, socketpair %.0f MB/s\n", round + 1, pipe_rate,
                socket_rate);
    best_pipe = std::max(best_pipe, pipe_rate);
    best_socket = std::max(best_socket, socket_rate);
  }
  int64_t peer_idle = -1;
  if (ok && ::read(sockets[0], &peer_idle, sizeof peer_idle) != sizeof peer_idle) ok = false;
  char end = 0;
  if (::write(sockets[0], &end, 1) < 0) ok = false;
  int status = 0;
  waitpid(pid, &status, 0);
  if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_pipe: transfer failed (peer status %d)\n", status);
    return 1;
  }
  std::printf(
      "%lld MB, ring %d bytes, best of %d: pipe %.0f MB/s, socketpair %.0f MB/s, "
      "ratio %.2f; idle slices: reader %lld, writer %lld\n",
      static_cast<long long>(megabytes), ring, rounds, best_pipe, best_socket,
      best_pipe / best_socket, static_cast<long long>(pipe.inbound().idle_slices()),
      static_cast<long long>(peer_idle));
  return 0;
}
