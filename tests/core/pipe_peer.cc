// The other process of the pipe tests (tests/core/peer_process.h). Reads one
// command per line from standard input and answers each with one line:
//   create-pipe NAME CAPACITY | open-pipe NAME       -> created | opened | failed CODE
//   create-block NAME KIND CAPACITY | open-block NAME KIND  (the same)
//   write N   (pattern bytes, continuing)            -> wrote COUNT CODE
//   read N    (checked against the pattern)          -> read COUNT CODE good|bad
//   hold-lock NAME  (takes NAME_lock and keeps it)   -> locked | failed
//   poke NAME OFFSET VALUE  (a header word of NAME)  -> poked | failed
//   idle      (waits ended by their liveness slice)  -> idle COUNT
//   close                                            -> closed
// Creates and opens wait up to 5 s. It ends at "exit" or the end of its input.
#include <algorithm>
#include <atomic>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/directional_pipe.h"
#include "tests/core/peer_process.h"

namespace {

using namespace wayfetch;
using testing::pattern_byte;

constexpr int32_t timeout_ms = 5000;

struct Peer {
  std::unique_ptr<DirectionalPipe> pipe;
  std::unique_ptr<SharedBlock> block;
  std::unique_ptr<platform::SemaphoreObject> held_lock;
  uint64_t position[2] = {0, 0};  // bytes written, read

  ErrorState& status() { return pipe ? static_cast<ErrorState&>(*pipe) : *block; }
  int32_t move(uint8_t* bytes, int32_t length, bool reading) {
    if (pipe) return reading ? pipe->read(bytes, length) : pipe->write(bytes, length);
    return reading ? block->read(bytes, length) : block->write(bytes, length);
  }

  // Moves `total` pattern bytes in pieces of 1 MB, checking what it reads.
  std::string stream(int64_t total, bool reading) {
    std::vector<uint8_t> bytes(1 << 20);
    uint64_t& at = position[reading ? 1 : 0];
    int64_t done = 0;
    bool good = true;
    while (done < total && (pipe || block)) {
      auto length = static_cast<int32_t>(std::min<int64_t>(bytes.size(), total - done));
      if (!reading) {
        for (int32_t i = 0; i < length; ++i) bytes[i] = pattern_byte(at + i);
      }
      int32_t moved = move(bytes.data(), length, reading);
      for (int32_t i = 0; reading && i < moved; ++i)
        good = good && bytes[i] == pattern_byte(at + i);
      at += static_cast<uint64_t>(moved);
      done += moved;
      if (moved < length) break;
    }
    std::string code = std::to_string(pipe || block ? status().error : -1);
    return (reading ? "read " : "wrote ") + std::to_string(done) + " " + code +
           (reading ? (good ? " good" : " bad") : "");
  }
};

std::string run(Peer& peer, const std::string& line) {
  std::istringstream in(line);
  std::string command, name;  // for read and write, `name` is the count
  int64_t number = 0;
  in >> command >> name;
  auto& system = platform::system_shared_memory();
  if (command == "create-pipe" || command == "open-pipe") {
    peer.pipe = std::make_unique<DirectionalPipe>();
    in >> number;
    bool ok = command == "create-pipe"
                  ? peer.pipe->create(name, timeout_ms, static_cast<int32_t>(number))
                  : peer.pipe->open(name, timeout_ms);
    return ok ? (command[0] == 'c' ? "created" : "opened")
              : "failed " + std::to_string(peer.pipe->error);
  }
  if (command == "create-block" || command == "open-block") {
    peer.block = std::make_unique<SharedBlock>();
    int32_t kind = 0, capacity = 0;
    in >> kind >> capacity;
    bool ok = command == "create-block" ? peer.block->create(name, kind, timeout_ms, capacity)
                                        : peer.block->open(name, kind, timeout_ms);
    return ok ? (command[0] == 'c' ? "created" : "opened")
              : "failed " + std::to_string(peer.block->error);
  }
  if (command == "write" || command == "read")
    return peer.stream(std::stoll(name), command == "read");
  if (command == "hold-lock") {
    peer.held_lock = system.open_semaphore(name + "_lock");
    return peer.held_lock != nullptr && peer.held_lock->wait(timeout_ms) ? "locked" : "failed";
  }
  if (command == "poke") {
    uint32_t value = 0;
    in >> number >> value;
    std::unique_ptr<platform::SharedMapping> mapping;
    if (system.open_mapping(name, 1 << 30, mapping) != platform::SharedResult::ok || number < 0 ||
        number % 4 != 0 || static_cast<std::size_t>(number) + 4 > mapping->size()) {
      return "failed";
    }
    std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(mapping->data() + number)).store(value);
    return "poked";
  }
  if (command == "idle") {
    return "idle " + std::to_string(peer.pipe ? peer.pipe->inbound().idle_slices() +
                                                    peer.pipe->outbound().idle_slices()
                                    : peer.block ? peer.block->idle_slices()
                                                 : 0);
  }
  if (command == "close") {
    if (peer.pipe) peer.pipe->close();
    if (peer.block) peer.block->close();
    return "closed";
  }
  return "unknown " + command;
}

}  // namespace

int main() {
  Peer peer;
  std::string line;
  while (std::getline(std::cin, line) && line != "exit") std::cout << run(peer, line) << std::endl;
  return 0;
}
