// Pipe throughput between two processes, in two parts.
//
// Bytes: a DirectionalPipe (rings of 32768 bytes unless --ring says
// otherwise) against a socketpair between the same two processes in the
// same run. Each side moves the bytes in pieces of 1 MB. Prints MB/s for
// both, their ratio, and how many waits of either side ended by their
// liveness slice instead of the other side's release (0 when healthy).
//
// Messages: --messages file messages (10000 unless said otherwise) sent by
// a PipeConnection to a PipeConnection in the other process, against the
// same frames written with DirectionalPipe::write in the same pieces
// (length word, then payload) from one thread and read the same way.
// Prints messages/s and MB/s on the wire for both, their ratio, and the
// machine's load average (other work on the machine shows in the figures).
//
// The program starts itself as the writing peer.
//
//   bench_pipe [--mb N] [--ring BYTES] [--rounds R] [--messages N]
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
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/directional_pipe.h"
#include "delivery/pipe_connection.h"
#include "delivery/pipe_frames.h"

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

// Starts this program with `arguments`, its end of a socketpair as
// descriptor 3; the process id, or -1.
pid_t spawn_self(const std::vector<std::string>& arguments, int socket) {
  std::string self = "/proc/self/exe";
  std::vector<std::string> all{self};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, socket, socket_fd);
  pid_t pid = -1;
  if (posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// ---- messages ----

// A message like those the update job announces: an e-book path in the
// data folder, its size and time.
std::unique_ptr<wayfetch::FileMessage> announced(int32_t index) {
  auto file = std::make_unique<wayfetch::FileMessage>();
  const std::string name = "News " + std::to_string(index % 97);
  file->path = wayfetch::String("/home/reader/.local/share/lorvane-wayfetch/data/" + name + "/" +
                                name + ".prc");
  file->size = 40000 + index;
  file->card = 0;
  file->modified = 126'285'497'240'000'000 + static_cast<uint64_t>(index) * 10'000'000;
  file->state = 2;
  return file;
}

// The frames of `count` messages and the end marker, as one byte stream,
// with where each frame starts.
std::vector<uint8_t> frames(int32_t count, std::vector<std::size_t>& starts) {
  std::vector<uint8_t> bytes;
  for (int32_t i = 0; i < count; ++i) {
    starts.push_back(bytes.size());
    wayfetch::FrameWriter::append(bytes, *announced(i));
  }
  starts.push_back(bytes.size());
  wayfetch::FrameWriter::append_end(bytes);
  return bytes;
}

// The peer: per round, the frames through a raw pipe (length word, then
// payload, each one write), then the messages through a connection. The
// socket byte after each part keeps both processes in step.
int run_message_peer(const char* name, int32_t count, int rounds) {
  std::vector<std::size_t> starts;
  const std::vector<uint8_t> bytes = frames(count, starts);
  char step = 0;
  for (int round = 0; round < rounds; ++round) {
    const std::string base = std::string(name) + "_" + std::to_string(round);
    {
      wayfetch::DirectionalPipe pipe;
      pipe.silent = true;
      if (!pipe.open(base + "raw", 10000)) return 2;
      for (int32_t i = 0; i <= count; ++i) {
        const uint8_t* frame = bytes.data() + starts[i];
        const auto payload = static_cast<int32_t>(
            (i < count ? starts[i + 1] : bytes.size()) - starts[i] - wayfetch::frame_length_size);
        if (pipe.write(frame, 4) != 4 || pipe.write(frame + 4, payload) != payload) return 3;
      }
      if (::read(socket_fd, &step, 1) != 1) return 4;
    }
    wayfetch::MessageList messages;
    for (int32_t i = 0; i < count; ++i) messages.push_back(announced(i));
    wayfetch::MessageQueue outgoing;
    wayfetch::MessageQueue incoming;
    wayfetch::PipeConnection connection;
    connection.silent = true;
    if (!connection.open(outgoing, incoming, base + "conn", false, false) ||
        !connection.wait_connected(10000)) {
      return 5;
    }
    for (auto& message : messages) outgoing.add(std::move(message));
    outgoing.end();
    if (!connection.wait_ended(60000) || connection.error != 0) return 6;
    connection.close();
    if (::read(socket_fd, &step, 1) != 1) return 7;
  }
  return 0;
}

struct Rates {
  double messages_per_second = 0;
  double megabytes_per_second = 0;
};

Rates rates(int32_t count, std::size_t wire_bytes, double seconds) {
  return {count / seconds, static_cast<double>(wire_bytes) / (1 << 20) / seconds};
}

int bench_messages(int32_t count, int rounds) {
  const std::string name = "bench_messages_" + std::to_string(getpid());
  std::vector<std::size_t> starts;
  const std::size_t wire_bytes = frames(count, starts).size();
  int sockets[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return 1;
  const pid_t pid = spawn_self({"--message-peer", name, std::to_string(count),
                                std::to_string(rounds)},
                               sockets[1]);
  ::close(sockets[1]);
  if (pid < 0) return 1;
  bool ok = true;
  std::vector<double> raw_rates;
  std::vector<double> connection_rates;
  Rates best_raw;
  Rates best_connection;
  std::vector<uint8_t> buffer(wayfetch::max_payload);
  const char step = 1;
  for (int round = 0; ok && round < rounds; ++round) {
    const std::string base = name + "_" + std::to_string(round);
    wayfetch::DirectionalPipe pipe;
    pipe.silent = true;
    ok = pipe.create(base + "raw", 10000, 32768);
    auto start = std::chrono::steady_clock::now();
    int32_t received = 0;
    while (ok) {
      uint8_t length_bytes[4];
      ok = pipe.read(length_bytes, 4) == 4;
      const auto length = static_cast<int32_t>(length_bytes[0] | (length_bytes[1] << 8) |
                                               (length_bytes[2] << 16) | (length_bytes[3] << 24));
      if (!ok || length == 0) break;
      ok = length <= wayfetch::max_payload && pipe.read(buffer.data(), length) == length;
      ++received;
    }
    const Rates raw = rates(count, wire_bytes, seconds_since(start));
    ok = ok && received == count && ::write(sockets[0], &step, 1) == 1;
    pipe.close();

    wayfetch::MessageQueue outgoing;
    wayfetch::MessageQueue incoming;
    wayfetch::PipeConnection connection;
    connection.silent = true;
    ok = ok && connection.open(outgoing, incoming, base + "conn", true, false) &&
         connection.wait_connected(10000);
    start = std::chrono::steady_clock::now();
    outgoing.end();
    wayfetch::MessageList got;
    std::size_t taken = 0;
    while (ok && wayfetch::PipeConnection::take_all(incoming, got, 60000)) {
      taken += got.size();
      got.clear();
    }
    const Rates piped = rates(count, wire_bytes, seconds_since(start));
    ok = ok && taken == static_cast<std::size_t>(count) && connection.wait_ended(10000) &&
         connection.error == 0;
    connection.close();
    ok = ok && ::write(sockets[0], &step, 1) == 1;
    std::printf("round %d: connection %.0f messages/s (%.1f MB/s), raw writes %.0f messages/s "
                "(%.1f MB/s)\n",
                round + 1, piped.messages_per_second, piped.megabytes_per_second,
                raw.messages_per_second, raw.megabytes_per_second);
    raw_rates.push_back(raw.messages_per_second);
    connection_rates.push_back(piped.messages_per_second);
    if (piped.messages_per_second > best_connection.messages_per_second) best_connection = piped;
    if (raw.messages_per_second > best_raw.messages_per_second) best_raw = raw;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ::close(sockets[0]);
  if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_pipe: message transfer failed (peer status %d)\n", status);
    return 1;
  }
  std::string load;
  std::getline(std::ifstream("/proc/loadavg"), load);
  auto median = [](std::vector<double>& values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  const double raw_median = median(raw_rates);
  const double connection_median = median(connection_rates);
  std::printf(
      "%d file messages (%zu bytes on the wire), best of %d: connection %.0f messages/s "
      "(%.1f MB/s), raw writes %.0f messages/s (%.1f MB/s), ratio %.2f; medians %.0f and %.0f "
      "messages/s, ratio %.2f; load average %s\n",
      count, wire_bytes, rounds, best_connection.messages_per_second,
      best_connection.megabytes_per_second, best_raw.messages_per_second,
      best_raw.megabytes_per_second,
      best_connection.messages_per_second / best_raw.messages_per_second, connection_median,
      raw_median, connection_median / raw_median, load.c_str());
  return 0;
}

int bench_bytes(int64_t megabytes, int32_t ring, int rounds) {
  const int64_t total = megabytes << 20;
  const std::string name = "bench_pipe_" + std::to_string(getpid());

  int sockets[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return 1;
  const pid_t pid =
      spawn_self({"--peer", name, std::to_string(total), std::to_string(rounds)}, sockets[1]);
  ::close(sockets[1]);
  if (pid < 0) return 1;

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
  ::close(sockets[0]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int64_t megabytes = 100;
  int32_t ring = 32768;
  int rounds = 3;
  int32_t messages = 10000;
  if (argc == 5 && std::strcmp(argv[1], "--peer") == 0) {
    return run_peer(argv[2], std::atoll(argv[3]), std::atoi(argv[4]));
  }
  if (argc == 5 && std::strcmp(argv[1], "--message-peer") == 0) {
    return run_message_peer(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  }
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--mb") == 0) megabytes = std::atoll(argv[i + 1]);
    if (std::strcmp(argv[i], "--ring") == 0) ring = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--messages") == 0) messages = std::max(0, std::atoi(argv[i + 1]));
  }
  if (megabytes > 0 && bench_bytes(megabytes, ring, rounds) != 0) return 1;
  if (messages > 0 && bench_messages(messages, rounds) != 0) return 1;
  return 0;
}
