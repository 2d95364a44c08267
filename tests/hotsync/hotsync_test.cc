// The real wayfetch-hotsync executable with the test conduit
// (tests/hotsync/echo_conduit.c), a private XDG_CONFIG_HOME and a handheld
// folder in a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "core/palm_database.h"
#include "tests/support/command_run.h"
#include "tests/support/palm_books.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

namespace fs = std::filesystem;
using HostRun = testing::CommandRun;
using testing::Book;
using testing::expect_same_database;
using testing::TempDir;
using testing::write_book;
using testing::write_bytes;

class HotSyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"config", "data", "handheld", "desktop", "scripts"})
      fs::create_directory(dir_.file(folder));
  }

  std::string handheld(const std::string& file = "") const {
    return dir_.file("handheld") + (file.empty() ? "" : "/" + file);
  }
  std::string desktop(const std::string& file) const { return dir_.file("desktop/" + file); }

  // Runs the host; the status is the exit status, or 128 + the signal.
  HostRun host(const std::string& arguments) const {
    return testing::run_command("env XDG_CONFIG_HOME='" + dir_.file("config") +
                                "' XDG_DATA_HOME='" + dir_.file("data") +
                                "' ECHO_CONDUIT_SCRIPTS='" + dir_.file("scripts") +
                                "' '" WAYFETCH_HOTSYNC "' " + arguments + " 2>&1");
  }

  void conduit(const std::string& creator, int priority, const std::string& script) {
    write_bytes(dir_.file("scripts/" + creator + ".script"), script);
    ASSERT_EQ(
        host("--register " + creator + " '" ECHO_CONDUIT "' --priority " + std::to_string(priority))
            .status,
        0);
  }

  HostRun hotsync(const std::string& options = "") const {
    return host("--handheld '" + handheld() + "' " + options);
  }

  std::vector<std::string> handheld_files() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(handheld()))
      files.push_back(entry.path().filename());
    std::sort(files.begin(), files.end());
    return files;
  }

  TempDir dir_;
};

// Each of `lines` is in `output`, in this order.
void expect_in_order(const std::string& output, const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const std::string& line : lines) {
    std::size_t found = output.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << output;
    at = found + line.size();
  }
}

TEST_F(HotSyncTest, ConduitListsCopiesInstallsAndDeletes) {
  write_book(handheld("a.pdb"), {"Book A", "TEXt", "REAd", {"first", "", "third"}});
  write_book(handheld("b.pdb"), {"Book B", "TEXt", "REAd", {"b"}});
  write_book(handheld("log.pdb"), {"Log", "LogF", "LORV", {"x"}});
  write_book(desktop("install.pdb"), {"Installed Book", "TEXt", "REAd", {"one", "two"}});
  write_book(desktop("evil.pdb"), {"../y", "TEXt", "REAd", {"z"}});
  // What an untrusted folder may hold besides databases.
  write_book(handheld("zz-same-name.pdb"), {"Book A", "TEXt", "REAd", {"other"}});
  write_bytes(handheld("empty.pdb"), "");
  write_bytes(handheld("garbage.pdb"), std::string(200, '\xFF'));
  write_bytes(handheld("truncated.pdb"), testing::read_bytes(handheld("a.pdb")).substr(0, 90));
  write_bytes(handheld(".wayfetch-hotsync-new.Ab12Cd"), "half a database");
  write_bytes(handheld("..wayfetch-hotsync-new.Ab12Cd.Ef34Gh"), "half a write-back");
  write_bytes(handheld("huge.pdb"), "");
  fs::resize_file(handheld("huge.pdb"), 3ULL << 30);  // sparse
  fs::create_symlink(desktop("install.pdb"), handheld("link.pdb"));
  fs::create_directory(handheld("folder"));
  ASSERT_EQ(::mkfifo(handheld("fifo.pdb").c_str(), 0600), 0);  // opening it would block
  conduit("ECHO", 2,
          "log first line\nresolve\nclock\nlist TEXt REAd\ncopy Book A\t" + desktop("copy.pdb") +
              "\ninstall " + desktop("install.pdb") + "\ninstall " + desktop("evil.pdb") +
              "\ndelete Book B\nlog last line\n");

  const HostRun run = hotsync("--clock-offset 3600");
  EXPECT_EQ(run.status, 0) << run.output;
  expect_in_order(run.output, {
                                  "Removed \"..wayfetch-hotsync-new.Ab12Cd.Ef34Gh\"",
                                  "Removed \".wayfetch-hotsync-new.Ab12Cd\"",
                                  "Skipped \"empty.pdb\": empty",
                                  "Skipped \"fifo.pdb\": not a regular file",
                                  "Skipped \"folder\": not a regular file",
                                  "Skipped \"garbage.pdb\": not a Palm database",
                                  "Skipped \"huge.pdb\": too large for a Palm database",
                                  "Skipped \"link.pdb\": not a regular file",
                                  "Skipped \"truncated.pdb\": not a Palm database",
                                  "Skipped \"zz-same-name.pdb\": the database \"Book A\" is "
                                  "already in \"a.pdb\"",
                                  "Conduit ECHO (\"Echo\", version 1.2, synchronisation type 0)",
                                  "first line\nresolved 11 of 11\nclock ",
                                  "found Book A 3\nfound Book B 1\nlist end 16387\n",
                                  "copied Book A 3\ninstall Installed Book 0\ninstall ../y 0\n",
                                  "delete Book B 0\nlast line\nConduit ECHO returned 0\n",
                                  "HotSync finished\n",
                              });
  // The handheld clock runs an hour ahead, counted from 1904.
  const auto clock = run.output.find("clock ");
  ASSERT_NE(clock, std::string::npos);
  const long long expected = std::time(nullptr) + 3600 + 2082844800LL;
  EXPECT_NEAR(std::stoll(run.output.substr(clock + 6)), expected, 5);

  expect_same_database(handheld("a.pdb"), desktop("copy.pdb"), true);
  expect_same_database(desktop("install.pdb"), handheld("Installed Book.pdb"), false);
  // "../y" stays inside the folder under an escaped file name.
  expect_same_database(desktop("evil.pdb"), handheld("%2E.%2Fy.pdb"), false);
  EXPECT_FALSE(fs::exists(handheld("b.pdb")));
  EXPECT_FALSE(fs::exists(handheld(".wayfetch-hotsync-new.Ab12Cd")));
  EXPECT_FALSE(fs::exists(dir_.file("y.pdb")));
}

