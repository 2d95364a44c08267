#include "core/directional_pipe.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tests/core/peer_process.h"
#include "tests/core/pipe_fixture.h"

namespace wayfetch {
namespace {

using testing::pattern_byte;
using testing::PeerProcess;

class DirectionalPipeTest : public testing::PipeFixture {};

TEST_F(DirectionalPipeTest, CreatorWaitsForTheRightOpenerThenTransfersBothWays) {
  DirectionalPipe creator;
  std::atomic<int> created{-1};
  std::thread creating([&] { created = creator.create(name(), 5000, 64) ? 1 : 0; });
  SharedBlock wrong;  // wants to read where the creator reads
  EXPECT_FALSE(wrong.open(name("R"), SharedBlock::kind_w, 2000));
  EXPECT_EQ(wrong.error, errors::pipe_same_direction);
  DirectionalPipe opener;
  ASSERT_TRUE(opener.open(name(), 2000));
  creating.join();
  ASSERT_EQ(created.load(), 1);
  EXPECT_TRUE(creator.connected());
  EXPECT_TRUE(opener.connected());

  // An asynchronous read completes once the peer writes.
  std::vector<uint8_t> in(10);
  PipeRequest reading;
  reading.buffer = in.data();
  reading.length = 10;
  ASSERT_FALSE(creator.start_read(reading));
  EXPECT_FALSE(creator.wait(reading, 50));
  EXPECT_FALSE(creator.request_connected(reading));
  const char text[] = "0123456789";
  EXPECT_EQ(opener.write(text, 10), 10);
  ASSERT_TRUE(creator.wait(reading, 5000));
  EXPECT_EQ(reading.transferred, 10);
  EXPECT_EQ(std::string(in.begin(), in.end()), "0123456789");
  EXPECT_TRUE(creator.request_connected(reading));

  // An asynchronous write larger than the ring, the other way.
  std::vector<uint8_t> out(1000);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = pattern_byte(i);
  PipeRequest writing;
  writing.buffer = out.data();
  writing.length = 1000;
  ASSERT_FALSE(opener.start_write(writing));
  std::vector<uint8_t> got(1000);
  EXPECT_EQ(creator.read(got.data(), 1000), 1000);
  ASSERT_TRUE(opener.wait(writing, 5000));
  EXPECT_EQ(writing.transferred, 1000);
  EXPECT_EQ(writing.direction, PipeRequest::direction_write);
  EXPECT_EQ(got, out);

  // A started read is ended by the peer's close, and the request reused.
  ASSERT_FALSE(creator.start_read(reading));
  EXPECT_EQ(opener.write(text, 4), 4);
  opener.close();
  ASSERT_TRUE(creator.wait(reading, 5000));
  EXPECT_EQ(reading.transferred, 4);
  EXPECT_EQ(creator.inbound().error, errors::pipe_lost_connection);
  EXPECT_FALSE(creator.request_connected(reading));
  EXPECT_FALSE(creator.connected());
  creator.close();  // joins the workers before the requests go
}

TEST_F(DirectionalPipeTest, CreateGivesUpWhenNobodyOpens) {
  DirectionalPipe creator;
  EXPECT_FALSE(creator.create(name(), 100, 64));
  EXPECT_EQ(header_word(name("R"), 0), -1);  // both blocks closed and removed
  EXPECT_EQ(header_word(name("W"), 0), -1);
}

// Many megabytes between two processes: the data arrives intact and no wait
// ever needs its liveness slice (each side wakes the other every time).
TEST_F(DirectionalPipeTest, LongTransferBetweenProcesses) {
  struct Case {
    int32_t ring;
    int64_t bytes;
  };
  for (const Case& c : {Case{8, 256 << 10}, Case{32768, 100 << 20}}) {
    SCOPED_TRACE(c.ring);
    PeerProcess peer({});
    peer.send("open-pipe " + name());
    DirectionalPipe pipe;
    ASSERT_TRUE(pipe.create(name(), 5000, c.ring));
    ASSERT_EQ(peer.answer(), "opened");
    peer.send("write " + std::to_string(c.bytes));
    std::vector<uint8_t> chunk(1 << 20);
    int64_t done = 0;
    bool intact = true;
    while (done < c.bytes) {
      auto length = static_cast<int32_t>(std::min<int64_t>(chunk.size(), c.bytes - done));
      ASSERT_EQ(pipe.read(chunk.data(), length), length);
      for (int32_t i = 0; i < length; ++i) {
        intact = intact && chunk[i] == pattern_byte(static_cast<uint64_t>(done + i));
      }
      done += length;
    }
    EXPECT_TRUE(intact);
    EXPECT_EQ(peer.answer(60000), "wrote " + std::to_string(c.bytes) + " 0");
    peer.send("idle");
    EXPECT_EQ(peer.answer(), "idle 0");
    EXPECT_EQ(pipe.inbound().idle_slices(), 0);
  }
}

}  // namespace
}  // namespace wayfetch
