#include "platform/named_objects.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

namespace wayfetch::platform {
namespace {

// Names unique to this test process: the suite runs test cases in parallel.
std::string unique(const char* base) {
  return std::string(base) + "_" + std::to_string(getpid());
}

int32_t any(std::initializer_list<Waitable*> objects, int32_t timeout_ms) {
  return wait_for_any(std::span<Waitable* const>(objects.begin(), objects.size()), timeout_ms);
}

// Each test gets its own runtime folder, removed afterwards.
class NamedObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_runtime_ = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    saved_tmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    restore("XDG_RUNTIME_DIR", saved_runtime_);
    restore("TMPDIR", saved_tmp_);
  }
  static void restore(const char* name, const std::string& value) {
    if (value.empty()) {
      unsetenv(name);
    } else {
      setenv(name, value.c_str(), 1);
    }
  }
  testing::TempDir dir_;
  std::string saved_runtime_, saved_tmp_;
};

TEST_F(NamedObjectsTest, NamesAreSafeAndPrivate) {
  std::string prefix = "wayfetch-" + std::to_string(geteuid()) + "-";
  EXPECT_EQ(named_object_name("Wayfetch_conduit_pipeR_lock"),
            prefix + "Wayfetch_conduit_pipeR_lock");
  EXPECT_EQ(named_object_name("a/../b c"), prefix + "a%2F%2E%2E%2Fb%20c");
  EXPECT_EQ(named_object_name("\xC3\xA9"), prefix + "%C3%A9");
  EXPECT_EQ(named_object_name(""), "");
  EXPECT_EQ(named_object_name(std::string(200, 'x')), prefix + std::string(200, 'x'));
  EXPECT_EQ(named_object_name(std::string(201, 'x')), "");
  EXPECT_EQ(named_object_name(std::string(67, '/')), "");  // 201 bytes once escaped
}

TEST_F(NamedObjectsTest, CreatesAPrivateFolder) {
  EXPECT_EQ(runtime_folder(), dir_.path() + "/wayfetch");
  struct stat info {};
  ASSERT_EQ(stat((dir_.path() + "/wayfetch").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(NamedObjectsTest, RefusesAFolderOthersCanUse) {
  unsetenv("XDG_RUNTIME_DIR");
  setenv("TMPDIR", dir_.path().c_str(), 1);
  std::string folder = dir_.path() + "/wayfetch-" + std::to_string(geteuid());
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  chmod(folder.c_str(), 0777);  // as if planted by someone else
  EXPECT_EQ(runtime_folder(), "");
  EXPECT_EQ(open_named_event("x"), nullptr);
  chmod(folder.c_str(), 0700);
  EXPECT_EQ(runtime_folder(), folder);
}

TEST_F(NamedObjectsTest, EventIsSharedAndForgottenWithItsLastHolder) {
  std::string name = unique("event");
  auto first = open_named_event(name);
  auto second = open_named_event(name);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(second->wait(0));
  first->set();
  first->set();
  EXPECT_TRUE(second->wait(0));
  EXPECT_TRUE(second->wait(0));  // manual reset
  second->reset();
  EXPECT_FALSE(first->wait(0));
  first->set();
  first.reset();
  EXPECT_TRUE(second->wait(0));  // one holder keeps the state
  second.reset();
  auto again = open_named_event(name);
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(again->wait(0));  // nobody held it: starts non-signalled
}

TEST_F(NamedObjectsTest, EventWakesAPollingWaitFromAnotherThread) {
  auto waiting = open_named_event(unique("wake"));
  auto setter = open_named_event(unique("wake"));
  auto local = create_event();
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    setter->set();
  });
  EXPECT_EQ(any({local.get(), waiting.get()}, 5000), 1);
  other.join();
}

TEST_F(NamedObjectsTest, SemaphoreKeepsItsCountAcrossOpens) {
  std::string name = unique("semaphore");
  remove_named_semaphore(name);
  auto first = open_named_semaphore(name, 1);
  auto second = open_named_semaphore(name, 5);  // exists: keeps count 1
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->wait(0));
  EXPECT_FALSE(first->wait(0));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(first->wait(25));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
  EXPECT_TRUE(second->release());
  EXPECT_TRUE(first->wait(-1));
  EXPECT_TRUE(remove_named_semaphore(name));
  EXPECT_FALSE(remove_named_semaphore(name));
  EXPECT_EQ(open_named_semaphore("", 0), nullptr);
  EXPECT_EQ(open_named_semaphore(name, -1), nullptr);
}

TEST_F(NamedObjectsTest, SemaphoreJoinsWaitsWithLocalObjects) {
  std::string name = unique("mixed");
  remove_named_semaphore(name);
  auto named = open_named_semaphore(name, 0);
  auto local = create_semaphore(1);
  ASSERT_NE(named, nullptr);
  Waitable* both[] = {named.get(), local.get()};
  EXPECT_EQ(wait_for_all(both, 10), wait_timeout);
  EXPECT_TRUE(local->wait(0));  // given back
  EXPECT_TRUE(local->release());
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    named->release();
  });
  EXPECT_EQ(wait_for_all(both, 5000), 0);
  releaser.join();
  EXPECT_FALSE(named->wait(0));
  EXPECT_FALSE(local->wait(0));
  named->release();
  EXPECT_EQ(any({local.get(), named.get()}, 1000), 1);
  remove_named_semaphore(name);
}

}  // namespace
}  // namespace wayfetch::platform
