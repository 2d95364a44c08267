#include "config/conduit_channel.h"

#include <algorithm>
#include <utility>

#include "core/sync.h"

namespace wayfetch {

ConduitChannel::ConduitChannel(std::function<bool()> stopped, int32_t limit_ms)
    : stopped_(std::move(stopped)), limit_ms_(limit_ms), connection_(limit_ms) {}

bool ConduitChannel::open(bool wait_for_peer) {
  return connection_.open(outgoing_, incoming_, pipe_name, true, wait_for_peer);
}

bool ConduitChannel::send(MessageList messages) {
  // The connection clears the signal when it has taken what was queued; a
  // connection that stopped shuts the queue (ended, signal clear), so no
  // wait here outlasts a conduit that died.
  // A stopped run does not wait: what it still reports is queued at once.
  // Nor does a run whose conduit has not connected (none may ever come): the
  // queue keeps the order, and the connection sends it all once connected.
  while (outgoing_.signalled() && !stopped_() && connection_.connected()) {
    if (outgoing_.ended() || connection_.ended()) return false;
    sleep(check_ms);
  }
  return outgoing_.add(messages);
}

bool ConduitChannel::send(std::unique_ptr<PipeMessage> message) {
  MessageList one;
  one.push_back(std::move(message));
  return send(std::move(one));
}

void ConduitChannel::end() {
  outgoing_.end();
}

MessageList ConduitChannel::collect() {
  MessageList got;
  for (;;) {
    if (PipeConnection::take_all(incoming_, got, check_ms * 5)) continue;
    if (incoming_.ended() || stopped_()) break;
  }
  // The conduit may have ended its side before the run's last reports and
  // end marker were written; closing now would drop them. The connection
  // ends once they are out (or the peer is gone). A stopped run gives them
  // a short while only, so that Stop never waits long for a conduit.
  for (int32_t waited = 0; outgoing_.ended() && connection_.connected();
       waited += check_ms) {
    const int32_t bound = stopped_() ? std::min(limit_ms_, stopped_flush_ms) : limit_ms_;
    if (waited >= bound) break;
    sleep(check_ms);
  }
  return got;
}

void ConduitChannel::close() {
  connection_.close();
}

}  // namespace wayfetch
