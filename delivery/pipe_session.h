// PipeSession: the work of one PipeConnection's worker thread, from the
// handshake to the last frame (delivery/pipe_connection.h tells what it
// does; docs/pipe_format.md the bytes).
//
// Internal to the delivery library. Everything here runs on the worker
// thread, which alone touches the pipe; the queues are shared with the
// application through their own lock.
#ifndef WAYFETCH_DELIVERY_PIPE_SESSION_H
#define WAYFETCH_DELIVERY_PIPE_SESSION_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/directional_pipe.h"
#include "core/sync.h"
#include "delivery/message_queue.h"
#include "delivery/pipe_frames.h"

namespace wayfetch {

struct PipeSetup {
  std::string name;
  bool creating = false;
  bool wait_for_peer = false;
  int32_t limit_ms = 15000;
  int32_t slice_ms = 173;
  int32_t ring_capacity = 32768;
};

class PipeSession {
 public:
  PipeSession(const PipeSetup& setup, MessageQueue& outgoing, MessageQueue& incoming, Event& stop,
              platform::SharedMemorySystem& system);
  PipeSession(const PipeSession&) = delete;
  PipeSession& operator=(const PipeSession&) = delete;

  // Meets the peer as creating or opening side; true once connected. False
  // when it gave up, "_errevent" stopped it, or `stop` was set.
  bool connect();
  // Moves messages both ways until both end markers have passed; 0, or
  // error 120 when the peer was lost or sent a bad frame. A set `stop`
  // ends it with 0.
  int32_t exchange();
  // Lets go of the pipe, hands what arrived to the incoming queue and ends
  // it, and shuts the outgoing queue.
  void finish();

 private:
  bool create_side();
  bool open_side();
  // Waits for "_clientcreated" within the limit; false when stopped.
  bool wait_for_client();
  // Whether `stop` is set, waiting at most `timeout_ms` for it.
  bool stopping(int32_t timeout_ms) { return stop_.wait(timeout_ms); }
  void take_outgoing();

  // Starts writing the next batch of frames (and the end marker once
  // everything is written and the queue has ended). False when the
  // writing worker could not be started.
  bool start_writing();
  // Reads the frames already in the ring, then starts an asynchronous read
  // of what the reader wants next. 0 or an error code.
  int32_t read_frames();
  int32_t read_done();
  int32_t write_done();
  int32_t decoded(FrameReader::Step step);
  void deliver();

  PipeSetup setup_;
  MessageQueue& outgoing_;
  MessageQueue& incoming_;
  Event& stop_;
  Event errevent_;
  Event client_created_;

  MessageList pending_;  // taken from the outgoing queue, not yet written
  std::size_t next_pending_ = 0;
  bool outgoing_ended_ = false;
  MessageList collected_;  // read, not yet handed to the incoming queue
  FrameReader reader_;
  std::vector<uint8_t> write_bytes_;
  bool write_holds_end_ = false;
  bool end_sent_ = false;
  bool peer_finished_ = false;
  bool read_pending_ = false;
  bool write_pending_ = false;
  PipeRequest read_request_;
  PipeRequest write_request_;
  // The opener's last read, which the creator's disconnect ends.
  PipeRequest closing_read_;
  uint8_t closing_bytes_[frame_length_size] = {};
  // Last, so that it is closed (its workers done with the requests) first.
  DirectionalPipe pipe_;
};

}  // namespace wayfetch

#endif
