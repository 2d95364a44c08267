// PipeMessage, TextMessage, FileMessage: what travels between two processes
// over a pipe connection (delivery/pipe_connection.h).
//
// A message has a kind (0 text, 1 file) and a state, whose meaning belongs
// to the programs that exchange it (the update job and the conduit give file
// messages the states 0-7). A text message carries one String (the path of
// a subscription file a second instance forwards); a file message names a
// file on the desktop or a database on the handheld, with its direction,
// size, memory card and last-write time. Their payload bytes are in
// docs/pipe_format.md.
//
// Ownership: messages are held by std::unique_ptr; a queue owns the messages
// it holds until they are taken, and whoever takes them owns them from then
// on. copy() and create_empty() return new messages the caller owns.
//
// Not thread-safe: a message belongs to one thread at a time (queues hand
// them over under their lock).
//
// Failures: serialize() returns 0 and writes nothing when the bytes do not
// fit; deserialize() returns false for bytes that are not a whole message of
// this kind (too short, another kind, a text record longer than what
// remains, an unknown text encoding). from_payload() is nullptr unless the
// payload is exactly one message.
#ifndef WAYFETCH_DELIVERY_PIPE_MESSAGE_H
#define WAYFETCH_DELIVERY_PIPE_MESSAGE_H

#include <cstdint>
#include <memory>
#include <span>

#include "core/string.h"

namespace wayfetch {

class PipeMessage {
 public:
  static constexpr int32_t kind_text = 0;
  static constexpr int32_t kind_file = 1;
  // kind and state: the payload's first 8 bytes.
  static constexpr int32_t header_size = 8;

  virtual ~PipeMessage() = default;

  int32_t kind() const { return kind_; }

  // -1, 0 or 1 as this message sorts before, with or after `other`.
  // Messages of different kinds sort by kind.
  virtual int compare(const PipeMessage& other) const = 0;
  // Whether both stand for the same thing (see each kind).
  virtual bool equals(const PipeMessage& other) const = 0;
  // Whether this message sorts before `other`.
  bool order(const PipeMessage& other) const { return compare(other) < 0; }
  // A new message with the same fields.
  virtual std::unique_ptr<PipeMessage> copy() const = 0;
  // A new message of the same kind with empty fields.
  virtual std::unique_ptr<PipeMessage> create_empty() const = 0;

  // Writes the payload at buffer[offset] and adds its size to `offset`;
  // an empty `buffer` only computes the size. Returns the size, or 0
  // (nothing written, offset unchanged) when it does not fit.
  int32_t serialize(std::span<uint8_t> buffer, int32_t& offset) const;
  // Reads one payload of this kind at `cursor`, advancing it and lowering
  // `remaining` by what was used. False (fields unspecified) when the bytes
  // are not such a payload.
  bool deserialize(const uint8_t*& cursor, int32_t& remaining);

  // The message `bytes` hold, made by the kind in their first four bytes;
  // nullptr for an unknown kind or when the bytes are not exactly one
  // message (short, or with bytes left over).
  static std::unique_ptr<PipeMessage> from_payload(const uint8_t* bytes, int32_t length);

  int32_t state = 0;

 protected:
  explicit PipeMessage(int32_t kind) : kind_(kind) {}
  PipeMessage(const PipeMessage&) = default;
  PipeMessage& operator=(const PipeMessage&) = default;

  // The bytes after kind and state.
  virtual int32_t body_size() const = 0;
  // Writes the body into exactly body_size() bytes.
  virtual void write_body(std::span<uint8_t> body) const = 0;
  virtual bool read_body(const uint8_t*& cursor, int32_t& remaining) = 0;

  // Reads a String record for a message field: false for a short record or
  // an encoding the String type does not know. Records nothing in the log:
  // the connection reports a bad payload once, as a lost connection.
  static bool read_text(String& text, const uint8_t*& cursor, int32_t& remaining);

 private:
  int32_t kind_;
};

// Kind 0: one text.
class TextMessage final : public PipeMessage {
 public:
  TextMessage() : PipeMessage(kind_text) {}
  explicit TextMessage(const String& value) : PipeMessage(kind_text), text(value) {}

  // By text, case-sensitive.
  int compare(const PipeMessage& other) const override;
  // The texts agree (case-sensitive); the states are not compared.
  bool equals(const PipeMessage& other) const override;
  std::unique_ptr<PipeMessage> copy() const override;
  std::unique_ptr<PipeMessage> create_empty() const override;

  String text;

 private:
  int32_t body_size() const override;
  void write_body(std::span<uint8_t> body) const override;
  bool read_body(const uint8_t*& cursor, int32_t& remaining) override;
};

// Kind 1: a file on the desktop, or a database on the handheld.
class FileMessage final : public PipeMessage {
 public:
  static constexpr int32_t direction_ebook = 0;        // creator "REAd", type "TEXt"
  static constexpr int32_t direction_handheld_log = 1;  // creator "LORV", type "LogF"
  // The state for which two otherwise equal file messages do not count as
  // equal (an e-book announced before it is built).
  static constexpr int32_t state_pending_build = 6;

  FileMessage() : PipeMessage(kind_file) {}

  // By path, case-sensitive (paths and database names both are).
  int compare(const PipeMessage& other) const override;
  // Card, size, direction, modified and path agree, and neither state is 6.
  bool equals(const PipeMessage& other) const override;
  std::unique_ptr<PipeMessage> copy() const override;
  std::unique_ptr<PipeMessage> create_empty() const override;

  String path;  // desktop file path, or database name on the handheld
  int32_t direction = direction_ebook;
  int32_t size = 0;   // bytes; 0 when unknown
  int32_t card = -1;  // memory card on the handheld; -1 when unknown
  // Last-write time as a file time: 100 ns units since 1601-01-01 UTC, the
  // value a Timestamp (web/timestamp.h) holds.
  uint64_t modified = 0;

 private:
  int32_t body_size() const override;
  void write_body(std::span<uint8_t> body) const override;
  bool read_body(const uint8_t*& cursor, int32_t& remaining) override;
};

}  // namespace wayfetch

#endif
