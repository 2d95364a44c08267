// Pipe connections inside one process: both sides as PipeConnections, or
// one side played byte by byte through a raw DirectionalPipe.
#include "delivery/pipe_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/directional_pipe.h"
#include "delivery/pipe_frames.h"
#include "tests/delivery/pipe_connection_fixture.h"

namespace wayfetch {
namespace {

using testing::file_named;
using testing::names_of;
using testing::Side;
using Strings = std::vector<std::string>;

class PipeConnectionTest : public testing::PipeFixture {
 protected:
  // `length` bytes from a raw pipe, or fewer when they do not come within 5 s.
  static std::vector<uint8_t> read_raw(DirectionalPipe& pipe, int32_t length) {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
    PipeRequest request;
    request.buffer = bytes.data();
    request.length = length;
    if (pipe.start_read(request)) return {};
    if (!pipe.wait(request, 5000)) pipe.close();  // ends the read
    pipe.wait(request, -1);
    bytes.resize(static_cast<std::size_t>(request.transferred));
    pipe.close();  // the request goes before the worker could touch it again
    return bytes;
  }
  static void write_raw(DirectionalPipe& pipe, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(pipe.write(bytes.data(), static_cast<int32_t>(bytes.size())),
              static_cast<int32_t>(bytes.size()));
  }
  static std::vector<uint8_t> frame_of(const PipeMessage& message) {
    std::vector<uint8_t> bytes;
    FrameWriter::append(bytes, message);
    return bytes;
  }
};

TEST_F(PipeConnectionTest, QueuedMessagesArriveInOrderAndBothSidesEnd) {
  Side creator;
  ASSERT_TRUE(creator.open(name(), true));
  for (const char* path : {"a", "c", "b"}) creator.outgoing.add(file_named(path));
  sleep(2 * PipeConnection::slice_ms);
  // Taken into the pending list while no peer is there: a sender waiting
  // for the signal to clear goes on.
  EXPECT_FALSE(creator.outgoing.signalled());
  EXPECT_FALSE(creator.connection.connected());

  Side opener;
  ASSERT_TRUE(opener.open(name(), false));
  ASSERT_TRUE(creator.connection.wait_connected(5000));
  creator.outgoing.add(file_named("d"));
  creator.outgoing.end();
  opener.outgoing.end();  // sends nothing but its end marker
  EXPECT_EQ(names_of(opener.drain()), (Strings{"a", "c", "b", "d"}));
  EXPECT_TRUE(creator.drain().empty());
  for (Side* side : {&creator, &opener}) {
    ASSERT_TRUE(side->connection.wait_ended(5000));
    EXPECT_EQ(side->connection.state(), PipeConnection::State::ended);
    EXPECT_EQ(side->connection.error, 0);
    EXPECT_TRUE(side->connection.wait_connected(0));
  }
}

TEST_F(PipeConnectionTest, WireBytesAndHostileFramesFromARawPeer) {
  {
    SCOPED_TRACE("an empty text is a frame of 24 bytes, then the end marker");
    Side creator;
    ASSERT_TRUE(creator.open(name(), true));
    creator.outgoing.add(std::make_unique<TextMessage>());
    creator.outgoing.end();
    DirectionalPipe raw;
    ASSERT_TRUE(raw.open(name(), 5000));
    write_raw(raw, frame_of(TextMessage(String("from raw"))));
    write_raw(raw, {0, 0, 0, 0});
    std::vector<uint8_t> expected = frame_of(TextMessage());
    EXPECT_EQ(expected.size(), 24u);
    expected.insert(expected.end(), 4, 0);
    EXPECT_EQ(read_raw(raw, 28), expected);
    EXPECT_EQ(names_of(creator.drain()), Strings{"from raw"});
    ASSERT_TRUE(creator.connection.wait_ended(5000));
    EXPECT_EQ(creator.connection.error, 0);
  }
  {
    // The reader's own tests go through every kind of bad frame; here, what
    // one does to a connection.
    SCOPED_TRACE("a frame of an unknown kind");
    Side creator;
    ASSERT_TRUE(creator.open(name(), true));
    DirectionalPipe raw;
    ASSERT_TRUE(raw.open(name(), 5000));
    write_raw(raw, frame_of(*file_named("before")));
    write_raw(raw, {8, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0});
    // What arrived before is delivered, then the queue ends.
    EXPECT_EQ(names_of(creator.drain()), Strings{"before"});
    ASSERT_TRUE(creator.connection.wait_ended(5000));
    EXPECT_EQ(creator.connection.error, errors::pipe_lost_connection);
    EXPECT_FALSE(creator.outgoing.add(file_named("too late")));
  }
}

TEST_F(PipeConnectionTest, CreatorWithoutPeerGivesUpAfterItsQueueEnded) {
  constexpr int32_t limit = 1000;
  for (bool wait_for_peer : {false, true}) {
    SCOPED_TRACE(wait_for_peer ? "waiting for the peer" : "not waiting");
    Side creator(limit);
    ASSERT_TRUE(creator.open(name(), true, wait_for_peer));
    creator.outgoing.add(file_named("never sent"));
    sleep(50);
    const auto ended = std::chrono::steady_clock::now();
    creator.outgoing.end();
    ASSERT_TRUE(creator.connection.wait_ended(10000));
    const int64_t waited = milliseconds_since(ended);
    if (wait_for_peer) {
      EXPECT_GE(waited, limit);
    } else {
      EXPECT_LT(waited, limit / 2);  // after the attempt in progress
    }
    EXPECT_EQ(creator.connection.state(), PipeConnection::State::failed);
    EXPECT_FALSE(creator.connection.wait_connected(0));
    EXPECT_EQ(creator.connection.error, 0);
    MessageList got;
    EXPECT_FALSE(PipeConnection::take_all(creator.incoming, got, -1));
    EXPECT_FALSE(creator.outgoing.signalled());
  }
}

TEST_F(PipeConnectionTest, NamedEventsStopOnlyAWaitingCreatorAndAreResetWhenSeen) {
  Event errevent;
  ASSERT_TRUE(errevent.create(name() + "_errevent"));
  {
    SCOPED_TRACE("an opener that finds no pipe sets it");
    Side opener(300);
    ASSERT_TRUE(opener.open(name(), false));
    ASSERT_TRUE(opener.connection.wait_ended(5000));
    EXPECT_EQ(opener.connection.state(), PipeConnection::State::failed);
    EXPECT_TRUE(errevent.wait(0));
  }
  {
    SCOPED_TRACE("left set, it does not end the next connection");
    Side creator;
    Side opener;
    ASSERT_TRUE(creator.open(name(), true));
    ASSERT_TRUE(opener.open(name(), false));
    ASSERT_TRUE(creator.connection.wait_connected(5000));
    EXPECT_FALSE(errevent.wait(0));
    errevent.set();  // another opener gave up: this connection goes on
    sleep(2 * PipeConnection::slice_ms);
    EXPECT_TRUE(creator.connection.connected());
    creator.outgoing.add(file_named("still here"));
    creator.outgoing.end();
    opener.outgoing.end();
    EXPECT_EQ(names_of(opener.drain()), Strings{"still here"});
    ASSERT_TRUE(creator.connection.wait_ended(5000));
    EXPECT_EQ(creator.connection.error, 0);
  }
  {
    SCOPED_TRACE("a creator still waiting stops on it");
    Side creator;
    ASSERT_TRUE(creator.open(name(), true));
    sleep(PipeConnection::slice_ms);
    errevent.set();
    ASSERT_TRUE(creator.connection.wait_ended(3 * PipeConnection::slice_ms + 500));
    EXPECT_EQ(creator.connection.state(), PipeConnection::State::failed);
  }
  {
    SCOPED_TRACE("\"_clientcreated\" set early is seen at once, then reset");
    Event client_created;
    ASSERT_TRUE(client_created.create(name() + "_clientcreated"));
    client_created.set();  // as the conduit does right after starting the program
    Side creator(5000);
    ASSERT_TRUE(creator.open(name(), true, true));
    DirectionalPipe raw;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(raw.open(name(), 2000));
    EXPECT_LT(milliseconds_since(start), 2000);
    EXPECT_FALSE(client_created.wait(0));
    creator.outgoing.end();
    write_raw(raw, {0, 0, 0, 0});
    EXPECT_EQ(read_raw(raw, 4), (std::vector<uint8_t>{0, 0, 0, 0}));
    ASSERT_TRUE(creator.connection.wait_ended(5000));
    EXPECT_EQ(creator.connection.error, 0);
  }
}

TEST_F(PipeConnectionTest, CloseDoesNotWaitForThePeer) {
  for (bool blocked_writing : {false, true}) {
    SCOPED_TRACE(blocked_writing ? "a write blocked on a full ring" : "an idle peer");
    Side creator;
    Side opener;
    DirectionalPipe raw;  // a peer that never reads
    ASSERT_TRUE(creator.open(name(), true));
    if (blocked_writing) {
      ASSERT_TRUE(raw.open(name(), 5000));
      for (int i = 0; i < 2000; ++i) creator.outgoing.add(file_named(std::string(100, 'p')));
      sleep(PipeConnection::slice_ms);
    } else {
      ASSERT_TRUE(opener.open(name(), false));
    }
    ASSERT_TRUE(creator.connection.wait_connected(5000));
    const auto start = std::chrono::steady_clock::now();
    creator.connection.close();
    EXPECT_LT(milliseconds_since(start), 500);
    MessageList got;
    EXPECT_FALSE(PipeConnection::take_all(creator.incoming, got, 0));
    if (!blocked_writing) {
      // The peer sees the connection end without an end marker.
      EXPECT_TRUE(opener.drain().empty());
      ASSERT_TRUE(opener.connection.wait_ended(5000));
      EXPECT_EQ(opener.connection.error, errors::pipe_lost_connection);
    }
  }
}

}  // namespace
}  // namespace wayfetch
