// Messages, frames and queues without a pipe: the bytes on the wire, what a
// hostile frame does to the reader, the comparisons, and the queue's waits.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/sync.h"
#include "delivery/message_queue.h"
#include "delivery/pipe_frames.h"

namespace wayfetch {
namespace {

std::vector<uint8_t> bytes_of(const std::string& hex) {
  std::vector<uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    if (hex[i] == ' ') {
      --i;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

FileMessage file(const char* path, int32_t state = 0) {
  FileMessage message;
  message.path = path;
  message.direction = FileMessage::direction_handheld_log;
  message.size = 300;
  message.card = -1;
  message.modified = 0x0000000100000002;
  message.state = state;
  return message;
}

// What the worker does with incoming bytes, over memory: the steps, and the
// messages decoded.
std::vector<FrameReader::Step> read_stream(const std::vector<uint8_t>& bytes,
                                           MessageList* messages = nullptr) {
  FrameReader reader;
  std::vector<FrameReader::Step> steps;
  std::size_t at = 0;
  while (reader.wanted() > 0 && bytes.size() - at >= static_cast<std::size_t>(reader.wanted())) {
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), reader.wanted(), reader.buffer());
    at += static_cast<std::size_t>(reader.wanted());
    steps.push_back(reader.decode());
    if (steps.back() == FrameReader::Step::message && messages != nullptr) {
      messages->push_back(reader.take_message());
    }
  }
  return steps;
}

TEST(PipeMessageTest, FramesAreTheDocumentedBytes) {
  std::vector<uint8_t> wire;
  ASSERT_TRUE(FrameWriter::append(wire, TextMessage()));
  // The empty text: length 20, kind 0, state 0, then an empty String record
  // (length 0, code page not set, single bytes).
  EXPECT_EQ(wire, bytes_of("14000000 00000000 00000000 00000000 FFFFFFFF 01000000"));
  EXPECT_EQ(wire.size(), 24u);

  wire.clear();
  ASSERT_TRUE(FrameWriter::append(wire, file("ab", 3)));
  FrameWriter::append_end(wire);
  EXPECT_EQ(wire, bytes_of("2A000000 01000000 03000000 01000000 2C010000 FFFFFFFF"
                           "02000000 01000000 02000000 FFFFFFFF 01000000 6162 00000000"));

  MessageList messages;
  EXPECT_EQ(read_stream(wire, &messages),
            (std::vector{FrameReader::Step::more, FrameReader::Step::message,
                         FrameReader::Step::end}));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0]->equals(file("ab", 3)));
  EXPECT_EQ(messages[0]->state, 3);
}

TEST(PipeMessageTest, HostileFramesEndTheReaderAsBad) {
  using Step = FrameReader::Step;
  const std::vector<Step> bad{Step::bad};
  const std::vector<Step> payload_bad{Step::more, Step::bad};
  struct Case {
    const char* what;
    const char* hex;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"length above 1 MB, nothing allocated", "01001000", bad},
      {"length of 4 GB less one", "FFFFFFFF", bad},
      {"shorter than kind and state", "04000000 00000000", payload_bad},
      {"unknown kind", "14000000 07000000 00000000 00000000 FFFFFFFF 01000000", payload_bad},
      {"text record longer than the payload",
       "14000000 00000000 00000000 64000000 FFFFFFFF 01000000", payload_bad},
      {"text record cut short", "10000000 00000000 00000000 00000000 FFFFFFFF", payload_bad},
      {"unknown text encoding", "14000000 00000000 00000000 00000000 FFFFFFFF 04000000",
       payload_bad},
      {"one byte left over", "15000000 00000000 00000000 00000000 FFFFFFFF 01000000 00",
       payload_bad},
      {"file fields cut short", "10000000 01000000 00000000 00000000 00000000", payload_bad},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read_stream(bytes_of(c.hex)), c.steps);
  }
}

TEST(PipeMessageTest, FileMessagesOrderByPathAndIgnoreStateButSix) {
  const FileMessage base = file("b");
  auto differs = [&](auto change) {
    FileMessage other = file("b");
    change(other);
    return other;
  };
  struct Case {
    const char* what;
    FileMessage other;
    bool equal;
  };
  const Case cases[] = {
      {"the same", file("b"), true},
      {"another state", file("b", 2), true},
      {"state 6", file("b", 6), false},
      {"another card", differs([](FileMessage& m) { m.card = 0; }), false},
      {"another size", differs([](FileMessage& m) { m.size = 0; }), false},
      {"another direction", differs([](FileMessage& m) { m.direction = 0; }), false},
      {"another time", differs([](FileMessage& m) { m.modified = 2; }), false},
      {"another case", file("B"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(base.equals(c.other), c.equal);
    EXPECT_EQ(c.other.equals(base), c.equal);
  }
  FileMessage pending = file("b", 6);
  EXPECT_FALSE(pending.equals(pending));

  EXPECT_EQ(file("a").compare(file("b")), -1);
  EXPECT_EQ(file("b").compare(file("a", 6)), 1);
  EXPECT_EQ(file("B").compare(file("a")), -1);  // case-sensitive
  EXPECT_TRUE(file("a").order(file("b")));
  EXPECT_EQ(TextMessage(String("z")).compare(file("a")), -1);  // texts before files
  EXPECT_FALSE(TextMessage(String("a")).equals(file("a")));

  auto copy = base.copy();
  EXPECT_TRUE(copy->equals(base));
  auto empty = base.create_empty();
  EXPECT_EQ(empty->kind(), PipeMessage::kind_file);
  EXPECT_EQ(static_cast<FileMessage&>(*empty).card, -1);
}

TEST(MessageQueueTest, TakeAllWaitsLooksAndEnds) {
  MessageQueue queue;
  MessageList got;
  EXPECT_FALSE(queue.take_all(got, 0));  // only looks
  EXPECT_FALSE(queue.add(std::make_unique<TextMessage>(String(std::string(max_payload, 'x')))));
  EXPECT_FALSE(queue.signalled());

  std::thread adding([&] {
    sleep(50);
    queue.add(std::make_unique<TextMessage>(String("late")));
  });
  EXPECT_TRUE(queue.take_all(got, 5000));
  adding.join();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(queue.signalled());  // everything taken from a queue that goes on

  queue.add(std::make_unique<TextMessage>(String("last")));
  queue.end();
  EXPECT_FALSE(queue.add(std::make_unique<TextMessage>(String("refused"))));
  EXPECT_TRUE(queue.take_all(got, -1));
  EXPECT_FALSE(queue.take_all(got, -1));  // ended and empty: at once
  EXPECT_TRUE(queue.signalled());         // an ended queue wakes every waiter
  EXPECT_EQ(got.size(), 2u);
}

}  // namespace
}  // namespace wayfetch
