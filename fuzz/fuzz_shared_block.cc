// A shared block whose header and ring are fuzzer bytes, read and written
// through SharedBlock while the fuzzer plays the other side in the same
// process (platform/fake_shared_memory.h): it writes any header word, moves
// its own index, holds the lock. Its mark says dead once connected, so a
// transfer that would wait ends at once. Each result is checked against a
// model of the block: the count, the bytes, the indexes, the error, and
// whether the block has stopped. The ring is a heap buffer of the mapping's
// exact size, so AddressSanitizer sees any copy that leaves it.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/shared_block.h"
#include "platform/fake_shared_memory.h"

namespace {

using wayfetch::SharedBlock;
using wayfetch::platform::FakeSharedMemory;
using wayfetch::platform::MarkRole;

constexpr char name[] = "fuzz";
constexpr int32_t header = SharedBlock::header_size;

void check(bool condition) {
  if (!condition) std::abort();
}

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | byte();
    return value;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

class Harness {
 public:
  explicit Harness(Input& in) : in_(in) {}

  // Makes the block, as creator or opener; false when nothing is to follow.
  bool connect() {
    const uint8_t setup = in_.byte();
    creator_ = (setup & 1) != 0;
    const int32_t kind = (setup >> 1) & 1;
    capacity_ = 2 + static_cast<int32_t>(in_.byte() | (in_.byte() << 8)) % 300;
    block_ = std::make_unique<SharedBlock>(system_);
    block_->silent = true;
    if (creator_) {
      check(block_->create(name, kind, 0, capacity_));
      object_ = system_.object(name);
      if ((setup & 0x18) != 0) set(1, 2);  // the fuzzer's side connects
      system_.set_mark(name, MarkRole::opener, false, 0);
      return true;
    }
    std::size_t size = static_cast<std::size_t>(capacity_) + header;
    if ((setup & 0xE0) == 0) size = in_.byte();  // any size, also below a header
    std::unique_ptr<wayfetch::platform::SharedMapping> mapping;
    if (system_.create_mapping(name, size, mapping) != wayfetch::platform::SharedResult::ok) {
      return false;
    }
    object_ = system_.object(name);
    for (auto& byte : object_->bytes) byte = in_.byte();
    const bool plausible = (setup & 0x18) != 0;
    if (plausible && size > static_cast<std::size_t>(header)) {
      set(0, static_cast<uint32_t>(kind));
      set(1, 1);
      set(4, static_cast<uint32_t>(size - header));
      set(2, get(2) % (static_cast<uint32_t>(size - header)));
      set(3, get(3) % (static_cast<uint32_t>(size - header)));
    }
    system_.create_semaphore(std::string(name) + "_changed", 0);
    system_.create_semaphore(std::string(name) + "_lock", 1);
    system_.create_semaphore(std::string(name) + "_space", 0);
    system_.set_mark(name, MarkRole::creator, true, object_->identity);
    const bool connectable = size >= static_cast<std::size_t>(header) && usable() &&
                             get(0) == static_cast<uint32_t>(kind) && (get(1) & 0xFF) == 1;
    const bool opened = block_->open(name, kind, 0);
    check(opened == connectable);
    if (opened) check(get(1) == 2 && system_.count(std::string(name) + "_changed") == 1);
    system_.set_mark(name, MarkRole::creator, false, object_->identity);
    return opened;
  }

  void run() {
    while (!in_.empty()) {
      block_->clear_status();
      switch (in_.byte() % 7) {
        case 0:
          set(in_.byte() % 5, in_.word());
          break;
        case 1:
          peer_moves(true);
          break;
        case 2:
          peer_moves(false);
          break;
        case 3:
          transfer(true);
          break;
        case 4:
          transfer(false);
          break;
        case 5:
          toggle_lock();
          break;
        default:
          check(block_->connected() == expect_connected());
          break;
      }
    }
    if (peer_holds_lock_) toggle_lock();
    block_->close();
    if (creator_) check(system_.object(name) == nullptr);
  }

