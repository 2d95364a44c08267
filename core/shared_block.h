// SharedBlock: a one-way byte ring in named shared memory, between two
// processes (or two threads) of the same user.
//
// One side creates the block, the other opens it; one of them only writes,
// the other only reads. The layout (a 20-byte header, then the ring) and the
// handshake are in docs/shared_block.md. A block named N is the shared
// memory object N and the named semaphores N + "_lock" (the lock around the
// header), N + "_changed" (the reader's wake-up: bytes were added, the
// opener connected, or a side disconnected) and N + "_space" (the writer's
// wake-up: space was freed, or a side disconnected).
//
// Results: create/open return false on failure with nothing left open;
// read/write block until all bytes have moved and return the count moved,
// which is smaller when the connection ended (error 120); a reader still
// gets the bytes written before a disconnect. Codes: 120 "lost
// connection" (the peer disconnected or died, or its header is unusable),
// 121 (open: the block's kind is not the expected one).
//
// The header is written by another process and is never trusted: its
// capacity must equal the mapping's size less 20 and both indexes must lie
// below it each time it is read, so no copy ever leaves the mapping. A bad
// header ends the transfer like a lost peer, and the block is not used again.
//
// A dead peer is found through its mark (platform/shared_memory.h): every
// blocked wait wakes every 150 ms and tests it, so a peer that dies at any
// point, also while it holds "_lock", ends a blocked read or write with 120
// within a second. A side that finds its peer dead stops using the block
// (no further wait on "_lock"; close skips the disconnect). docs/waiting.md
// tells the mechanism.
//
// Ownership: the block owns its mapping, semaphores and mark; the creator's
// close() removes the names. The block also owns the two worker threads of
// DirectionalPipe's asynchronous transfers: each is started with the first
// request of its direction, runs the requests posted to it one at a time,
// and is joined in close().
//
// Threads: create, open, close and the destructor belong to one controlling
// thread; one thread at a time may read (or write) while that thread or a
// worker calls connected(). close() may run while a worker is blocked in a
// transfer: it ends that transfer.
#ifndef WAYFETCH_CORE_SHARED_BLOCK_H
#define WAYFETCH_CORE_SHARED_BLOCK_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/error_state.h"
#include "core/thread.h"
#include "platform/shared_memory.h"
#include "platform/thread_annotations.h"

namespace wayfetch {

class PipeRequest;

class SharedBlock : public ErrorState {
 public:
  static constexpr int32_t header_size = 20;
  // The largest ring: capacity + 20 always fits, in 32 bits and in memory.
  static constexpr int32_t max_capacity = 16 * 1024 * 1024;
  // The kinds DirectionalPipe gives its blocks ("R" and "W").
  static constexpr int32_t kind_r = 1;
  static constexpr int32_t kind_w = 0;
  // How often a blocked wait wakes up to test whether the peer lives.
  static constexpr int32_t liveness_slice_ms = 150;

  explicit SharedBlock(platform::SharedMemorySystem& system = platform::system_shared_memory())
      : system_(&system) {}
  ~SharedBlock() { close(); }
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  // Creates block `name` with a ring of `capacity` bytes (2 to max_capacity)
  // and header kind `kind`, state 1. While another live creator holds the
  // name, pauses 37 ms (or `timeout_ms` when smaller) and tries again until
  // the pauses reach `timeout_ms` (-1: for ever). A name left by a creator
  // that is gone is removed and made afresh. False on failure or time-out.
  bool create(std::string_view name, int32_t kind, int32_t timeout_ms, int32_t capacity);
  // Connects to block `name` made by another side: state 1 becomes 2 and
  // "_changed" is released once for the waiting creator. Tries again every
  // 29 ms (or `timeout_ms` when smaller) while the block is missing or still
  // being created, until the pauses reach `timeout_ms` (-1: for ever).
  // False: kind not `expected_kind` (121), already connected (no code), an
  // unusable header (120), time-out or failure (no code).
  bool open(std::string_view name, int32_t expected_kind, int32_t timeout_ms);
  // Disconnects (state 1, wakes both sides) unless the peer was found dead,
  // joins the workers and lets go of everything; the creator removes the
  // names. Does nothing when not mapped.
  void close();

