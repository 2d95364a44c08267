#include "core/shared_block.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/named_objects.h"
#include "tests/core/peer_process.h"
#include "tests/core/pipe_fixture.h"

namespace wayfetch {
namespace {

using platform::system_shared_memory;
using testing::pattern_byte;
using testing::PeerProcess;

class SharedBlockTest : public testing::PipeFixture {};

TEST_F(SharedBlockTest, SmallRingPassesTwentyBytesWithAtMostSevenBuffered) {
  SharedBlock reader;
  SharedBlock writer;
  ASSERT_TRUE(reader.create(name(), 1, 0, 8));
  EXPECT_FALSE(reader.connected());
  ASSERT_TRUE(writer.open(name(), 1, 1000));
  EXPECT_TRUE(reader.connected());
  std::vector<uint8_t> sent(20);
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = pattern_byte(i);
  std::atomic<int32_t> written{-1};
  std::thread writing([&] { written = writer.write(sent.data(), 20); });

  std::vector<uint8_t> received(20);
  ASSERT_EQ(reader.read(received.data(), 3), 3);
  // The writer fills the ring up to 7 bytes (one stays unused) and waits.
  const auto start = std::chrono::steady_clock::now();
  auto buffered = [&] { return (header_word(name(), 3) - header_word(name(), 2) + 8) % 8; };
  while (buffered() != 7 && milliseconds_since(start) < 5000) sleep(1);
  EXPECT_EQ(buffered(), 7);
  EXPECT_EQ(written.load(), -1);
  ASSERT_EQ(reader.read(received.data() + 3, 17), 17);  // wraps twice
  writing.join();
  EXPECT_EQ(written.load(), 20);
  EXPECT_EQ(received, sent);
  EXPECT_EQ(reader.error, 0);
  EXPECT_EQ(reader.idle_slices() + writer.idle_slices(), 0);
}

TEST_F(SharedBlockTest, OpenRefusesAWrongKindAndAConnectedBlock) {
  SharedBlock creator;
  ASSERT_TRUE(creator.create(name(), 1, 0, 64));
  SharedBlock wrong;
  EXPECT_FALSE(wrong.open(name(), 0, 100));
  EXPECT_EQ(wrong.error, errors::pipe_same_direction);
  EXPECT_EQ(header_word(name(), 1), 1);  // the creator still waits

  SharedBlock first;
  ASSERT_TRUE(first.open(name(), 1, 100));
  SharedBlock second;
  EXPECT_FALSE(second.open(name(), 1, 100));
  EXPECT_EQ(second.error, 0);
  EXPECT_TRUE(first.connected());  // the refused opener touched nothing
}

TEST_F(SharedBlockTest, CloseEndsThePeersBlockedReadWithItsCount) {
  PeerProcess peer({});
  ASSERT_TRUE(peer.started());
  peer.send("create-block " + name() + " 1 64");
  ASSERT_EQ(peer.answer(), "created");
  SharedBlock reader;
  ASSERT_TRUE(reader.open(name(), 1, 5000));
  peer.send("write 5");
  ASSERT_EQ(peer.answer(), "wrote 5 0");
  std::vector<uint8_t> received(10);
  std::thread closer([&] {
    sleep(100);
    peer.send("close");
  });
  EXPECT_EQ(reader.read(received.data(), 10), 5);
  closer.join();
  EXPECT_EQ(reader.error, errors::pipe_lost_connection);
  EXPECT_EQ(peer.answer(), "closed");
  EXPECT_EQ(received[4], pattern_byte(4));
}

TEST_F(SharedBlockTest, CreateWaitsForANameStillHeld) {
  SharedBlock holder;
  ASSERT_TRUE(holder.create(name(), 1, 0, 64));
  SharedBlock next;
  EXPECT_FALSE(next.create(name(), 1, 0, 64));
  EXPECT_TRUE(holder.is_mapped());
  std::thread release([&] {
    sleep(150);
    holder.close();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(next.create(name(), 1, 5000, 64));
  EXPECT_GE(milliseconds_since(start), 100);
  release.join();
}

TEST_F(SharedBlockTest, LeftOverNamesAreMadeAfresh) {
  auto& system = system_shared_memory();
  // What a creator killed half-way leaves: a mapping and a stray "_lock" at 1.
  std::unique_ptr<platform::SharedMapping> stale;
  ASSERT_EQ(system.create_mapping(name(), 100, stale), platform::SharedResult::ok);
  auto stray = system.create_semaphore(name() + "_lock", 1);
  ASSERT_NE(stray, nullptr);

  SharedBlock block;
  ASSERT_TRUE(block.create(name(), 1, 0, 64));
  auto lock = system.open_semaphore(name() + "_lock");
  ASSERT_NE(lock, nullptr);
  EXPECT_TRUE(lock->wait(0));
  EXPECT_FALSE(lock->wait(0));  // one count, not two
  lock->release();
  EXPECT_EQ(header_word(name(), 4), 64);

  block.close();  // the creator's close removes every name
  EXPECT_EQ(header_word(name(), 0), -1);
  EXPECT_EQ(system.open_semaphore(name() + "_lock"), nullptr);
}

TEST_F(SharedBlockTest, OpenWaitsOutABlockBeingCreated) {
  auto& system = system_shared_memory();
  struct Case {
    const char* what;
    std::size_t size;
    uint32_t state;
    bool semaphores;
  };
  for (const Case& c :
       {Case{"mapping smaller than a header", 10, 0, true}, Case{"state 0", 84, 0, true},
        Case{"no semaphores yet", 84, 1, false}, Case{"no creator's mark", 84, 1, true}}) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<platform::SharedMapping> partial;
    ASSERT_EQ(system.create_mapping(name(), c.size, partial), platform::SharedResult::ok);
    if (c.size >= 20) {
      std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(partial->data() + 4)).store(c.state);
      std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(partial->data() + 16)).store(64);
    }
    std::vector<std::unique_ptr<platform::SemaphoreObject>> semaphores;
    if (c.semaphores) {
      for (const char* suffix : {"_changed", "_lock", "_space"}) {
        semaphores.push_back(system.create_semaphore(name() + suffix, 1));
      }
    }
    SharedBlock opener;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(opener.open(name(), 1, 100));
    EXPECT_GE(milliseconds_since(start), 100);
    EXPECT_EQ(opener.error, 0);
    // The creator gets there in the end; the open still waiting succeeds.
    std::thread creating([&] {
      sleep(60);
      SharedBlock creator;
      ASSERT_TRUE(creator.create(name(), 1, 1000, 64));
      sleep(200);
    });
    EXPECT_TRUE(opener.open(name(), 1, 2000));
    creating.join();
    partial.reset();
    for (const char* suffix : {"_changed", "_lock", "_space"})
      system.remove_semaphore(name() + suffix);
  }
}

TEST_F(SharedBlockTest, NamesArePrivateAndScopedByTheRuntimeFolder) {
  SharedBlock block;
  ASSERT_TRUE(block.create(name(), 1, 0, 64));
  const std::string object =
      "/dev/shm/" + platform::named_object_name(
                        platform::runtime_scope(platform::runtime_folder()) + "-" + name());
  struct stat info {};
  ASSERT_EQ(stat(object.c_str(), &info), 0) << object;
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(info.st_uid, geteuid());

  testing::TempDir other;
  setenv("XDG_RUNTIME_DIR", other.path().c_str(), 1);
  SharedBlock elsewhere;
  EXPECT_FALSE(elsewhere.open(name(), 1, 0));
  EXPECT_TRUE(elsewhere.create(name(), 1, 0, 64));  // a block of its own
  elsewhere.close();
  setenv("XDG_RUNTIME_DIR", folder_.path().c_str(), 1);
}

// A peer that writes a header out of range ends the transfer like a lost
// peer, and nothing is copied.
TEST_F(SharedBlockTest, AnUntrustedHeaderEndsTheTransfer) {
  struct Case {
    int32_t offset;
    uint32_t value;
    bool reading;
  };
  for (const Case& c : {Case{16, 65, true}, Case{16, 0xFFFFFFF0u, false}, Case{8, 64, true},
                        Case{12, 0x80000000u, false}, Case{8, 0xFFFFFFFFu, false}}) {
    SCOPED_TRACE(::testing::Message() << "offset " << c.offset << " value " << c.value);
    PeerProcess peer({});
    SharedBlock block;
    ASSERT_TRUE(block.create(name(), 1, 0, 64));
    peer.send("open-block " + name() + " 1");
    ASSERT_EQ(peer.answer(), "opened");
    peer.send("poke " + name() + " " + std::to_string(c.offset) + " " + std::to_string(c.value));
    ASSERT_EQ(peer.answer(), "poked");
    std::vector<uint8_t> bytes(32, 0xAB);
    EXPECT_EQ(c.reading ? block.read(bytes.data(), 32) : block.write(bytes.data(), 32), 0);
    EXPECT_EQ(block.error, errors::pipe_lost_connection);
    EXPECT_EQ(bytes, std::vector<uint8_t>(32, 0xAB));
    EXPECT_FALSE(block.connected());
  }
}

}  // namespace
}  // namespace wayfetch