 private:
  uint32_t get(int index) {
    return std::atomic_ref<uint32_t>(
               *reinterpret_cast<uint32_t*>(object_->bytes.data() + 4 * index))
        .load();
  }
  void set(int index, uint32_t value) {
    std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(object_->bytes.data() + 4 * index))
        .store(value);
  }
  uint32_t ring_size() const { return static_cast<uint32_t>(object_->bytes.size() - header); }
  bool usable() { return get(4) == ring_size() && get(2) < ring_size() && get(3) < ring_size(); }
  uint8_t& ring(uint32_t at) { return object_->bytes[header + at]; }

  // The fuzzer's side adds bytes (as a writer) or takes them (as a reader),
  // by the rules, when the header lets it.
  void peer_moves(bool adds) {
    const uint32_t count = in_.byte();
    if (!usable()) return;
    const uint32_t size = ring_size(), read = get(2), write = get(3);
    const uint32_t available = write >= read ? write - read : write + size - read;
    if (adds) {
      const uint32_t n = std::min(count, size - 1 - available);
      for (uint32_t i = 0; i < n; ++i) ring((write + i) % size) = in_.byte();
      set(3, (write + n) % size);
    } else {
      set(2, (read + std::min(count, available)) % size);
    }
  }

  void toggle_lock() {
    auto lock = system_.open_semaphore(std::string(name) + "_lock");
    check(peer_holds_lock_ ? lock->release() : lock->wait(0));
    peer_holds_lock_ = !peer_holds_lock_;
  }

  // Whatever stops the block also makes connected() false.
  bool expect_connected() {
    if (stopped_) return false;
    if (peer_holds_lock_) return stopped_ = true, false;
    return (get(1) & 0xFF) == 2;
  }

  void transfer(bool reading) {
    const int32_t length = static_cast<int32_t>(in_.byte()) * ((in_.byte() & 3) + 1);
    std::vector<uint8_t> buffer(static_cast<std::size_t>(length));
    for (auto& byte : buffer) byte = in_.byte();
    const std::vector<uint8_t> before = buffer;
    const std::vector<uint8_t> ring_before = object_->bytes;
    const uint32_t read = get(2), write = get(3), state = get(1);
    const bool valid = usable();
    const int32_t moved =
        reading ? block_->read(buffer.data(), length) : block_->write(buffer.data(), length);
    if (length == 0) {
      check(moved == 0 && block_->error == 0);
      return;
    }
    if (stopped_ || peer_holds_lock_ || !valid) {
      check(moved == 0 && block_->error == wayfetch::errors::pipe_lost_connection);
      check(buffer == before && object_->bytes == ring_before);
      stopped_ = true;
      return;
    }
    const bool disconnected = (state & 0xFF) < 2;
    const uint32_t size = ring_size();
    const uint32_t available = write >= read ? write - read : write + size - read;
    const uint32_t ready = reading ? available : size - 1 - available;
    const int32_t expected =
        disconnected && !reading ? 0 : static_cast<int32_t>(std::min<uint32_t>(ready, length));
    check(moved == expected);
    for (int32_t i = 0; i < moved; ++i) {
      const uint32_t at = ((reading ? read : write) + static_cast<uint32_t>(i)) % size;
      check(reading ? buffer[i] == ring(at) : ring(at) == before[i]);
    }
    const uint32_t index = ((reading ? read : write) + static_cast<uint32_t>(moved)) % size;
    check(get(reading ? 2 : 3) == index && get(reading ? 3 : 2) == (reading ? write : read));
    if (moved == length) {
      check(block_->error == 0);
      return;
    }
    check(block_->error == wayfetch::errors::pipe_lost_connection);
    if (!disconnected) stopped_ = true;  // it waited, and found the peer dead
  }

  Input& in_;
  FakeSharedMemory system_;
  std::unique_ptr<SharedBlock> block_;
  std::shared_ptr<FakeSharedMemory::Object> object_;
  bool creator_ = false;
  int32_t capacity_ = 0;
  bool stopped_ = false;
  bool peer_holds_lock_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  Harness harness(in);
  if (harness.connect()) harness.run();
  return 0;
}