  // Blocks until `length` bytes were read into `buffer` (or written from
  // it); returns the count moved, smaller when the connection ended (120).
  // 0 for a length of 0 or less.
  int32_t read(void* buffer, int32_t length);
  int32_t write(const void* buffer, int32_t length);

  // True when mapped and the state is 2 (read under the lock).
  bool connected();
  // The bytes a read would take now without waiting (also after the peer
  // disconnected); 0 when not mapped, stopped or the header is unusable.
  int32_t available();
  bool is_mapped() const { return mapping_ != nullptr; }
  bool is_creator() const { return creator_; }

  // The reader's wake-up semaphore (DirectionalPipe::create waits for the
  // opener's release of it); nullptr when not mapped.
  WaitHandle changed_handle() const { return changed_.get(); }
  // How many blocked waits ended by their liveness slice rather than by the
  // peer's release: 0 in a healthy transfer with a live peer.
  int64_t idle_slices() const { return idle_slices_.load(std::memory_order_relaxed); }

 private:
  friend class DirectionalPipe;
  struct Header;
  enum class Attempt { done, again, refused };

  Attempt try_create(std::string_view name, int32_t kind, int32_t capacity);
  Attempt try_open(std::string_view name, int32_t expected_kind);
  int32_t transfer(uint8_t* buffer, int32_t length, bool reading);
  int32_t lost(int32_t moved);
  // Takes "_lock", waking every slice to test the peer; false when the peer
  // is dead or stuck, or the block is closing (with `honour_close`).
  bool take_lock(bool honour_close);
  // Waits for `semaphore` for one slice; false when the peer is dead or the
  // block is closing.
  bool wait_for_peer(platform::Waitable* semaphore);
  bool peer_alive();
  Header load_header() const;
  bool usable(const Header& header) const;
  void store(int32_t offset, uint32_t value);
  // Lets go of everything; the creator removes the names first.
  void release_all();

  // The worker thread of one direction. A request is posted under `mutex`;
  // `busy` stays true until its completion event is set, so the next
  // request of the direction waits for the one before to end, as a newly
  // started thread per request would.
  struct Worker {
    Thread thread;
    platform::PlainMutex mutex;
    std::condition_variable_any changed;
    PipeRequest* posted WAYFETCH_GUARDED_BY(mutex) = nullptr;
    bool busy WAYFETCH_GUARDED_BY(mutex) = false;
    bool quit WAYFETCH_GUARDED_BY(mutex) = false;
  };
  // Hands `request` to the direction's worker, starting it when needed;
  // true when the worker could NOT be started.
  bool post(PipeRequest& request, bool reading);
  void stop_worker(Worker& worker);
  // The routines of the worker threads: each posted request's transfer, its
  // count stored, its event set.
  static uint32_t run_read(void* block);
  static uint32_t run_write(void* block);
  uint32_t serve(bool reading);

  platform::SharedMemorySystem* system_;
  std::string name_;
  bool creator_ = false;
  std::unique_ptr<platform::SharedMapping> mapping_;
  uint32_t capacity_ = 0;  // the mapping's size less 20: what the header must say
  std::unique_ptr<platform::SemaphoreObject> lock_;
  std::unique_ptr<platform::SemaphoreObject> changed_;
  std::unique_ptr<platform::SemaphoreObject> space_;
  std::unique_ptr<platform::HeldMark> mark_;
  // Set by whichever thread finds the peer dead or its header unusable:
  // no further transfer.
  std::atomic<bool> stopped_{false};
  // The peer is dead (or stuck holding "_lock"): no further wait on "_lock".
  std::atomic<bool> peer_dead_{false};
  // Set by close() so that a worker blocked in a transfer ends it.
  std::atomic<bool> closing_{false};
  std::atomic<int64_t> idle_slices_{0};

  Worker read_worker_;
  Worker write_worker_;
};

}  // namespace wayfetch

#endif
