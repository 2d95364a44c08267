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

int32_t MessageQueue::take(MessageList& list) {
  platform::PlainLock lock(mutex_);
  const auto count = static_cast<int32_t>(messages_.size());
  for (auto& message : messages_) list.push_back(std::move(message));
  messages_.clear();
  // Under the lock, so that an add between the move and the reset cannot
  // have its signal lost.
  if (!ended_) signal_.reset();
  return count;
}

bool MessageQueue::take_all(MessageList& list, int32_t timeout_ms) {
  const platform::Clock& clock = platform::current_clock();
  const auto deadline = clock.steady_time() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    {
      platform::PlainLock lock(mutex_);
      if (!messages_.empty()) {
        for (auto& message : messages_) list.push_back(std::move(message));
        messages_.clear();
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
  MessageList dropped;
  platform::PlainLock lock(mutex_);
  dropped.swap(messages_);
  ended_ = false;
  signal_.reset();
}

bool MessageQueue::take_outgoing(MessageList& list) {
  platform::PlainLock lock(mutex_);
  for (auto& message : messages_) list.push_back(std::move(message));
  messages_.clear();
  signal_.reset();
  return ended_;
}

void MessageQueue::shut() {
  MessageList dropped;
  platform::PlainLock lock(mutex_);
  dropped.swap(messages_);
  ended_ = true;
  signal_.reset();
}

}  // namespace wayfetch