TEST_F(HotSyncTest, CallsWithBadHandlesIndexesAndSizesFail) {
  write_book(handheld("a.pdb"), {"Book A", "TEXt", "REAd", {"a record longer than 0 bytes"}});
  conduit("ECHO", 2, "probe\n");
  const HostRun run = hotsync();
  EXPECT_EQ(run.status, 0) << run.output;
  const std::pair<const char*, int> expected[] = {
      {"index-past-end", 16387},    {"index-negative", 16386},  {"buffer-small", 16390},
      {"write-read-only", 16393},   {"open-write-mode", 16386}, {"close", 0},
      {"close-again", 16388},       {"read-closed", 16388},     {"read-unknown", 16388},
      {"map-closed", 16388},        {"read-null", 16386},       {"open-card-1", 16387},
      {"open-unterminated", 16386}, {"create-existing", 16391}, {"write-too-big", 16389},
      {"write-same-id", 16391},     {"write-wide-id", 16386},   {"delete-open", 16392},
      {"close-created", 0},
  };
  for (const auto& [call, code] : expected) {
    EXPECT_NE(run.output.find("probe " + std::string(call) + " " + std::to_string(code) + "\n"),
              std::string::npos)
        << call << "\n"
        << run.output;
  }
  // The one record written with id 7 made it; the refused ones did not.
  auto made = PalmDatabase::open(handheld("probe new.pdb"), File::read_existing, 1);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->record_count(), 1);
}

TEST_F(HotSyncTest, ConduitsRunInPriorityOrderAndFailuresShowInTheExitStatus) {
  conduit("ECHO", 2, "log echo runs last\n");
  conduit("ECH0", 0, "log ech0 runs first\nreturn 5\n");
  ASSERT_EQ(host("--register MISS /nonexistent/libmissing.so --priority 1").status, 0);
  const HostRun run = hotsync();
  EXPECT_EQ(run.status, 1) << run.output;
  expect_in_order(run.output,
                  {"ech0 runs first", "Conduit ECH0 returned 5",
                   "Conduit MISS: cannot load \"/nonexistent/libmissing.so\"", "echo runs last",
                   "Conduit ECHO returned 0", "HotSync finished with errors"});
}

TEST_F(HotSyncTest, InterruptedInstallsLeaveNoDatabaseBehind) {
  write_book(desktop("install.pdb"), {"Installed Book", "TEXt", "REAd", {"one", "two"}});
  // A conduit that fails half-way: the database it never closed is discarded.
  conduit("ECHO", 2, "unfinished " + desktop("install.pdb") + "\nreturn 1\n");
  HostRun run = hotsync();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("Discarded the database \"Installed Book\""), std::string::npos);
  EXPECT_TRUE(handheld_files().empty());

  // The host killed half-way: only a temporary file is left, and the next
  // HotSync removes it.
  conduit("ECHO", 2, "killed " + desktop("install.pdb") + "\n");
  run = hotsync();
  EXPECT_EQ(run.status, 128 + SIGKILL);
  ASSERT_EQ(handheld_files().size(), 1U);
  EXPECT_TRUE(handheld_files()[0].starts_with(".wayfetch-hotsync-new."));
  conduit("ECHO", 2, "log nothing to do\n");
  run = hotsync();
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("Removed \".wayfetch-hotsync-new."), std::string::npos);
  EXPECT_TRUE(handheld_files().empty());
}

