// The other process of the pipe tests (tests/core/peer_process.h). Reads one
// command per line from standard input and answers each with one line:
//   create-pipe NAME CAPACITY TIMEOUT   -> created | failed CODE
//   open-pipe NAME TIMEOUT              -> opened | failed CODE
//   create-block NAME KIND CAPACITY TIMEOUT -> created | failed CODE
//   open-block NAME KIND TIMEOUT        -> opened | failed CODE
//   write N   (pattern bytes, continuing) -> wrote COUNT CODE
//   read N    (checked against the pattern) -> read COUNT CODE good|bad
//   hold-lock NAME  (takes NAME_lock and keeps it) -> locked | failed
//   poke NAME OFFSET VALUE  (a 32-bit word of block NAME) -> poked | failed
//   idle      -> idle COUNT (waits ended by their liveness slice)
//   close     -> closed
// It ends at "exit" or at the end of its input.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/directional_pipe.h"
#include "core/shared_block.h"
#include "platform/shared_memory.h"
#include "tests/core/peer_process.h"

namespace {

using wayfetch::DirectionalPipe;
using wayfetch::SharedBlock;
using wayfetch::testing::pattern_byte;

constexpr int32_t chunk = 1 << 20;

struct Peer {
  std::unique_ptr<DirectionalPipe> pipe;
  std::unique_ptr<SharedBlock> block;
  std::unique_ptr<wayfetch::platform::SemaphoreObject> held_lock;
  uint64_t written = 0;
  uint64_t read = 0;

  wayfetch::ErrorState& status() {
    return pipe ? static_cast<wayfetch::ErrorState&>(*pipe) : *block;
  }
  int32_t move(uint8_t* bytes, int32_t length, bool reading) {
    if (pipe) return reading ? pipe->read(bytes, length) : pipe->write(bytes, length);
    if (block) return reading ? block->read(bytes, length) : block->write(bytes, length);
    return 0;
  }

  std::string write_bytes(int64_t total) {
    std::vector<uint8_t> bytes(chunk);
    int64_t done = 0;
    while (done < total) {
      auto length = static_cast<int32_t>(std::min<int64_t>(chunk, total - done));
      for (int32_t i = 0; i < length; ++i) bytes[i] = pattern_byte(written + i);
      int32_t moved = move(bytes.data(), length, false);
      written += static_cast<uint64_t>(moved);
      done += moved;
      if (moved < length) break;
    }
    return "wrote " + std::to_string(done) + " " + std::to_string(status().error);
  }

  std::string read_bytes(int64_t total) {
    std::vector<uint8_t> bytes(chunk);
    int64_t done = 0;
    bool good = true;
    while (done < total) {
      auto length = static_cast<int32_t>(std::min<int64_t>(chunk, total - done));
      int32_t moved = move(bytes.data(), length, true);
      for (int32_t i = 0; i < moved; ++i) good = good && bytes[i] == pattern_byte(read + i);
      read += static_cast<uint64_t>(moved);
      done += moved;
      if (moved < length) break;
    }
    return "read " + std::to_string(done) + " " + std::to_string(status().error) +
           (good ? " good" : " bad");
  }
};

std::string outcome(bool ok, const char* success, const wayfetch::ErrorState& status) {
  return ok ? success : "failed " + std::to_string(status.error);
}

std::string run(Peer& peer, const std::string& line) {
  std::istringstream in(line);
  std::string command, name;
  in >> command;
  auto& system = wayfetch::platform::system_shared_memory();
  if (command == "create-pipe" || command == "open-pipe") {
    int32_t capacity = 0, timeout = 0;
    in >> name;
    if (command == "create-pipe") in >> capacity;
    in >> timeout;
    peer.pipe = std::make_unique<DirectionalPipe>();
    bool ok = command == "create-pipe" ? peer.pipe->create(name, timeout, capacity)
                                       : peer.pipe->open(name, timeout);
    return outcome(ok, command == "create-pipe" ? "created" : "opened", *peer.pipe);
  }
  if (command == "create-block" || command == "open-block") {
    int32_t kind = 0, capacity = 0, timeout = 0;
    in >> name >> kind;
    if (command == "create-block") in >> capacity;
    in >> timeout;
    peer.block = std::make_unique<SharedBlock>();
    bool ok = command == "create-block" ? peer.block->create(name, kind, timeout, capacity)
                                        : peer.block->open(name, kind, timeout);
    return outcome(ok, command == "create-block" ? "created" : "opened", *peer.block);
  }
  if (command == "write" || command == "read") {
    int64_t total = 0;
    in >> total;
    return command == "write" ? peer.write_bytes(total) : peer.read_bytes(total);
  }
  if (command == "hold-lock") {
    in >> name;
    peer.held_lock = system.open_semaphore(name + "_lock");
    return peer.held_lock != nullptr && peer.held_lock->wait(5000) ? "locked" : "failed";
  }
  if (command == "poke") {
    int32_t offset = 0;
    uint32_t value = 0;
    in >> name >> offset >> value;
    std::unique_ptr<wayfetch::platform::SharedMapping> mapping;
    if (system.open_mapping(name, 1 << 30, mapping) != wayfetch::platform::SharedResult::ok ||
        offset < 0 || static_cast<std::size_t>(offset) + 4 > mapping->size()) {
      return "failed";
    }
    std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(mapping->data() + offset)).store(value);
    return "poked";
  }
  if (command == "idle") {
    int64_t idle = peer.pipe ? peer.pipe->inbound().idle_slices() + peer.pipe->outbound().idle_slices()
                   : peer.block ? peer.block->idle_slices()
                                : 0;
    return "idle " + std::to_string(idle);
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
  while (std::getline(std::cin, line) && line != "exit") {
    std::cout << run(peer, line) << std::endl;
  }
  return 0;
}
