// A peer killed with SIGKILL at the worst moments: the survivor's blocked
// read ends with "lost connection" within a second, and the name can be created again at
// once.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/shared_block.h"
#include "tests/core/peer_process.h"
#include "tests/core/pipe_fixture.h"

namespace wayfetch {
namespace {

using testing::PeerProcess;

class PipeCrashTest : public testing::PipeFixture {};

TEST_F(PipeCrashTest, SurvivorLearnsOfAKilledPeerWithinASecond) {
  struct Case {
    const char* what;
    bool peer_creates;
    bool peer_holds_lock;
  };
  for (const Case& c : {Case{"opener killed mid-transfer", false, false},
                        Case{"creator killed mid-transfer", true, false},
                        Case{"opener killed holding the lock", false, true},
                        Case{"creator killed holding the lock", true, true}}) {
    SCOPED_TRACE(c.what);
    PeerProcess peer({});
    ASSERT_TRUE(peer.started());
    auto survivor = std::make_unique<SharedBlock>();
    if (c.peer_creates) {
      peer.send("create-block " + name() + " 1 32768");
      ASSERT_EQ(peer.answer(), "created");
      ASSERT_TRUE(survivor->open(name(), 1, 5000));
    } else {
      ASSERT_TRUE(survivor->create(name(), 1, 0, 32768));
      peer.send("open-block " + name() + " 1");
      ASSERT_EQ(peer.answer(), "opened");
    }
    peer.send(c.peer_holds_lock ? "hold-lock " + name() : "write 1000000000");
    if (c.peer_holds_lock) {
      ASSERT_EQ(peer.answer(), "locked");
    }

    std::vector<uint8_t> bytes(1 << 20);
    std::atomic<bool> ended{false};
    std::thread reading([&] {
      while (survivor->read(bytes.data(), static_cast<int32_t>(bytes.size())) ==
             static_cast<int32_t>(bytes.size())) {
      }
      ended = true;
    });
    sleep(300);  // well into the transfer, or blocked on the lock
    EXPECT_FALSE(ended.load());
    const auto killed = std::chrono::steady_clock::now();
    peer.kill();
    reading.join();
    EXPECT_LT(milliseconds_since(killed), 1000);
    EXPECT_EQ(survivor->error, errors::pipe_lost_connection);

    survivor.reset();  // skips the disconnect: nobody is there
    SharedBlock again;
    EXPECT_TRUE(again.create(name(), 1, 0, 64));
  }
}

}  // namespace
}  // namespace wayfetch
