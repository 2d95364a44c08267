#include "delivery/message_queue.h"

#include <chrono>

#include "delivery/pipe_frames.h"
#include "platform/clock.h"

namespace wayfetch {

MessageQueue::MessageQueue() {
  signal_.create();
}

bool MessageQueue::add(std::unique_ptr<PipeMessage> message) {
  // Refused here rather than by the worker: the sender learns at once, and
  // the peer never sees a frame it would have to take for an attack.
  if (message == nullptr || FrameWriter::payload_size(*message) > max_payload) return false;
  platform::PlainLock lock(mutex_);
  if (ended_) return false;
  messages_.push_back(std::move(message));
  signal_.set();
  return true;
}

bool MessageQueue::add(MessageList& messages) {
  MessageList taken = std::move(messages);
  messages.clear();
  platform::PlainLock lock(mutex_);
  if (ended_) return false;
  bool all = true;
  for (auto& message : taken) {
    if (message == nullptr || FrameWriter::payload_size(*message) > max_payload) {
      all = false;
      continue;
    }
    messages_.push_back(std::move(message));
  }
  signal_.set();
  return all;
}

void MessageQueue::end() {
  platform::PlainLock lock(mutex_);
  ended_ = true;
  signal_.set();
}

bool MessageQueue::ended() const {
  platform::PlainLock lock(mutex_);
  return ended_;
}

int32_t MessageQueue::size() const {
  platform::PlainLock lock(mutex_);
  return static_cast<int32_t>(messages_.size());
}

bool MessageQueue::signalled() const {
  return signal_.wait(0);
}

bool MessageQueue::take_all(MessageList& list, int32_t timeout_ms) {
  const platform::Clock& clock = platform::current_clock();
  const auto deadline = clock.steady_time() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    {
      platform::PlainLock lock(mutex_);
      if (!messages_.empty()) {
        move_all_to(list);
        // Under the lock, so that an add after the move cannot have its
        // signal lost; an ended queue stays signalled.
        if (!ended_) signal_.reset();
        return true;
      }
      if (ended_) return false;
      signal_.reset();
    }
    int32_t wait_ms = -1;
    if (timeout_ms >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock.steady_time());
      if (left.count() <= 0) return false;
      wait_ms = static_cast<int32_t>(left.count());
    }
    if (!signal_.wait(wait_ms)) return false;
  }
}

void MessageQueue::clear() {
  empty_out(false);
}

bool MessageQueue::take_outgoing(MessageList& list) {
  platform::PlainLock lock(mutex_);
  move_all_to(list);
  signal_.reset();
  return ended_;
}

void MessageQueue::shut() {
  empty_out(true);
}

void MessageQueue::move_all_to(MessageList& list) {
  for (auto& message : messages_) list.push_back(std::move(message));
  messages_.clear();
}

void MessageQueue::empty_out(bool ended) {
  MessageList dropped;  // destroyed after the lock is let go
  platform::PlainLock lock(mutex_);
  dropped.swap(messages_);
  ended_ = ended;
  signal_.reset();
}

}  // namespace wayfetch
