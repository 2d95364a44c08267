// The program as real processes: an instance in a private installation and
// the later starts that talk to it.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/instance_lock.h"
#include "platform/process_handle.h"
#include "tests/app/program_process.h"
#include "tests/support/palm_books.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::read_bytes;
using testing::write_bytes;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class ProgramProcessTest : public ::testing::Test {
 protected:
  ProgramProcessTest() : program_(WAYFETCH_PROGRAM, dir_.path()) {
    std::filesystem::create_directories(dir_.file("my files"));
    write_bytes(enews_file(),
                read_bytes(std::string(WAYFETCH_SOURCE_DIR) + "/examples/enews/harbour.enews"));
    write_bytes(other_file(), "just some text\n");
  }
  // An instance left by a failed check must not outlive the test.
  ~ProgramProcessTest() override { (void)run({"-k"}); }

  std::string settings_file() const { return program_.config_dir() + "/lorvane-wayfetch/settings"; }
  std::string enews_file() const { return dir_.file("my files/harbour news.enews"); }
  std::string other_file() const { return dir_.file("my files/not an enews.enews"); }

  // Starts `wayfetch ARGS` in the background; its messages are err<N>.
  pid_t start(const std::vector<std::string>& args) {
    instance_err_ = dir_.file("err" + std::to_string(starts_++));
    return program_.start(args);
  }
  testing::ProgramResult run(const std::vector<std::string>& args) {
    ++starts_;
    return program_.run(args);
  }
  // `wayfetch-hotsync ARGS` in the same private folders as the program.
  testing::ProgramResult hotsync(const std::vector<std::string>& args) {
    ++starts_;
    const pid_t pid = program_.start(args, "exec '" WAYFETCH_HOTSYNC "' \"$@\"");
    return pid > 0 ? program_.wait(pid, 90s) : testing::ProgramResult{};
  }
  // Bounded waits for the instance's id and for a text in its messages.
  // An ended instance leaves its id behind: with `id`, only that one counts.
  bool wait_for_instance(pid_t id = 0) const {
    return eventually([&] {
      const std::string held = read_bytes(dir_.file("run/wayfetch/wayfetch.lock"));
      return id == 0 ? !held.empty() : held == std::to_string(id);
    });
  }
  bool wait_for_text(const std::string& text) const {
    return eventually([&] { return read_bytes(instance_err_).find(text) != std::string::npos; });
  }
  template <typename Check>
  static bool eventually(Check check) {
    const auto end = Clock::now() + 10s;
    while (!check()) {
      if (Clock::now() > end) return false;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }

  testing::TempDir dir_;
  testing::ProgramProcess program_;
  int starts_ = 0;
  std::string instance_err_;
};

TEST_F(ProgramProcessTest, LaterStartsReachTheInstance) {
  // No instance: "-k" ends at once.
  auto begin = Clock::now();
  EXPECT_EQ(run({"-k"}).status, 0);
  EXPECT_LT(Clock::now() - begin, 2s);

  const pid_t instance = start({});
  ASSERT_GT(instance, 0);
  ASSERT_TRUE(wait_for_instance());

  EXPECT_EQ(run({"-m"}).status, 0);
  EXPECT_TRUE(wait_for_text("asked to show the window (not brought forward)"));
  // One argument string with a quoted path with blanks, then a file that
  // holds no eNews.
  EXPECT_EQ(run({"-enews \"" + enews_file() + "\""}).status, 0);
  EXPECT_TRUE(wait_for_text("Die E-News wurde gespeichert."));
  EXPECT_EQ(run({"-enews", other_file()}).status, 0);
  EXPECT_TRUE(wait_for_text("keine gültige E-News-Signatur: " + other_file()));
  // The handheld synchronises: the instance starts its update.
  EXPECT_EQ(run({"-conduit"}).status, 0);
  EXPECT_TRUE(wait_for_text("Startet Synchronisierung..."));
  // A command-line writer finds the installation taken.
  EXPECT_EQ(run({"--subscribe", enews_file()}).status, 3);

  begin = Clock::now();
  EXPECT_EQ(run({"-k"}).status, 0);
  EXPECT_LT(Clock::now() - begin, 5s);
  EXPECT_NE(program_.wait(instance, 5s).status, -1);
  const testing::ProgramResult list = run({"--list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("The Harbour Gazette"), std::string::npos) << list.out;
}

TEST_F(ProgramProcessTest, ForwardingStartsAnInstanceWhenNoneRuns) {
  // Nothing installed: nothing to start.
  const std::string relative = std::filesystem::relative(enews_file()).string();
  EXPECT_EQ(run({"-enews", relative}).status, 1);
  // Installed: the program is started and the relative path made absolute
  // against the forwarding start's folder.
  write_bytes(settings_file(),
              "[SOFTWARE\\Lorvane\\Wayfetch]\nWayfetch Exe=" WAYFETCH_PROGRAM "\n");
  const testing::ProgramResult forwarded = run({"-enews", relative});
  EXPECT_EQ(forwarded.status, 0) << forwarded.err;
  ASSERT_TRUE(wait_for_instance());
  EXPECT_EQ(run({"-k"}).status, 0);
  const testing::ProgramResult list = run({"--list"});
  EXPECT_NE(list.out.find("The Harbour Gazette"), std::string::npos) << list.out << list.err;
}

TEST_F(ProgramProcessTest, KillNeverSignalsAStaleOrForeignId) {
  // The test's own id, first in a file nobody holds, then held by this
  // process, which runs another program file: "-k" must leave it alone
  // (a wrong signal would end the test itself).
  const std::string folder = dir_.file("run/wayfetch");
  std::filesystem::create_directories(folder);
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
  const std::string id = std::to_string(platform::current_process_id());
  write_bytes(folder + "/wayfetch.lock", id);
  EXPECT_EQ(run({"-k"}).status, 0);
  platform::InstanceLock lock;
  ASSERT_EQ(lock.try_lock(folder + "/wayfetch.lock"), platform::InstanceLock::Result::locked);
  ASSERT_TRUE(lock.publish(id));
  EXPECT_EQ(run({"-k"}).status, 0);
  lock.unlock();
}

// SIGINT, SIGTERM and SIGHUP end the instance as Exit does: the list is
// saved and the installation free again, then it ends by the signal.
TEST_F(ProgramProcessTest, StopSignalsEndTheInstanceAsExitDoes) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    const pid_t instance = start({});
    ASSERT_GT(instance, 0);
    ASSERT_TRUE(wait_for_instance(instance));
    ASSERT_EQ(run({"-enews", enews_file()}).status, 0);
    ASSERT_TRUE(wait_for_text("Die E-News wurde gespeichert."));
    ASSERT_EQ(kill(instance, signal_number), 0);
    EXPECT_EQ(program_.wait(instance, 10s).status, 128 + signal_number);
    const testing::ProgramResult list = run({"--list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("The Harbour Gazette"), std::string::npos) << list.out;
    const testing::ProgramResult removed = run({"--unsubscribe", "harbour"});
    ASSERT_EQ(removed.status, 0) << removed.err << list.out;
  }
}

// A HotSync: the host runs the conduit the instance registered at its
// start, the conduit starts "wayfetch -conduit", and the update that start
// causes installs the book built before in the handheld folder. Once with
// the instance running, once with none (the conduit's start becomes it).
TEST_F(ProgramProcessTest, HotSyncInstallsTheBuiltBook) {
  write_bytes(settings_file(), "[SOFTWARE\\Lorvane\\Wayfetch]\nAssume online=yes\n");
  const std::string folder = std::string(WAYFETCH_SOURCE_DIR) + "/examples/enews";
  std::string address = "file://";
  for (const char c : folder) address += c == ' ' ? std::string("%20") : std::string(1, c);
  std::string description = read_bytes(folder + "/harbour.enews");
  for (std::size_t at = 0; (at = description.find("@EXAMPLE@", at)) != std::string::npos;) {
    description.replace(at, 9, address);
    at += address.size();
  }
  write_bytes(enews_file(), description);
  ASSERT_EQ(run({"--subscribe", enews_file()}).status, 0);
  const testing::ProgramResult update = run({"--update"});
  ASSERT_EQ(update.status, 0) << update.err;
  // "PATH (N bytes)", one line per book.
  const std::size_t size_at = update.out.find(" (");
  ASSERT_NE(size_at, std::string::npos) << update.out;
  const std::string book = update.out.substr(0, size_at);

  for (const bool running : {true, false}) {
    SCOPED_TRACE(running ? "instance running" : "no instance");
    const std::string palm = dir_.file(running ? "palm1" : "palm2");
    std::filesystem::create_directories(palm);
    pid_t instance = -1;
    if (running) {
      instance = start({});
      ASSERT_GT(instance, 0);
      ASSERT_TRUE(wait_for_instance());
    }
    const testing::ProgramResult sync = hotsync({"--handheld", palm, "--timeout", "60"});
    EXPECT_EQ(sync.status, 0) << sync.out << sync.err;
    EXPECT_NE(sync.out.find("HotSync finished"), std::string::npos) << sync.out;
    testing::expect_same_database(book, palm + "/The Harbour Gazette.pdb", false);

    EXPECT_EQ(run({"-k"}).status, 0);
    if (running) {
      EXPECT_EQ(program_.wait(instance, 5s).status, 0);
    }
    // Ended either way: the installation is free.
    EXPECT_EQ(run({"--list"}).status, 0);
  }
}

}  // namespace
}  // namespace wayfetch
