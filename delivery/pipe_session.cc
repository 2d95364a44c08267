// The connected part of a pipe connection: frames out, frames in.
#include "delivery/pipe_session.h"

#include <array>

namespace wayfetch {
namespace {

// Frames are written in batches of about this many bytes: one transfer for
// many small messages, and a bounded buffer for many large ones.
constexpr std::size_t batch_bytes = 256 * 1024;
// Frames read straight from the ring before the loop looks at the other
// things it waits for: a peer that never pauses must not starve the writing
// side or a close().
constexpr int32_t frames_per_turn = 1024;

constexpr int32_t lost = errors::pipe_lost_connection;

}  // namespace

PipeSession::PipeSession(const PipeSetup& setup, MessageQueue& outgoing, MessageQueue& incoming,
                         Event& stop, platform::SharedMemorySystem& system)
    : setup_(setup), outgoing_(outgoing), incoming_(incoming), stop_(stop), pipe_(system) {
  closing_read_.buffer = closing_bytes_;
  closing_read_.length = sizeof closing_bytes_;
  // The connection reports its failures itself, once each.
  pipe_.silent = true;
  errevent_.create(setup_.name + "_errevent");
  client_created_.create(setup_.name + "_clientcreated");
}

int32_t PipeSession::exchange() {
  while (!(end_sent_ && peer_finished_)) {
    take_outgoing();
    if (!start_writing()) return lost;
    if (!peer_finished_ && !read_pending_) {
      const int32_t code = read_frames();
      if (code != 0) return code;
    }
    deliver();
    std::array<WaitHandle, 4> handles{};
    std::size_t count = 0;
    handles[count++] = stop_.handle();
    if (read_pending_) handles[count++] = read_request_.completion.handle();
    if (write_pending_) handles[count++] = write_request_.completion.handle();
    if (!outgoing_ended_) handles[count++] = outgoing_.signal();
    if (wait_any(std::span<const WaitHandle>(handles.data(), count), setup_.slice_ms) == 0) {
      return 0;  // close(): the pipe is let go without waiting for the peer
    }
    if (read_pending_ && read_request_.completion.wait(0)) {
      const int32_t code = read_done();
      if (code != 0) return code;
    }
    if (write_pending_ && write_request_.completion.wait(0)) {
      const int32_t code = write_done();
      if (code != 0) return code;
    }
  }
  return 0;
}

bool PipeSession::start_writing() {
  if (write_pending_) return true;
  write_bytes_.clear();
  while (next_pending_ < pending_.size() && write_bytes_.size() < batch_bytes) {
    // The queue refused payloads too long for a frame, so this appends.
    FrameWriter::append(write_bytes_, *pending_[next_pending_]);
    pending_[next_pending_++].reset();  // written: the message is done with
  }
  if (next_pending_ == pending_.size()) {
    pending_.clear();
    next_pending_ = 0;
    if (outgoing_ended_ && !end_sent_ && !write_holds_end_) {
      FrameWriter::append_end(write_bytes_);
      write_holds_end_ = true;
    }
  }
  if (write_bytes_.empty()) return true;
  write_request_.buffer = write_bytes_.data();
  write_request_.length = static_cast<int32_t>(write_bytes_.size());
  if (pipe_.start_write(write_request_)) return false;
  write_pending_ = true;
  return true;
}

int32_t PipeSession::write_done() {
  write_pending_ = false;
  if (write_request_.transferred != write_request_.length) return lost;
  if (write_holds_end_) end_sent_ = true;
  return 0;
}

int32_t PipeSession::read_frames() {
  // What is already in the ring is read here, without a round trip through
  // the reading worker: that round trip costs more than the copy.
  for (int32_t frames = 0; frames < frames_per_turn; ++frames) {
    const int32_t wanted = reader_.wanted();
    if (pipe_.available() < wanted) break;
    if (pipe_.read(reader_.buffer(), wanted) != wanted) return lost;
    const int32_t code = decoded(reader_.decode());
    if (code != 0 || peer_finished_) return code;
  }
  // A read is always pending while the peer may send: it also ends, with
  // 120, when the peer dies or disconnects.
  read_request_.buffer = reader_.buffer();
  read_request_.length = reader_.wanted();
  if (pipe_.start_read(read_request_)) return lost;
  read_pending_ = true;
  return 0;
}

int32_t PipeSession::read_done() {
  read_pending_ = false;
  if (read_request_.transferred != read_request_.length) return lost;
  return decoded(reader_.decode());
}

int32_t PipeSession::decoded(FrameReader::Step step) {
  switch (step) {
    case FrameReader::Step::message:
      collected_.push_back(reader_.take_message());
      return 0;
    case FrameReader::Step::end:
      peer_finished_ = true;
      deliver();
      incoming_.end();
      return 0;
    case FrameReader::Step::bad:
      return lost;
    default:
      return 0;
  }
}

void PipeSession::deliver() {
  if (!collected_.empty()) incoming_.add(collected_);
}

void PipeSession::finish() {
  // An opener that has finished lets the creator let go first. Were it to
  // disconnect first, the blocks would wait in state 1 under a creator
  // that is still alive, and a second opener (waiting for its turn) could
  // connect to a pipe nobody serves any more. The creator removes the
  // names before it disconnects, which ends this read. That end is the
  // expected one: the block must not record it as a lost connection.
  pipe_.inbound().silent = true;
  if (!setup_.creating && end_sent_ && peer_finished_ && !pipe_.start_read(closing_read_)) {
    wait_any({stop_.handle(), closing_read_.completion.handle()}, setup_.limit_ms);
  }
  pipe_.close();
  deliver();
  incoming_.end();
  outgoing_.shut();
  pending_.clear();
}

}  // namespace wayfetch
