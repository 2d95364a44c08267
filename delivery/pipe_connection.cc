#include "delivery/pipe_connection.h"

#include "delivery/pipe_session.h"

namespace wayfetch {

PipeConnection::PipeConnection(int32_t limit_ms, platform::SharedMemorySystem& system)
    : limit_ms_(limit_ms), system_(&system) {
  stop_.create();
  connected_.create();
  done_.create();
}

bool PipeConnection::open(MessageQueue& outgoing, MessageQueue& incoming,
                          std::string_view pipe_name, bool creating, bool wait_for_peer) {
  close();
  clear_status();
  outgoing.clear();
  incoming.clear();
  outgoing_ = &outgoing;
  incoming_ = &incoming;
  name_ = pipe_name;
  creating_ = creating;
  wait_for_peer_ = creating && wait_for_peer;
  stop_.reset();
  connected_.reset();
  done_.reset();
  state_.store(State::starting, std::memory_order_release);
  if (worker_.start()) {
    // Nobody will ever serve the queues: their waits must not last for ever.
    incoming.end();
    outgoing.shut();
    state_.store(State::failed, std::memory_order_release);
    done_.set();
    return false;
  }
  return true;
}

bool PipeConnection::take_all(MessageQueue& incoming, MessageList& list, int32_t timeout_ms) {
  return incoming.take_all(list, timeout_ms);
}

bool PipeConnection::ended() const {
  const State now = state();
  return now == State::ended || now == State::failed;
}

bool PipeConnection::wait_connected(int32_t timeout_ms) {
  // The lower index wins when both are set: a connection that connected
  // and has ended since did connect.
  return wait_any({connected_.handle(), done_.handle()}, timeout_ms) == 0;
}

bool PipeConnection::wait_ended(int32_t timeout_ms) {
  return done_.wait(timeout_ms);
}

void PipeConnection::close() {
  if (worker_.handle() == nullptr) return;
  stop_.set();
  worker_.close();
  incoming_->clear();
  incoming_->end();
  outgoing_->shut();
}

uint32_t PipeConnection::run(void* connection) {
  return static_cast<PipeConnection*>(connection)->work();
}

uint32_t PipeConnection::work() {
  PipeSetup setup;
  setup.name = name_;
  setup.creating = creating_;
  setup.wait_for_peer = wait_for_peer_;
  setup.limit_ms = limit_ms_;
  setup.slice_ms = slice_ms;
  setup.ring_capacity = ring_capacity;
  bool was_connected = false;
  int32_t code = 0;
  {
    PipeSession session(setup, *outgoing_, *incoming_, stop_, *system_);
    if (session.connect()) {
      was_connected = true;
      state_.store(State::connected, std::memory_order_release);
      connected_.set();
      code = session.exchange();
    }
    session.finish();
  }
  if (code != 0) raise_error(code);
  state_.store(was_connected ? State::ended : State::failed, std::memory_order_release);
  done_.set();
  return 0;
}

}  // namespace wayfetch
