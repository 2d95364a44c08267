// The connection tests' fixture: a runtime folder and pipe names of the
// test's own (tests/core/pipe_fixture.h), a pair of queues per side, and
// bounded helpers to take what arrives.
#ifndef WAYFETCH_TESTS_DELIVERY_PIPE_CONNECTION_FIXTURE_H
#define WAYFETCH_TESTS_DELIVERY_PIPE_CONNECTION_FIXTURE_H

#include <memory>
#include <string>
#include <vector>

#include "delivery/pipe_connection.h"
#include "tests/core/pipe_fixture.h"

namespace wayfetch::testing {

// One side of a connection: its queues and the connection.
struct Side {
  explicit Side(int32_t limit_ms = PipeConnection::peer_limit_ms) : connection(limit_ms) {}
  bool open(const std::string& name, bool creating, bool wait_for_peer = false) {
    return connection.open(outgoing, incoming, name, creating, wait_for_peer);
  }
  // Everything the peer sends until the incoming queue ends (or 10 s pass).
  MessageList drain() {
    MessageList got;
    while (PipeConnection::take_all(incoming, got, 10000)) {
    }
    return got;
  }
  MessageQueue outgoing;
  MessageQueue incoming;
  PipeConnection connection;
};

inline std::unique_ptr<FileMessage> file_named(const std::string& path) {
  auto file = std::make_unique<FileMessage>();
  file->path = String(path);
  return file;
}

// The paths of file messages and the texts of text messages, in order.
inline std::vector<std::string> names_of(const MessageList& messages) {
  std::vector<std::string> names;
  for (const auto& message : messages) {
    names.push_back(message->kind() == PipeMessage::kind_file
                        ? static_cast<const FileMessage&>(*message).path.to_utf8()
                        : static_cast<const TextMessage&>(*message).text.to_utf8());
  }
  return names;
}

}  // namespace wayfetch::testing

#endif
