#include "core/shared_block.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#include "core/directional_pipe.h"

namespace wayfetch {
namespace {

using platform::MarkRole;
using platform::SharedResult;

constexpr int32_t offset_kind = 0;
constexpr int32_t offset_state = 4;
constexpr int32_t offset_read = 8;
constexpr int32_t offset_write = 12;
constexpr int32_t offset_capacity = 16;

constexpr uint32_t state_created = 1;
constexpr uint32_t state_connected = 2;

constexpr int32_t create_pause_ms = 37;
constexpr int32_t open_pause_ms = 29;
// A live side holds "_lock" only to read or update the header. One that
// keeps it this long while its mark says alive is stuck (or the lock was
// left taken by a process that died between two holders): the block is
// given up.
constexpr int32_t lock_limit_ms = 5000;

constexpr const char* suffix_lock = "_lock";
constexpr const char* suffix_changed = "_changed";
constexpr const char* suffix_space = "_space";

uint32_t little_endian(uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) {
    return ((value & 0xFF) << 24) | ((value & 0xFF00) << 8) | ((value >> 8) & 0xFF00) |
           (value >> 24);
  }
  return value;
}

// Header words are shared with another process: read and written whole,
// as atomics, so that no torn or cached value is ever used.
std::atomic_ref<uint32_t> word(uint8_t* base, int32_t offset) {
  return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(base + offset));
}

// Pauses of `step_ms` (or of the time-out when smaller) until they add up
// to the time-out; -1 pauses for ever.
class Pauses {
 public:
  Pauses(int32_t timeout_ms, int32_t step_ms)
      : timeout_(timeout_ms), step_(timeout_ms >= 0 ? std::min(step_ms, timeout_ms) : step_ms) {}
  // False, without pausing, once the pauses have reached the time-out.
  bool pause() {
    if (timeout_ >= 0 && spent_ >= timeout_) return false;
    sleep(step_);
    spent_ += step_;
    return true;
  }

 private:
  int32_t timeout_;
  int32_t step_;
  int64_t spent_ = 0;
};

}  // namespace

struct SharedBlock::Header {
  uint32_t kind;
  uint32_t state;
  uint32_t read;
  uint32_t write;
  uint32_t capacity;

  uint32_t available() const { return write >= read ? write - read : write + capacity - read; }
  // One byte always stays unused, so that equal indexes mean "empty".
  uint32_t free_space() const {
    return write < read ? read - write - 1 : capacity + read - write - 1;
  }
};

bool SharedBlock::create(std::string_view name, int32_t kind, int32_t timeout_ms,
                         int32_t capacity) {
  close();
  if (name.empty() || capacity < 2 || capacity > max_capacity) return false;
  Pauses pauses(timeout_ms, create_pause_ms);
  while (true) {
    Attempt attempt = try_create(name, kind, capacity);
    if (attempt == Attempt::done) return true;
    release_all();
    if (attempt == Attempt::refused || !pauses.pause()) return false;
  }
}

SharedBlock::Attempt SharedBlock::try_create(std::string_view name, int32_t kind,
                                             int32_t capacity) {
  // The creator's mark doubles as the right to the name: while another live
  // creator holds it we wait; once we hold it, whatever is left under the
  // name belongs to a creator that is gone and is made afresh.
  switch (system_->take_mark(name, MarkRole::creator, mark_)) {
    case SharedResult::ok:
      break;
    case SharedResult::busy:
      return Attempt::again;
    default:
      return Attempt::refused;
  }
  name_ = name;
  creator_ = true;
  // Until the identity is written an opener must not take an earlier
  // block's identity, left in the mark, for ours.
  if (!mark_->set_identity(0)) return Attempt::refused;
  const auto size = static_cast<std::size_t>(capacity) + header_size;
  SharedResult made = system_->create_mapping(name, size, mapping_);
  if (made == SharedResult::exists) {
    system_->remove_mapping(name);
    made = system_->create_mapping(name, size, mapping_);
  }
  if (made != SharedResult::ok || mapping_->size() != size) return Attempt::refused;
  capacity_ = static_cast<uint32_t>(capacity);
  if (!mark_->set_identity(mapping_->identity())) return Attempt::refused;
  // An opener of an earlier block of this name must not count as ours.
  system_->remove_mark(name, MarkRole::opener);
  // Left-over semaphores keep their counts ("_lock" at 1 plus the release
  // below would let both sides in at once), so the names go first.
  for (const char* suffix : {suffix_changed, suffix_lock, suffix_space}) {
    system_->remove_semaphore(name_ + suffix);
  }
  changed_ = system_->create_semaphore(name_ + suffix_changed, 0);
  lock_ = system_->create_semaphore(name_ + suffix_lock, 0);
  space_ = system_->create_semaphore(name_ + suffix_space, 0);
  if (changed_ == nullptr || lock_ == nullptr || space_ == nullptr) return Attempt::refused;
  uint8_t* base = mapping_->data();
  word(base, offset_kind).store(little_endian(static_cast<uint32_t>(kind)));
  word(base, offset_read).store(0);
  word(base, offset_write).store(0);
  word(base, offset_capacity).store(little_endian(capacity_));
  word(base, offset_state).store(little_endian(state_created));
  lock_->release();
  return Attempt::done;
}