TEST_F(HotSyncTest, ConduitThatNeverReturnsMeetsTheTimeOut) {
  write_book(desktop("install.pdb"), {"Installed Book", "TEXt", "REAd", {"one"}});
  conduit("ECHO", 2, "log about to hang\nunfinished " + desktop("install.pdb") + "\nhang\n");
  conduit("LATE", 3, "log never reached\n");
  const auto start = std::chrono::steady_clock::now();
  const HostRun run = hotsync("--timeout 1");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(run.status, 3) << run.output;
  expect_in_order(run.output, {"about to hang", "Discarded the database \"Installed Book\"",
                               "Conduit ECHO did not return within 1 seconds"});
  EXPECT_EQ(run.output.find("never reached"), std::string::npos);
  EXPECT_EQ(run.output.find("Sanitizer"), std::string::npos);  // no report under the time-out
  EXPECT_TRUE(handheld_files().empty());
}

TEST_F(HotSyncTest, ConfigureKeepsTheChosenTypeAsThePreferenceSays) {
  conduit("ECHO", 2, "log hello\n");
  // For the next HotSync only: that one gets type 6, the one after 0 again.
  HostRun run = host("--configure ECHO --type 6 --preference 2");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(hotsync().output.find("synchronisation type 6)"), std::string::npos);
  EXPECT_NE(hotsync().output.find("synchronisation type 0)"), std::string::npos);
  // From now on.
  EXPECT_EQ(host("--configure ECHO --type 1 --preference 1").status, 0);
  EXPECT_NE(hotsync().output.find("synchronisation type 1)"), std::string::npos);
  EXPECT_NE(hotsync().output.find("synchronisation type 1)"), std::string::npos);
  // A conduit that refuses the configuration changes nothing.
  conduit("ECHO", 2, "cfg-result 4217\n");
  run = host("--configure ECHO --type 0");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("returned 4217; nothing changed"), std::string::npos);
  EXPECT_NE(hotsync().output.find("synchronisation type 1)"), std::string::npos);
}

TEST_F(HotSyncTest, CommandLine) {
  const HostRun help = host("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--handheld", "--clock-offset", "--timeout", "--user", "--register",
                             "--priority", "--name", "--title", "--unregister", "--list",
                             "--configure", "--type", "--preference", "--help", "--version"}) {
    EXPECT_NE(help.output.find(option), std::string::npos) << option;
  }
  for (const char* wrong : {"--bogus", "--handheld", "--register ECHO", "--register LONGER x",
                            "--list --priority 1", "--handheld x --timeout 0",
                            "--register ECHO x --priority 256", "--configure ECHO --type 7"}) {
    EXPECT_EQ(host(wrong).status, 2) << wrong;
  }
  EXPECT_EQ(host("--handheld '" + dir_.file("missing") + "'").status, 1);

  // Registrations: listed in run order, changed, removed.
  EXPECT_EQ(host("--register ZZZZ relative/lib.so --title 'Last one'").status, 0);
  EXPECT_EQ(host("--register AAAA /a.so --priority 3 --title First").status, 0);
  EXPECT_EQ(host("--register ZZZZ /z.so --priority 1").status, 0);
  EXPECT_EQ(host("--list").output, "ZZZZ\t1\t/z.so\tLast one\nAAAA\t3\t/a.so\tFirst\n");
  EXPECT_EQ(host("--unregister ZZZZ").status, 0);
  EXPECT_EQ(host("--unregister ZZZZ").status, 1);
  EXPECT_EQ(host("--list").output, "AAAA\t3\t/a.so\tFirst\n");
}

TEST_F(HotSyncTest, HostExportsTheSyncOperationsAndNoneOfItsOwnCode) {
  std::string symbols;
  std::FILE* pipe = ::popen("nm -D --defined-only -C '" WAYFETCH_HOTSYNC "'", "r");
  char block[4096];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;)
    symbols.append(block, got);
  ASSERT_EQ(::pclose(pipe), 0);
  for (const char* name :
       {"SyncReadSysDateTime", "SyncFindDbByTypeCreator", "SyncOpenDatabase",
        "SyncReadRecordByIndex", "SyncCloseDatabase", "SyncCreateDatabase", "SyncWriteRecord",
        "SyncDeleteDatabase", "SyncReadPositionXMap", "SyncAddLogEntry", "SyncYieldCycles"}) {
    EXPECT_NE(symbols.find(" T " + std::string(name) + "\n"), std::string::npos) << name;
  }
  EXPECT_EQ(symbols.find("wayfetch::"), std::string::npos) << symbols;
}

}  // namespace
}  // namespace wayfetch
