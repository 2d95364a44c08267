// HotSyncs of the real wayfetch-hotsync host with the built conduit library,
// a handheld folder and private XDG folders in a temporary folder. The
// program's side is tests/conduit/conduit_peer.cc; "Wayfetch Exe" names a
// stand-in script that records how it was started.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/settings_store_file.h"
#include "tests/support/command_run.h"
#include "tests/support/palm_books.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace wayfetch {
namespace {

namespace fs = std::filesystem;
using HostRun = testing::CommandRun;
using testing::read_bytes;
using testing::write_book;
using testing::write_bytes;

constexpr uint32_t palm_1970 = 2082844800;  // 1970-01-01 in seconds since 1904

class ConduitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"config", "data", "runtime", "handheld", "desktop"})
      fs::create_directory(dir_.file(folder));
    fs::permissions(dir_.file("runtime"), fs::perms::owner_all);
    // The host, the conduit in it, the peer and the stand-in meet here only.
    setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
    setenv("XDG_DATA_HOME", dir_.file("data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir_.file("runtime").c_str(), 1);
    ASSERT_EQ(host("--register LORV '" WAYFETCH_CONDUIT "' --title Lorvane").status, 0);
  }
  void TearDown() override {
    if (peer_ > 0) ::kill(peer_, SIGKILL);
    peer_output();
  }

  std::string handheld(const std::string& file) const { return dir_.file("handheld/" + file); }
  std::string desktop(const std::string& file) const { return dir_.file("desktop/" + file); }

  // "Wayfetch Exe" names `program` (nothing stored when empty).
  void install_program(const std::string& program) {
    if (program.empty()) return;
    platform::FileSettingsStore settings(dir_.file("config/lorvane-wayfetch/settings"));
    ASSERT_TRUE(settings.write_value("SOFTWARE\\Lorvane\\Wayfetch", "Wayfetch Exe", program).ok());
  }
  // A stand-in for the program: records its arguments, session and standard
  // streams in "started", and exits.
  std::string stand_in() const {
    const std::string path = dir_.file("wayfetch");
    write_bytes(path,
                "#!/bin/sh\nargs=\"$*\"\nread -r stat < /proc/$$/stat\nset -- $stat\n"
                "echo \"$args session=$6 in=$(readlink /proc/$$/fd/0) "
                "out=$(readlink /proc/$$/fd/1)\" >> '" +
                    dir_.file("started") + "'\n");
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }

  HostRun host(const std::string& arguments) const {
    return testing::run_command("'" WAYFETCH_HOTSYNC "' " + arguments + " 2>&1");
  }
  HostRun hotsync() const { return host("--handheld '" + dir_.file("handheld") + "'"); }

  // Starts the peer with a script of lines.
  void start_peer(const std::vector<std::string>& lines) {
    std::string script;
    for (const std::string& line : lines) script += line + "\n";
    write_bytes(dir_.file("peer.script"), script);
    std::vector<std::string> all{WAYFETCH_CONDUIT_PEER, dir_.file("peer.script"),
                                 dir_.file("peer.out")};
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&peer_, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  }
  // What the peer recorded, once it has ended (at most 40 s).
  std::string peer_output() {
    for (int i = 0; peer_ > 0 && i < 4000; ++i) {
      int status = 0;
      if (waitpid(peer_, &status, WNOHANG) == peer_) peer_ = -1;
      if (peer_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return read_bytes(dir_.file("peer.out"));
  }

  testing::TempDir dir_;
  pid_t peer_ = -1;
};

void expect_lines(const std::string& output, const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    EXPECT_NE(output.find(line), std::string::npos) << "missing: " << line << "\n" << output;
}

TEST_F(ConduitTest, OneHotSyncCarriesOutTheAnnouncements) {
  const auto now = static_cast<uint32_t>(std::time(nullptr)) + palm_1970;
  write_book(handheld("rebuilt.pdb"), {.name = "Rebuilt", .records = {"old"}});
  write_book(handheld("kept.pdb"), {.name = "Kept", .records = {"handheld"}, .modified = now});
  write_book(handheld("stale.pdb"), {.name = "Stale", .records = {"old"}, .modified = palm_1970});
  write_book(handheld("gone.pdb"), {.name = "Gone", .records = {"x"}});
  write_book(handheld("other.pdb"), {.name = "Other", .records = {"y"}});
  write_book(handheld("log.pdb"), {"Log", "LogF", "LORV", {"r0", "", "r2"}});
  fs::copy_file(handheld("log.pdb"), dir_.file("log-before.pdb"));
  fs::copy_file(handheld("kept.pdb"), dir_.file("kept-before.pdb"));

  write_book(desktop("fresh.prc"), {.name = "Fresh", .records = {"one", "", "three"}});
  write_book(desktop("rebuilt.prc"), {.name = "Rebuilt", .records = {"new", "newer"}});
  write_book(desktop("kept.prc"), {.name = "Kept", .records = {"desktop"}});
  write_book(desktop("stale.prc"), {.name = "Stale", .records = {"fresh"}});
  write_book(desktop("huge.prc"), {.name = "Huge", .records = {"a", std::string(70000, 'h')}});
  fs::last_write_time(desktop("kept.prc"),
                      fs::file_time_type::clock::now() - std::chrono::hours(24));
  // What an announcement may name besides books.
  fs::create_directory(desktop("folder.prc"));
  ASSERT_EQ(::mkfifo(desktop("fifo.prc").c_str(), 0600), 0);
  write_bytes(desktop("corrupt.prc"), std::string(200, '\xFF'));

  install_program(stand_in());
  start_peer({"open", "send 2 0 " + desktop("fresh.prc"), "send 2 0 " + desktop("rebuilt.prc"),
              "send 4 0 " + desktop("kept.prc"), "send 4 0 " + desktop("stale.prc"),
              "send 1 0 " + desktop("Gone.prc"), "send 6 0 " + desktop("pending.prc"),
              "send 2 0 " + desktop("huge.prc"), "send 3 1 " + desktop("lorvbook_temp.mbl"),
              "send 2 0 " + desktop("folder.prc"), "send 2 0 " + desktop("fifo.prc"),
              "send 4 0 " + desktop("missing.prc"), "send 2 0 " + desktop("corrupt.prc"),
              "send 9 0 " + desktop("fresh.prc"), "send 2 7 " + desktop("fresh.prc"),
              // Announced again: replaced, not refused.
              "send 2 0 " + desktop("fresh.prc"), "send 7 0 ", "end"});
  const HostRun run = hotsync();
  EXPECT_EQ(run.status, 0) << run.output;
  expect_lines(
      run.output,
      {"Skipped \"" + desktop("folder.prc") + "\": not a readable Palm database",
       "Skipped \"" + desktop("fifo.prc") + "\": not a readable Palm database",
       "Skipped \"" + desktop("missing.prc") + "\": not a readable Palm database",
       "Skipped \"" + desktop("corrupt.prc") + "\": not a readable Palm database",
       "unknown state 9 or direction 0", "unknown state 2 or direction 7",
       "Could not install \"" + desktop("huge.prc") + "\" as \"Huge\" on the handheld (16389)",
       "Conduit LORV returned 0"});
  // A clean end is no lost connection.
  EXPECT_EQ(run.output.find("lost connection"), std::string::npos) << run.output;

  // Installed and replaced books, the log read back and reported; the book
  // no announcement named arrives at the end.
  EXPECT_EQ(peer_output(), "connected\ngot 2 0 -1 " + desktop("fresh.prc") + "\ngot 2 0 -1 " +
                               desktop("rebuilt.prc") + "\ngot 2 0 -1 " + desktop("stale.prc") +
                               "\ngot 2 1 -1 " + desktop("lorvbook_temp.mbl") + "\ngot 2 0 -1 " +
                               desktop("fresh.prc") + "\ngot 0 0 0 Other\nend 0\n");
  testing::expect_same_database(desktop("fresh.prc"), handheld("Fresh.pdb"), false);
  testing::expect_same_database(desktop("rebuilt.prc"), handheld("Rebuilt.pdb"), false);
  testing::expect_same_database(desktop("stale.prc"), handheld("Stale.pdb"), false);
  testing::expect_same_database(dir_.file("kept-before.pdb"), handheld("kept.pdb"), true);
  testing::expect_same_database(dir_.file("log-before.pdb"), desktop("lorvbook_temp.mbl"), true);
  for (const char* gone : {"gone.pdb", "log.pdb", "Huge.pdb", "rebuilt.pdb", "stale.pdb"})
    EXPECT_FALSE(fs::exists(handheld(gone))) << gone;
  EXPECT_TRUE(fs::exists(handheld("other.pdb")));

  // Started once, in a session of its own, reading and writing nothing of the host's.
  const std::string started = read_bytes(dir_.file("started"));
  EXPECT_EQ(started.rfind("-conduit session=", 0), 0u) << started;
  EXPECT_NE(started.find("in=/dev/null out=/dev/null"), std::string::npos) << started;
  EXPECT_EQ(started.find("session=" + std::to_string(getsid(0)) + " "), std::string::npos);
}

TEST_F(ConduitTest, FailedReadBackKeepsTheHandheldLogAndRaisesWarning50) {
  install_program(stand_in());
  fs::create_directory(desktop("taken"));
  struct Case {
    const char* what;
    std::string target;
    bool corrupt_handheld;
  };
  for (const Case& c : {Case{"unreadable handheld log", desktop("log.mbl"), true},
                        Case{"target is a folder", desktop("taken"), false}}) {
    SCOPED_TRACE(c.what);
    write_book(handheld("log.pdb"), {"Log", "LogF", "LORV", {"r0"}});
    std::vector<std::string> script{"open"};
    if (c.corrupt_handheld) script.push_back("corrupt " + handheld("log.pdb"));
    script.insert(script.end(), {"send 3 1 " + c.target, "end"});
    start_peer(script);
    const HostRun run = hotsync();
    EXPECT_EQ(run.status, 0) << run.output;
    expect_lines(run.output,
                 {"Warning(communication): Could not create file for database loaded from device.",
                  "Could not copy \"Log\" from the handheld to \"" + c.target + "\""});
    // Not reported, still on the handheld, nothing half-made on the desktop.
    EXPECT_EQ(peer_output(), "connected\nend 0\n");
    EXPECT_TRUE(fs::exists(handheld("log.pdb")));
    EXPECT_FALSE(fs::exists(desktop("log.mbl")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.file("desktop")), {}), 1);
    fs::remove(handheld("log.pdb"));
  }
}

TEST_F(ConduitTest, DoNothingTypeStartsNothing) {
  install_program(stand_in());
  // The host's configuration calls CfgConduit, which accepts the choice.
  ASSERT_EQ(host("--configure LORV --type 6 --preference 2").status, 0);
  const HostRun run = hotsync();
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Conduit LORV returned 0"), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(dir_.file("started")));
}

TEST_F(ConduitTest, NoProgramToMeetEndsWith16385) {
  struct Case {
    const char* what;
    std::string program;  // "Wayfetch Exe"
    std::string line;
    double min_seconds, max_seconds;
  };
  const std::string missing = dir_.file("no-such-program");
  const std::string silent = stand_in();
  for (const Case& c :
       {Case{"not installed", "", "the settings name no \"Wayfetch Exe\"", 0, 5},
        Case{"missing program", missing, "Could not start Wayfetch: " + missing, 0, 5},
        // Started, but it never creates the pipe: the opening side gives up.
        Case{"no pipe", silent, "Wayfetch did not answer", 14.5, 25}}) {
    SCOPED_TRACE(c.what);
    install_program(c.program);
    const HostRun run = hotsync();
    EXPECT_EQ(run.status, 1) << run.output;
    expect_lines(run.output, {c.line, "Conduit LORV returned 16385", "HotSync finished"});
    EXPECT_GE(run.seconds, c.min_seconds);
    EXPECT_LE(run.seconds, c.max_seconds);
  }
}

TEST_F(ConduitTest, PeerKilledMidHotSyncEndsTheConduitAtOnce) {
  write_book(desktop("fresh.prc"), {.name = "Fresh", .records = {"one"}});
  install_program(stand_in());
  start_peer({"open", "send 2 0 " + desktop("fresh.prc"), "sleep 500", "die"});
  const HostRun run = hotsync();
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Conduit LORV returned 0"), std::string::npos) << run.output;
  EXPECT_LT(run.seconds, 6);
  // Raised on the connection's thread, written by the conduit's.
  EXPECT_NE(run.output.find("Error(communication): Directional pipe lost connection."),
            std::string::npos)
      << run.output;
  EXPECT_TRUE(fs::exists(handheld("Fresh.pdb")));
}

}  // namespace
}  // namespace wayfetch