bool SharedBlock::open(std::string_view name, int32_t expected_kind, int32_t timeout_ms) {
  close();
  if (name.empty()) return false;
  Pauses pauses(timeout_ms, open_pause_ms);
  while (true) {
    Attempt attempt = try_open(name, expected_kind);
    if (attempt == Attempt::done) return true;
    release_all();
    if (attempt == Attempt::refused || !pauses.pause()) return false;
  }
}

SharedBlock::Attempt SharedBlock::try_open(std::string_view name, int32_t expected_kind) {
  switch (
      system_->open_mapping(name, static_cast<std::size_t>(max_capacity) + header_size, mapping_)) {
    case SharedResult::ok:
      break;
    case SharedResult::missing:
      return Attempt::again;
    case SharedResult::invalid:
      raise_error(errors::pipe_lost_connection);
      return Attempt::refused;
    default:
      return Attempt::refused;
  }
  // Smaller than a header, or state 0: the creator has not finished.
  if (mapping_->size() < static_cast<std::size_t>(header_size)) return Attempt::again;
  name_ = name;
  capacity_ = static_cast<uint32_t>(mapping_->size() - header_size);
  const uint32_t peeked = load_header().state & 0xFF;
  if (peeked == 0) return Attempt::again;
  // A connected block is refused without touching the opener's mark, which
  // belongs to the side that is connected.
  if (peeked != state_created) {
    if (load_header().kind != static_cast<uint32_t>(expected_kind)) {
      raise_error(errors::pipe_same_direction);
    }
    return Attempt::refused;
  }
  changed_ = system_->open_semaphore(name_ + suffix_changed);
  lock_ = system_->open_semaphore(name_ + suffix_lock);
  space_ = system_->open_semaphore(name_ + suffix_space);
  if (changed_ == nullptr || lock_ == nullptr || space_ == nullptr) return Attempt::again;
  // Our block's creator must be alive: a block whose creator is gone (or
  // that a new creator is replacing) is waited out like one being created.
  if (!peer_alive()) return Attempt::again;
  switch (system_->take_mark(name_, MarkRole::opener, mark_)) {
    case SharedResult::ok:
      break;
    case SharedResult::busy:
      return Attempt::again;  // another opener is connecting or just left
    default:
      return Attempt::refused;
  }
  if (!take_lock(false)) return Attempt::again;
  const Header header = load_header();
  Attempt result = Attempt::refused;
  if (header.kind != static_cast<uint32_t>(expected_kind)) {
    raise_error(errors::pipe_same_direction);
  } else if ((header.state & 0xFF) == 0) {
    result = Attempt::again;
  } else if ((header.state & 0xFF) != state_created) {
    // already connected: no code
  } else if (!usable(header)) {
    raise_error(errors::pipe_lost_connection);
  } else {
    changed_->release();  // the creator's DirectionalPipe::create waits for this
    store(offset_state, state_connected);
    result = Attempt::done;
  }
  lock_->release();
  return result;
}

void SharedBlock::close() {
  if (mapping_ == nullptr) {
    stop_worker(read_worker_);
    stop_worker(write_worker_);
    return;
  }
  closing_.store(true);
  // The name goes before the disconnect: a block in state 1 whose creator
  // still lives would let a new opener connect to a side that is leaving.
  // The creator's mark, which keeps other creators off the name, is held
  // until release_all.
  if (creator_) system_->remove_mapping(name_);
  if (lock_ != nullptr && !peer_dead_.load() && take_lock(false)) {
    store(offset_state, state_created);
    lock_->release();
  }
  // Wakes whoever waits: the peer's reader or writer, and our own worker,
  // which then sees `closing_`.
  if (changed_ != nullptr) changed_->release();
  if (space_ != nullptr) space_->release();
  stop_worker(read_worker_);
  stop_worker(write_worker_);
  release_all();
}

