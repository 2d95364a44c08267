// PipeConnection: one named pipe between two processes and the worker
// thread that moves messages over it.
//
// The program and its conduit meet on "Wayfetch_conduit_pipe"; a second
// instance forwards a subscription file to the first on
// "Wayfetch_enews_pipe". The creating side makes the pipe, the opening side
// connects to it (core/directional_pipe.h, rings of 32768 bytes). Two named
// events help them meet: the name + "_clientcreated" (the opener is about to
// open) and the name + "_errevent" (the opener gave up).
//
// Use: the application owns two MessageQueues (delivery/message_queue.h).
// It adds messages to the outgoing one and ends it when it has nothing more
// to send; it takes what the peer sent from the incoming one with take_all,
// which returns false once the peer has ended (or the connection stopped)
// and everything was taken. Then it closes the connection.
//
// The worker:
// - Creating side: with `wait_for_peer`, waits up to the peer limit (15000
//   ms) for "_clientcreated" and resets it. "_errevent" is reset before the
//   pipe is made. Then waits for the opener in slices of 173 ms; between
//   slices it takes what the application queued (sent once connected), stops
//   when "_errevent" is set, and gives up once the outgoing queue has ended
//   and either `wait_for_peer` is not set or the peer limit has passed since.
// - Opening side: sets "_clientcreated" and opens the pipe, trying again
//   within the peer limit (also while another opener holds it: a second
//   opener waits for its turn and never disturbs the connection in
//   progress); when that fails it sets "_errevent".
// - Connected: writes the messages taken, one frame each, and the end
//   marker once after the outgoing queue ended; reads frames and hands the
//   messages to the incoming queue; ends when its own end marker is written
//   and the peer's has arrived. It wakes at least every 173 ms.
//
// Whatever stops the worker (both ends done, the peer gone, a bad frame,
// "_errevent", giving up, close()), the incoming queue ends with everything
// fully received before, and the outgoing queue is shut: ended, emptied, its
// signal clear, so that neither side's waits can last for ever.
//
// Failures: a peer that dies or disconnects before its end marker, a frame
// that is too long, of an unknown kind or not exactly one message: error
// 120 (errors::pipe_lost_connection), one record unless silent. Giving up
// before a peer came and "_errevent" leave no code: the state says failed.
//
// Threads: open, close and the destructor belong to one controlling thread;
// the other operations may be called from any thread. `error` is written by
// the worker: read it once ended() is true.
#ifndef WAYFETCH_DELIVERY_PIPE_CONNECTION_H
#define WAYFETCH_DELIVERY_PIPE_CONNECTION_H

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/error_state.h"
#include "core/sync.h"
#include "core/thread.h"
#include "delivery/message_queue.h"
#include "platform/shared_memory.h"

namespace wayfetch {

class PipeConnection : public ErrorState {
 public:
  // How long either side waits for the other.
  static constexpr int32_t peer_limit_ms = 15000;
  // The worker's wait slice.
  static constexpr int32_t slice_ms = 173;
  static constexpr int32_t ring_capacity = 32768;

  enum class State { closed, starting, connected, ended, failed };

  // `limit_ms` replaces the peer limit (tests shorten it).
  explicit PipeConnection(int32_t limit_ms = peer_limit_ms,
                          platform::SharedMemorySystem& system = platform::system_shared_memory());
  ~PipeConnection() { close(); }
  PipeConnection(const PipeConnection&) = delete;
  PipeConnection& operator=(const PipeConnection&) = delete;

  // Closes what was open, clears both queues and starts the worker on
  // `pipe_name` as creating or opening side. True when the worker was
  // started. REQUIRES: both queues outlive close().
  bool open(MessageQueue& outgoing, MessageQueue& incoming, std::string_view pipe_name,
            bool creating, bool wait_for_peer);

  // Waits until `incoming` holds messages or has ended, at most `timeout_ms`
  // (-1: no limit, 0: only looks), and moves the messages to the end of
  // `list`. True when messages were moved; false when the queue has ended
  // and is empty (or nothing came in time).
  static bool take_all(MessageQueue& incoming, MessageList& list, int32_t timeout_ms = -1);

  State state() const { return state_.load(std::memory_order_acquire); }
  // Connected now: the pipe is open on both sides and the worker runs.
  bool connected() const { return state() == State::connected; }
  // The worker has stopped, for whatever reason.
  bool ended() const;
  // True once connected (also when it has ended since); false when the
  // connection failed or `timeout_ms` passed first.
  bool wait_connected(int32_t timeout_ms);
  // True once the worker has stopped, within `timeout_ms`.
  bool wait_ended(int32_t timeout_ms);

  // Stops the worker without waiting for the peer (a blocked transfer ends
  // with 120 on the peer's side), ends both queues and drops what they hold
  // (the incoming one keeps its signal set), and lets the pipe go. Returns
  // within about one slice. Does nothing when not open.
  void close();

 private:
  static uint32_t run(void* connection);
  uint32_t work();

  int32_t limit_ms_;
  platform::SharedMemorySystem* system_;
  MessageQueue* outgoing_ = nullptr;
  MessageQueue* incoming_ = nullptr;
  std::string name_;
  bool creating_ = false;
  bool wait_for_peer_ = false;
  std::atomic<State> state_{State::closed};
  Event stop_;       // set by close()
  Event connected_;  // set once connected
  Event done_;       // set when the worker has stopped
  Thread worker_{&PipeConnection::run, this};
};

}  // namespace wayfetch

#endif
