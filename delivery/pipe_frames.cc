#include "delivery/pipe_frames.h"

#include "core/byte_order.h"

namespace wayfetch {

uint8_t* FrameReader::buffer() {
  return part_ == Part::payload ? payload_.data() : length_bytes_;
}

int32_t FrameReader::wanted() const {
  switch (part_) {
    case Part::length:
      return frame_length_size;
    case Part::payload:
      return payload_length_;
    default:
      return 0;
  }
}

FrameReader::Step FrameReader::decode() {
  if (part_ == Part::length) {
    const uint32_t length = byte_order::get_le32(length_bytes_);
    if (length == 0) {
      part_ = Part::done;
      return Step::end;
    }
    // Checked before anything is sized by it.
    if (length > static_cast<uint32_t>(max_payload)) {
      part_ = Part::done;
      return Step::bad;
    }
    payload_length_ = static_cast<int32_t>(length);
    payload_.resize(length);
    part_ = Part::payload;
    return Step::more;
  }
  if (part_ != Part::payload) return Step::bad;
  message_ = PipeMessage::from_payload(payload_.data(), payload_length_);
  if (message_ == nullptr) {
    part_ = Part::done;
    return Step::bad;
  }
  part_ = Part::length;
  return Step::message;
}

bool FrameWriter::append(std::vector<uint8_t>& out, const PipeMessage& message) {
  const int32_t size = payload_size(message);
  if (size > max_payload) return false;
  const std::size_t start = out.size();
  out.resize(start + frame_length_size + static_cast<std::size_t>(size));
  byte_order::put_le32(out.data() + start, static_cast<uint32_t>(size));
  int32_t offset = static_cast<int32_t>(start) + frame_length_size;
  message.serialize(out, offset);
  return true;
}

void FrameWriter::append_end(std::vector<uint8_t>& out) {
  byte_order::append_le32(out, 0);
}

int32_t FrameWriter::payload_size(const PipeMessage& message) {
  int32_t size = 0;
  message.serialize({}, size);
  return size;
}

}  // namespace wayfetch
