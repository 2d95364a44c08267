#include "delivery/pipe_message.h"

#include "core/byte_order.h"

namespace wayfetch {
namespace {

// A String record's header: length, code page, encoding (core/string.h).
constexpr int32_t text_record_header = 12;
// The fixed fields of a file message's body: direction, size, card and the
// two halves of the modification time.
constexpr int32_t file_fields_size = 20;

int sign(int value) {
  return (value > 0) - (value < 0);
}

// The order of texts in messages: the String comparison, case-sensitive.
int compare_texts(const String& a, const String& b) {
  return sign(a.compare(b, false, true));
}

bool read_word(const uint8_t*& cursor, int32_t& remaining, uint32_t& value) {
  if (remaining < 4) return false;
  value = byte_order::get_le32(cursor);
  cursor += 4;
  remaining -= 4;
  return true;
}

}  // namespace

int32_t PipeMessage::serialize(std::span<uint8_t> buffer, int32_t& offset) const {
  const int32_t size = header_size + body_size();
  if (!buffer.empty()) {
    if (offset < 0 || static_cast<std::size_t>(offset) > buffer.size() ||
        buffer.size() - static_cast<std::size_t>(offset) < static_cast<std::size_t>(size)) {
      return 0;
    }
    std::span<uint8_t> payload = buffer.subspan(static_cast<std::size_t>(offset),
                                                static_cast<std::size_t>(size));
    byte_order::put_le32(payload.data(), static_cast<uint32_t>(kind_));
    byte_order::put_le32(payload.data() + 4, static_cast<uint32_t>(state));
    write_body(payload.subspan(header_size));
  }
  offset += size;
  return size;
}

bool PipeMessage::deserialize(const uint8_t*& cursor, int32_t& remaining) {
  uint32_t kind = 0;
  uint32_t read_state = 0;
  if (cursor == nullptr || !read_word(cursor, remaining, kind) ||
      static_cast<int32_t>(kind) != kind_ || !read_word(cursor, remaining, read_state)) {
    return false;
  }
  state = static_cast<int32_t>(read_state);
  return read_body(cursor, remaining);
}

std::unique_ptr<PipeMessage> PipeMessage::from_payload(const uint8_t* bytes, int32_t length) {
  if (bytes == nullptr || length < header_size) return nullptr;
  std::unique_ptr<PipeMessage> message;
  switch (static_cast<int32_t>(byte_order::get_le32(bytes))) {
    case kind_text:
      message = std::make_unique<TextMessage>();
      break;
    case kind_file:
      message = std::make_unique<FileMessage>();
      break;
    default:
      return nullptr;
  }
  // Exactly one message: a payload with bytes left over is as wrong as a
  // short one, since the sender wrote what the message's size said.
  if (!message->deserialize(bytes, length) || length != 0) return nullptr;
  return message;
}

bool PipeMessage::read_text(String& text, const uint8_t*& cursor, int32_t& remaining) {
  if (remaining < text_record_header) return false;
  const uint32_t encoding = byte_order::get_le32(cursor + 8);
  if (encoding < static_cast<uint32_t>(TextEncoding::SingleByte) ||
      encoding > static_cast<uint32_t>(TextEncoding::Multibyte)) {
    return false;
  }
  const bool silent = text.silent;
  text.silent = true;
  const bool read = text.deserialize(cursor, remaining);
  text.silent = silent;
  text.clear_status();
  return read;
}

// ---- TextMessage ----

int TextMessage::compare(const PipeMessage& other) const {
  if (other.kind() != kind()) return kind() < other.kind() ? -1 : 1;
  return compare_texts(text, static_cast<const TextMessage&>(other).text);
}

bool TextMessage::equals(const PipeMessage& other) const {
  return other.kind() == kind() && compare(other) == 0;
}

std::unique_ptr<PipeMessage> TextMessage::copy() const {
  return std::make_unique<TextMessage>(*this);
}

std::unique_ptr<PipeMessage> TextMessage::create_empty() const {
  return std::make_unique<TextMessage>();
}

int32_t TextMessage::body_size() const {
  int32_t size = 0;
  text.serialize({}, size);
  return size;
}

void TextMessage::write_body(std::span<uint8_t> body) const {
  int32_t offset = 0;
  text.serialize(body, offset);
}

bool TextMessage::read_body(const uint8_t*& cursor, int32_t& remaining) {
  return read_text(text, cursor, remaining);
}

// ---- FileMessage ----

int FileMessage::compare(const PipeMessage& other) const {
  if (other.kind() != kind()) return kind() < other.kind() ? -1 : 1;
  return compare_texts(path, static_cast<const FileMessage&>(other).path);
}

bool FileMessage::equals(const PipeMessage& other) const {
  if (other.kind() != kind()) return false;
  const auto& file = static_cast<const FileMessage&>(other);
  return state != state_pending_build && file.state != state_pending_build && card == file.card &&
         size == file.size && direction == file.direction && modified == file.modified &&
         compare_texts(path, file.path) == 0;
}

std::unique_ptr<PipeMessage> FileMessage::copy() const {
  return std::make_unique<FileMessage>(*this);
}

std::unique_ptr<PipeMessage> FileMessage::create_empty() const {
  return std::make_unique<FileMessage>();
}

int32_t FileMessage::body_size() const {
  int32_t bytes = file_fields_size;
  path.serialize({}, bytes);
  return bytes;
}

void FileMessage::write_body(std::span<uint8_t> body) const {
  uint8_t* at = body.data();
  byte_order::put_le32(at, static_cast<uint32_t>(direction));
  byte_order::put_le32(at + 4, static_cast<uint32_t>(size));
  byte_order::put_le32(at + 8, static_cast<uint32_t>(card));
  byte_order::put_le32(at + 12, static_cast<uint32_t>(modified));
  byte_order::put_le32(at + 16, static_cast<uint32_t>(modified >> 32));
  int32_t offset = file_fields_size;
  path.serialize(body, offset);
}

bool FileMessage::read_body(const uint8_t*& cursor, int32_t& remaining) {
  if (remaining < file_fields_size) return false;
  direction = static_cast<int32_t>(byte_order::get_le32(cursor));
  size = static_cast<int32_t>(byte_order::get_le32(cursor + 4));
  card = static_cast<int32_t>(byte_order::get_le32(cursor + 8));
  modified = byte_order::get_le32(cursor + 12) |
             (static_cast<uint64_t>(byte_order::get_le32(cursor + 16)) << 32);
  cursor += file_fields_size;
  remaining -= file_fields_size;
  return read_text(path, cursor, remaining);
}

}  // namespace wayfetch
