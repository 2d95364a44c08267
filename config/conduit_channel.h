// ConduitChannel: an update's side of "Wayfetch_conduit_pipe", the pipe the
// HotSync conduit opens to learn which e-books to install and to hand back
// the handheld log.
//
// The update creates the pipe for its whole run (delivery/pipe_connection.h);
// at a HotSync the connection first waits for the conduit to arrive. A run
// without any conduit still creates it; the connection keeps what was sent
// and gives up once the run has ended its outgoing queue, so such a run
// never waits for a peer (except at a HotSync, where the peer limit holds).
//
// Sending goes one way: wait until the connection has taken what was queued
// before (the outgoing queue's signal is clear), then queue the new messages
// and signal. The wait ends too when the queue or the connection has ended
// (a conduit that died), and then nothing is sent. A stopped run does not
// wait at all, so that Stop never waits for a conduit: its messages are
// queued at once; nor does a run before a conduit has connected (the
// connection takes the queue only every slice then, and sends it in order
// once a conduit comes). The queue's signal is looked at every check_ms.
//
// What the conduit sends back (the handheld log copies) is collected once
// the run has ended its queue: collect() takes everything until the
// conduit ends (or the connection stops, or the run is stopped).
//
// One thread (the update's worker) uses a channel; `stopped` may be asked
// from it at any time and must be thread-safe.
#ifndef WAYFETCH_CONFIG_CONDUIT_CHANNEL_H
#define WAYFETCH_CONFIG_CONDUIT_CHANNEL_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "delivery/message_queue.h"
#include "delivery/pipe_connection.h"

namespace wayfetch {

class ConduitChannel {
 public:
  static constexpr std::string_view pipe_name = "Wayfetch_conduit_pipe";
  // How often a sender looks whether the connection took the last messages.
  static constexpr int32_t check_ms = 20;
  // How long a stopped run still lets a connected conduit take its last
  // reports before the pipe closes.
  static constexpr int32_t stopped_flush_ms = 1000;

  // `stopped` answers whether the run was stopped; `limit_ms` is the
  // connection's peer limit.
  explicit ConduitChannel(std::function<bool()> stopped,
                          int32_t limit_ms = PipeConnection::peer_limit_ms);
  ~ConduitChannel() { close(); }
  ConduitChannel(const ConduitChannel&) = delete;
  ConduitChannel& operator=(const ConduitChannel&) = delete;

  // Creates the pipe; with `wait_for_peer` the connection waits for the
  // conduit first. False when the connection could not be started.
  bool open(bool wait_for_peer);
  // Sends `messages` in order by the rule above; false when they were
  // dropped (the queue or connection ended).
  bool send(MessageList messages);
  bool send(std::unique_ptr<PipeMessage> message);
  // The run has nothing more to send (the end flag and its signal).
  void end();
  // Everything the conduit sent, once it has ended; after end(), also waits
  // (within the peer limit; a stopped run within stopped_flush_ms) until
  // what the run queued has gone out to a connected conduit, since a
  // conduit that ended its side first still reads it.
  MessageList collect();
  // Lets the pipe go; the queues end.
  void close();

 private:
  std::function<bool()> stopped_;
  int32_t limit_ms_;
  MessageQueue outgoing_;
  MessageQueue incoming_;
  PipeConnection connection_;
};

}  // namespace wayfetch

#endif