void SharedBlock::release_all() {
  // Only a creator that held the name removes it: a busy create must leave
  // the live creator's objects alone.
  if (creator_ && mark_ != nullptr) {
    system_->remove_mapping(name_);
    for (const char* suffix : {suffix_changed, suffix_lock, suffix_space}) {
      system_->remove_semaphore(name_ + suffix);
    }
    system_->remove_mark(name_, MarkRole::opener);
    system_->remove_mark(name_, MarkRole::creator);  // before letting go of it
  }
  mapping_.reset();
  lock_.reset();
  changed_.reset();
  space_.reset();
  mark_.reset();
  creator_ = false;
  capacity_ = 0;
  name_.clear();
  closing_.store(false);
  stopped_.store(false);
  peer_dead_.store(false);
}

int32_t SharedBlock::read(void* buffer, int32_t length) {
  return transfer(static_cast<uint8_t*>(buffer), length, true);
}

int32_t SharedBlock::write(const void* buffer, int32_t length) {
  // transfer() only reads from the buffer when writing.
  return transfer(static_cast<uint8_t*>(const_cast<void*>(buffer)), length, false);
}

int32_t SharedBlock::transfer(uint8_t* buffer, int32_t length, bool reading) {
  if (length <= 0 || buffer == nullptr) return 0;
  if (mapping_ == nullptr || stopped_.load()) return lost(0);
  // Each side waits on its own semaphore: a shared one would let a side
  // take back its own release and leave both asleep on a full ring.
  platform::Waitable* wake = reading ? changed_.get() : space_.get();
  platform::SemaphoreObject* tell = reading ? space_.get() : changed_.get();
  uint8_t* ring = mapping_->data() + header_size;
  int32_t done = 0;
  while (true) {
    if (!take_lock(true)) return lost(done);
    const Header header = load_header();
    if (!usable(header)) {
      lock_->release();
      stopped_.store(true);
      return lost(done);
    }
    // After a disconnect the reader still takes what the writer put in the
    // ring before it: those bytes were reported written.
    const bool disconnected = (header.state & 0xFF) < state_connected;
    if (disconnected && !reading) {
      lock_->release();
      return lost(done);
    }
    uint32_t index = reading ? header.read : header.write;
    uint32_t left = std::min(reading ? header.available() : header.free_space(),
                             static_cast<uint32_t>(length - done));
    lock_->release();
    // The bytes are copied outside the lock: only this side moves its own
    // index, and the range was checked against the mapping above. At most
    // two pieces: up to the end of the ring, then from its start; each is
    // published under the lock and announced after it.
    while (left > 0) {
      const uint32_t piece = std::min(left, capacity_ - index);
      if (reading) {
        std::memcpy(buffer + done, ring + index, piece);
      } else {
        std::memcpy(ring + index, buffer + done, piece);
      }
      index += piece;
      if (index == capacity_) index = 0;
      // A reader has the bytes whether or not the peer is still there; a
      // writer's bytes count only once published.
      if (reading) done += static_cast<int32_t>(piece);
      if (!take_lock(true)) return lost(done);
      store(reading ? offset_read : offset_write, index);
      lock_->release();
      if (!reading) done += static_cast<int32_t>(piece);
      left -= piece;
      tell->release();
    }
    if (done == length) return done;
    if (disconnected || !wait_for_peer(wake)) return lost(done);
  }
}

int32_t SharedBlock::lost(int32_t moved) {
  raise_error(errors::pipe_lost_connection);
  return moved;
}

bool SharedBlock::connected() {
  if (mapping_ == nullptr || stopped_.load() || !take_lock(true)) return false;
  const uint32_t state = load_header().state & 0xFF;
  lock_->release();
  return state == state_connected;
}

int32_t SharedBlock::available() {
  if (mapping_ == nullptr || stopped_.load() || !take_lock(true)) return 0;
  const Header header = load_header();
  lock_->release();
  return usable(header) ? static_cast<int32_t>(header.available()) : 0;
}

