// Arbitrary bytes as what a peer writes into a pipe, read by the frame
// reader exactly as the connection's worker reads them (the wanted bytes
// into the reader's buffer, then decode), with the fuzzer's input as the
// byte source. Every message decoded must be exactly its payload: written
// again it gives the same bytes, and a copy equals it. The whole input is
// also given to the message decoder as one payload. Large lengths must be
// refused before anything is allocated for them (libFuzzer's malloc limit
// catches an allocation sized by an unchecked length).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "delivery/pipe_frames.h"

namespace {

using wayfetch::FileMessage;
using wayfetch::FrameReader;
using wayfetch::FrameWriter;
using wayfetch::PipeMessage;

void check(bool condition) {
  if (!condition) std::abort();
}

// The message written again is the payload it came from.
void check_exact(const PipeMessage& message, const uint8_t* payload, int32_t length) {
  std::vector<uint8_t> again;
  check(FrameWriter::append(again, message));
  check(again.size() == static_cast<std::size_t>(length) + wayfetch::frame_length_size);
  check(std::memcmp(again.data() + wayfetch::frame_length_size, payload,
                    static_cast<std::size_t>(length)) == 0);
  auto copy = message.copy();
  check(copy->compare(message) == 0);
  const bool pending = message.kind() == PipeMessage::kind_file &&
                       message.state == FileMessage::state_pending_build;
  check(copy->equals(message) == !pending);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FrameReader reader;
  std::size_t at = 0;
  while (reader.wanted() > 0 && size - at >= static_cast<std::size_t>(reader.wanted())) {
    const int32_t wanted = reader.wanted();
    std::memcpy(reader.buffer(), data + at, static_cast<std::size_t>(wanted));
    const uint8_t* piece = data + at;
    at += static_cast<std::size_t>(wanted);
    switch (reader.decode()) {
      case FrameReader::Step::message: {
        auto message = reader.take_message();
        check(message != nullptr);
        check_exact(*message, piece, wanted);
        break;
      }
      case FrameReader::Step::more:
        check(reader.wanted() > 0 && reader.wanted() <= wayfetch::max_payload);
        break;
      default:
        check(reader.wanted() == 0);  // the end, or a bad frame: nothing more is read
        break;
    }
  }

  const auto length = static_cast<int32_t>(std::min<size_t>(size, wayfetch::max_payload));
  auto message = PipeMessage::from_payload(data, length);
  if (message != nullptr) check_exact(*message, data, length);
  return 0;
}
