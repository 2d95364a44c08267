// The framing of pipe messages (docs/pipe_format.md): each message travels
// as a 4-byte little-endian length n and n bytes of payload; n = 0 is the
// end marker, after which the sender sends nothing more.
//
// FrameReader turns the bytes that arrive into messages. It says how many
// bytes it wants next (4 for a length, then exactly the payload) and where
// to put them; the caller moves that many bytes from wherever they come
// from (the pipe, or a test's memory) and asks it to decode them. A frame
// from another process is never trusted: a length above max_payload, an
// unknown kind, or a payload that is not exactly one message is a bad
// frame, and no buffer is ever sized by a length before it was checked.
//
// FrameWriter appends frames to a byte buffer that the caller then writes.
//
// Not thread-safe: each belongs to the connection's worker thread.
#ifndef WAYFETCH_DELIVERY_PIPE_FRAMES_H
#define WAYFETCH_DELIVERY_PIPE_FRAMES_H

#include <cstdint>
#include <memory>
#include <vector>

#include "delivery/pipe_message.h"

namespace wayfetch {

// The largest payload either side sends or accepts: a file message is a
// few hundred bytes, a text message a path.
inline constexpr int32_t max_payload = 1 << 20;
inline constexpr int32_t frame_length_size = 4;

class FrameReader {
 public:
  enum class Step {
    more,     // the next bytes are wanted (a payload follows its length)
    message,  // a message was decoded: take_message()
    end,      // the end marker
    bad,      // a bad frame: the connection must end
  };

  // Where the next wanted() bytes go; valid until the next decode().
  uint8_t* buffer();
  int32_t wanted() const;
  // Decodes the wanted() bytes, which the caller has put into buffer().
  // After `end` or `bad` the reader wants nothing more (wanted() is 0).
  Step decode();
  // The message of the last `message` step.
  std::unique_ptr<PipeMessage> take_message() { return std::move(message_); }

 private:
  enum class Part { length, payload, done };

  Part part_ = Part::length;
  uint8_t length_bytes_[frame_length_size] = {};
  int32_t payload_length_ = 0;
  std::vector<uint8_t> payload_;
  std::unique_ptr<PipeMessage> message_;
};

class FrameWriter {
 public:
  // Appends the frame of `message` to `out`; false, nothing appended, when
  // its payload is longer than max_payload.
  static bool append(std::vector<uint8_t>& out, const PipeMessage& message);
  // Appends the end marker (a length of 0).
  static void append_end(std::vector<uint8_t>& out);
  // The payload size of `message`.
  static int32_t payload_size(const PipeMessage& message);
};

}  // namespace wayfetch

#endif