bool SharedBlock::take_lock(bool honour_close) {
  int32_t waited = 0;
  while (true) {
    if (peer_dead_.load() || (honour_close && closing_.load())) return false;
    if (lock_->wait(liveness_slice_ms)) return true;
    idle_slices_.fetch_add(1, std::memory_order_relaxed);
    waited += liveness_slice_ms;
    if (!peer_alive() || waited >= lock_limit_ms) {
      peer_dead_.store(true);
      stopped_.store(true);
      return false;
    }
  }
}

bool SharedBlock::wait_for_peer(platform::Waitable* semaphore) {
  // On a busy machine the peer is often waiting for this very processor:
  // giving it up once before sleeping lets the peer move first, and saves a
  // sleep and a wake-up on both sides (about twice the throughput there).
  if (semaphore->wait(0)) return true;
  sleep(0);
  if (semaphore->wait(liveness_slice_ms)) return true;
  idle_slices_.fetch_add(1, std::memory_order_relaxed);
  if (closing_.load() || stopped_.load()) return false;
  if (!peer_alive()) {
    peer_dead_.store(true);
    stopped_.store(true);
    return false;
  }
  return true;  // look again under the lock
}

bool SharedBlock::peer_alive() {
  if (creator_) return system_->probe_mark(name_, MarkRole::opener).held;
  // The creator's mark names the mapping it made, so a new creator that
  // has taken over the name does not pass for ours.
  const platform::MarkProbe probe = system_->probe_mark(name_, MarkRole::creator);
  return probe.held && probe.identity == mapping_->identity();
}

SharedBlock::Header SharedBlock::load_header() const {
  uint8_t* base = mapping_->data();
  return {
      little_endian(word(base, offset_kind).load()), little_endian(word(base, offset_state).load()),
      little_endian(word(base, offset_read).load()), little_endian(word(base, offset_write).load()),
      little_endian(word(base, offset_capacity).load())};
}

bool SharedBlock::usable(const Header& header) const {
  return header.capacity == capacity_ && header.read < capacity_ && header.write < capacity_;
}

void SharedBlock::store(int32_t offset, uint32_t value) {
  word(mapping_->data(), offset).store(little_endian(value));
}

bool SharedBlock::post(PipeRequest& request, bool reading) {
  Worker& worker = reading ? read_worker_ : write_worker_;
  {
    // The request before may still be finishing (even this very one): its
    // event must be set before the reset below, never after.
    platform::PlainLock lock(worker.mutex);
    while (worker.busy) worker.changed.wait(worker.mutex);
  }
  request.direction = reading ? PipeRequest::direction_read : PipeRequest::direction_write;
  request.completion.reset();
  if (worker.thread.handle() == nullptr) {
    worker.thread.set_routine(reading ? &SharedBlock::run_read : &SharedBlock::run_write, this);
    if (worker.thread.start()) return true;
  }
  platform::PlainLock lock(worker.mutex);
  worker.posted = &request;
  worker.busy = true;
  worker.changed.notify_all();
  return false;
}

void SharedBlock::stop_worker(Worker& worker) {
  if (worker.thread.handle() == nullptr) return;
  {
    platform::PlainLock lock(worker.mutex);
    worker.quit = true;
    worker.changed.notify_all();
  }
  worker.thread.close();
  platform::PlainLock lock(worker.mutex);
  worker.quit = false;
}

uint32_t SharedBlock::run_read(void* block) {
  return static_cast<SharedBlock*>(block)->serve(true);
}

uint32_t SharedBlock::run_write(void* block) {
  return static_cast<SharedBlock*>(block)->serve(false);
}

uint32_t SharedBlock::serve(bool reading) {
  Worker& worker = reading ? read_worker_ : write_worker_;
  while (true) {
    PipeRequest* request = nullptr;
    {
      platform::PlainLock lock(worker.mutex);
      while (worker.posted == nullptr && !worker.quit) worker.changed.wait(worker.mutex);
      // A request posted just before close() still runs (and ends at once
      // with 120), so that whoever waits for its event is not left waiting.
      if (worker.posted == nullptr) return 0;
      request = worker.posted;
      worker.posted = nullptr;
    }
    request->transferred =
        transfer(static_cast<uint8_t*>(request->buffer), request->length, reading);
    request->completion.set();
    platform::PlainLock lock(worker.mutex);
    worker.busy = false;
    worker.changed.notify_all();
  }
}

}  // namespace wayfetch
