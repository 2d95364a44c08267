// MessageQueue: one direction of a pipe connection between the application
// and the connection's worker thread (delivery/pipe_connection.h).
//
// The outgoing queue: the application adds messages and, when it has
// nothing more to send, ends the queue; the worker takes them and clears
// the signal, so "signal clear" means the connection has taken everything
// added before. The incoming queue: the worker adds what the peer sent and
// ends the queue when the peer sent its end marker or the connection
// stopped; the application takes messages with take_all().
//
// The signal is a manual-reset event, set whenever messages are added or
// the queue ends; it can be waited for together with other objects
// (core/sync.h). Taking everything from a queue that has not ended resets
// it; an ended queue keeps it set, so every later wait returns at once.
//
// Ownership: the queue owns the messages it holds until they are taken;
// whoever takes them owns them. The application owns the queue, which must
// outlive the connection that uses it.
//
// Thread-safe: any thread may call any operation; the messages and the
// ended flag change under one lock, together with the signal.
#ifndef WAYFETCH_DELIVERY_MESSAGE_QUEUE_H
#define WAYFETCH_DELIVERY_MESSAGE_QUEUE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "core/sync.h"
#include "delivery/pipe_message.h"
#include "platform/thread_annotations.h"

namespace wayfetch {

using MessageList = std::vector<std::unique_ptr<PipeMessage>>;

class MessageQueue {
 public:
  MessageQueue();
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // Appends `message` and sets the signal. False, and the message is
  // dropped, when the queue has ended (nothing more goes through it), the
  // message is null, or its payload is longer than a frame may be
  // (delivery/pipe_frames.h).
  bool add(std::unique_ptr<PipeMessage> message);
  // Appends every message of `messages` (which is left empty) under one
  // lock and one signal; false, all dropped, when the queue has ended.
  bool add(MessageList& messages);
  // Nothing more will be added: sets `ended` and the signal.
  void end();
  bool ended() const;
  // Messages waiting to be taken.
  int32_t size() const;
  // Whether the signal is set: for an outgoing queue, the connection has
  // not yet taken everything added (or the end) before.
  bool signalled() const;

  // Waits until messages are present or the queue has ended, at most
  // `timeout_ms` (-1: no limit; 0: only looks), and moves the messages
  // present to the end of `list`. True when messages were moved; false
  // when none came in time, or the queue has ended and is empty.
  bool take_all(MessageList& list, int32_t timeout_ms);

  // For the connection: empties the queue, clears `ended`, resets the signal.
  void clear();
  // For the connection: moves everything present to `list`, resets the
  // signal (even on an ended queue: the worker must not wake for it again)
  // and returns whether the queue has ended.
  bool take_outgoing(MessageList& list);
  // For the connection that stopped: ended, what it holds is dropped, the
  // signal reset, so that a sender waiting for it to clear goes on, sees
  // the end and sends nothing more.
  void shut();

  WaitHandle signal() const { return signal_.handle(); }

 private:
  void move_all_to(MessageList& list) WAYFETCH_REQUIRES(mutex_);
  // Drops every message, sets `ended` to `ended` and resets the signal.
  void empty_out(bool ended);

  mutable platform::PlainMutex mutex_;
  MessageList messages_ WAYFETCH_GUARDED_BY(mutex_);
  bool ended_ WAYFETCH_GUARDED_BY(mutex_) = false;
  // Created once; set and reset under `mutex_`, waited for without it.
  mutable Event signal_;
};

}  // namespace wayfetch

#endif
