// How the two sides of a pipe connection meet.
#include <algorithm>
#include <chrono>

#include "delivery/pipe_session.h"
#include "platform/clock.h"

namespace wayfetch {
namespace {

// How long an opener pauses before trying again when the pipe is there but
// refused it (another opener is connected, or a block is half made): the
// block's own pause between attempts.
constexpr int32_t open_pause_ms = 29;

class Deadline {
 public:
  explicit Deadline(int32_t limit_ms)
      : end_(platform::current_clock().steady_time() + std::chrono::milliseconds(limit_ms)) {}
  // Milliseconds left, 0 once passed.
  int32_t left() const {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end_ - platform::current_clock().steady_time());
    return static_cast<int32_t>(std::max<int64_t>(0, left.count()));
  }

 private:
  platform::Clock::SteadyTime end_;
};

}  // namespace

bool PipeSession::connect() {
  return setup_.creating ? create_side() : open_side();
}

void PipeSession::take_outgoing() {
  if (outgoing_.take_outgoing(pending_)) outgoing_ended_ = true;
}

bool PipeSession::wait_for_client() {
  const Deadline deadline(setup_.limit_ms);
  while (true) {
    take_outgoing();
    const int32_t left = deadline.left();
    if (left == 0) return true;
    // The outgoing signal wakes us to take what the application queued, so
    // that its senders, which wait for the signal to clear, go on.
    switch (wait_any({stop_.handle(), client_created_.handle(), outgoing_.signal()}, left)) {
      case 0:
        return false;
      case 1:
        // Reset only once seen: the opener may have set it long before (the
        // conduit does so as soon as it has started the program).
        client_created_.reset();
        return true;
      default:
        break;
    }
  }
}

bool PipeSession::create_side() {
  if (setup_.wait_for_peer && !wait_for_client()) return false;
  // An "_errevent" left set from an earlier connection must not end this one.
  errevent_.reset();
  bool made = false;
  bool seen_end = false;
  platform::Clock::SteadyTime ended_at{};
  while (true) {
    if (!made) made = pipe_.create_blocks(setup_.name, 0, setup_.ring_capacity);
    if (made) {
      if (pipe_.wait_opened(setup_.slice_ms)) return true;
    } else if (stopping(setup_.slice_ms)) {
      return false;  // the name is held by another live creator: next slice
    }
    if (stopping(0) || errevent_.wait(0)) return false;
    take_outgoing();
    if (outgoing_ended_) {
      const auto now = platform::current_clock().steady_time();
      if (!seen_end) {
        seen_end = true;
        ended_at = now;
      }
      // Without a peer to wait for, an application that has ended its
      // queue has nothing more for this connection; otherwise the peer gets
      // the whole limit after the end.
      if (!setup_.wait_for_peer || now - ended_at >= std::chrono::milliseconds(setup_.limit_ms)) {
        return false;
      }
    }
  }
}

bool PipeSession::open_side() {
  client_created_.set();
  const Deadline deadline(setup_.limit_ms);
  while (true) {
    take_outgoing();
    if (stopping(0)) return false;
    const int32_t left = deadline.left();
    if (left == 0) break;
    if (pipe_.open(setup_.name, std::min(left, setup_.slice_ms))) return true;
    // Refused at once when another opener is connected: that connection
    // goes on undisturbed, and this opener tries again until its limit.
    if (stopping(std::min(deadline.left(), open_pause_ms))) return false;
  }
  errevent_.set();
  return false;
}

}  // namespace wayfetch
