// Pipe connections between this process and the pipe client
// (tests/delivery/pipe_client.cc), a separate process that holds the
// protocol in a shared library and has no error sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/core/peer_process.h"
#include "tests/delivery/pipe_connection_fixture.h"

namespace wayfetch {
namespace {

using testing::file_named;
using testing::names_of;
using testing::PeerProcess;
using testing::Side;

class PipeProcessTest : public testing::PipeFixture {
 protected:
  // The paths "f0" .. "f<count-1>", as the client numbers its files.
  static std::vector<std::string> numbered(std::size_t count) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < count; ++i) paths.push_back("f" + std::to_string(i));
    return paths;
  }
};

TEST_F(PipeProcessTest, FileMessagesCrossBothWays) {
  PeerProcess client({});
  ASSERT_TRUE(client.started());
  client.send("open " + name() + " opening nowait 15000");
  ASSERT_EQ(client.answer(), "opened");
  client.send("files 500");
  ASSERT_EQ(client.answer(), "queued 500");
  client.send("end");
  ASSERT_EQ(client.answer(), "ended");

  Side creator;
  ASSERT_TRUE(creator.open(name(), true, true));
  for (int i = 0; i < 300; ++i) creator.outgoing.add(file_named("to client"));
  creator.outgoing.end();
  const MessageList got = creator.drain();
  EXPECT_EQ(names_of(got), numbered(500));
  ASSERT_EQ(got.size(), 500u);
  const auto& last = static_cast<const FileMessage&>(*got.back());
  EXPECT_EQ(last.size, 499);
  EXPECT_EQ(last.modified, uint64_t{499} << 33);
  EXPECT_EQ(last.state, 2);
  client.send("finish 10000");
  EXPECT_EQ(client.answer(), "finished 0 300");
  ASSERT_TRUE(creator.connection.wait_ended(5000));
  EXPECT_EQ(creator.connection.error, 0);
}

TEST_F(PipeProcessTest, OpenerKilledMidTransferLeavesWhatArrivedAndTheName) {
  PeerProcess client({});
  ASSERT_TRUE(client.started());
  Side creator;
  ASSERT_TRUE(creator.open(name(), true));
  client.send("open " + name() + " opening nowait 15000");
  ASSERT_EQ(client.answer(), "opened");
  client.send("stream");
  ASSERT_EQ(client.answer(), "streaming");
  MessageList got;
  while (got.size() < 2000 && PipeConnection::take_all(creator.incoming, got, 10000)) {
  }
  ASSERT_GE(got.size(), 2000u);
  client.kill();
  // Every message that arrived whole is there, in order; then the end.
  MessageList rest = creator.drain();
  for (auto& message : rest) got.push_back(std::move(message));
  EXPECT_EQ(names_of(got), numbered(got.size()));
  ASSERT_TRUE(creator.connection.wait_ended(5000));
  EXPECT_EQ(creator.connection.error, errors::pipe_lost_connection);
  creator.connection.close();

  PeerProcess next({});
  next.send("open " + name() + " opening nowait 15000");
  next.send("text works again");
  next.send("end");
  Side again;
  ASSERT_TRUE(again.open(name(), true));
  ASSERT_TRUE(again.connection.wait_connected(10000));
  again.outgoing.end();
  EXPECT_EQ(names_of(again.drain()), std::vector<std::string>{"works again"});
}

TEST_F(PipeProcessTest, TwoOpenersStartedTogetherAreServedInTurn) {
  PeerProcess first({});
  PeerProcess second({});
  for (PeerProcess* client : {&first, &second}) {
    client->send("open " + name() + " opening nowait 15000");
    client->send(client == &first ? "text first.enews" : "text second.enews");
    client->send("end");
  }
  std::vector<std::string> texts;
  for (int turn = 0; turn < 2; ++turn) {
    SCOPED_TRACE(turn);
    Side creator;
    ASSERT_TRUE(creator.open(name(), true));
    ASSERT_TRUE(creator.connection.wait_connected(10000));
    creator.outgoing.end();
    for (const std::string& text : names_of(creator.drain())) texts.push_back(text);
    ASSERT_TRUE(creator.connection.wait_ended(5000));
    EXPECT_EQ(creator.connection.error, 0);
  }
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"first.enews", "second.enews"}));
  for (PeerProcess* client : {&first, &second}) {
    for (const char* answer : {"opened", "queued 1", "ended"}) EXPECT_EQ(client->answer(), answer);
    client->send("finish 10000");
    EXPECT_EQ(client->answer(), "finished 0 0");
  }
}

}  // namespace
}  // namespace wayfetch
