// DirectionalPipe: a two-way byte pipe between two processes, made of two
// SharedBlocks (core/shared_block.h), one per direction.
//
// The process that creates pipe P reads from block P + "R" (kind 1) and
// writes to block P + "W" (kind 0); the process that opens it reads from
// P + "W" and writes to P + "R". Reads and writes block until every byte
// has moved or the connection ends (error 120 on the block, and a smaller
// count); start_read/start_write run them on a worker thread so that the
// caller can wait for them with a time-out, together with other objects.
//
// Ownership: the pipe owns its blocks, and each block the worker thread of
// its direction. A PipeRequest belongs to the caller and must outlive the
// transfer that runs it, whose worker may still be setting its event when
// wait() returns: keep it until the pipe is closed or that direction's next
// transfer has started (both wait until the worker is done with it).
//
// Threads: create, open, start_*, close and the destructor belong to one
// controlling thread. One transfer per direction at a time: a synchronous
// read and a started read must not overlap (the same for writes).
#ifndef WAYFETCH_CORE_DIRECTIONAL_PIPE_H
#define WAYFETCH_CORE_DIRECTIONAL_PIPE_H

#include <cstdint>
#include <string_view>

#include "core/error_state.h"
#include "core/shared_block.h"
#include "core/sync.h"

namespace wayfetch {

// The caller's descriptor of one asynchronous transfer.
class PipeRequest {
 public:
  static constexpr int32_t direction_read = 1;
  static constexpr int32_t direction_write = 0;

  PipeRequest() { completion.create(); }
  PipeRequest(const PipeRequest&) = delete;
  PipeRequest& operator=(const PipeRequest&) = delete;

  int32_t length = 0;       // bytes to move
  int32_t transferred = 0;  // bytes moved, written before `completion` is set
  void* buffer = nullptr;   // `length` bytes, the caller's
  Event completion;         // manual reset; set when the transfer has ended
  int32_t direction = direction_write;
};

class DirectionalPipe : public ErrorState {
 public:
  explicit DirectionalPipe(platform::SharedMemorySystem& system = platform::system_shared_memory())
      : inbound_(system), outbound_(system) {}

  // Creates blocks name + "R" (kind 1, read from) and name + "W" (kind 0,
  // written to), each with `timeout_ms`, then waits up to `timeout_ms` until
  // the peer has opened both. False (both closed) on failure or time-out.
  bool create(std::string_view name, int32_t timeout_ms, int32_t capacity);
  // create() in two steps, so that the caller may look at other things
  // between slices of the wait: create_blocks makes both blocks (false,
  // nothing left open, on failure); wait_opened is true once the peer has
  // opened both, waiting at most `timeout_ms`. The caller closes the pipe
  // when it gives up.
  bool create_blocks(std::string_view name, int32_t timeout_ms, int32_t capacity);
  bool wait_opened(int32_t timeout_ms);
  // Opens name + "W" to read from and name + "R" to write to, each with
  // `timeout_ms`; when the second fails the first is closed. False on failure.
  bool open(std::string_view name, int32_t timeout_ms);

  // Blocking transfers on the inbound and outbound block; the count moved.
  int32_t read(void* buffer, int32_t length);
  int32_t write(const void* buffer, int32_t length);

  // Start request.length bytes of reading into (writing from) request.buffer
  // on the direction's worker thread, after waiting for that direction's
  // previous transfer to end. The worker is started with the first request
  // and kept for the next ones until close(). Return true when the worker
  // could NOT be started.
  [[nodiscard]] bool start_read(PipeRequest& request);
  [[nodiscard]] bool start_write(PipeRequest& request);
  // True when the request's transfer ended within `timeout_ms` (-1: no limit).
  bool wait(PipeRequest& request, int32_t timeout_ms);
  // True when the request has ended (not waiting) and the block of its
  // direction is still connected.
  bool request_connected(PipeRequest& request);

  // Both blocks connected.
  bool connected();
  // The bytes a read would take now without waiting.
  int32_t available() { return inbound_.available(); }
  // Closes both blocks (ending transfers in progress with 120).
  void close();

  SharedBlock& inbound() { return inbound_; }
  SharedBlock& outbound() { return outbound_; }

 private:
  bool start(PipeRequest& request, bool reading);
  // Takes over the block's error code, without logging it again.
  void adopt(const SharedBlock& block);

  SharedBlock inbound_;   // block 0
  SharedBlock outbound_;  // block 1
};

}  // namespace wayfetch

#endif
