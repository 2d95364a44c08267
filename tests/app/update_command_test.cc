// The program without a window: wayfetch run as a real process in a private
// installation, subscribing to, selecting and updating the fixture eNews
// served by the loopback server (tests/extraction/site with the eNews of
// tests/config/update_site; "http://SITE" there is the server's address).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/quick_publish.h"
#include "app/update_command.h"
#include "tests/app/program_process.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_dir.h"

namespace wayfetch::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<HttpTestServer>([this](const TestRequest& r) { return serve(r); });
    ASSERT_TRUE(server_->start());
    // The test machine may have no default route: the loopback site counts.
    write_bytes(wayfetch_.config_dir() + "/lorvane-wayfetch/settings",
                "[SOFTWARE\\Lorvane\\Wayfetch]\nAssume online=yes\n");
    for (const char* name : {"harbour", "tides"}) {
      write_bytes(description(name), *served(std::string("/enews/") + name + ".enews"));
    }
  }

  // The server's threads read the fixture until they are joined.
  void TearDown() override { server_->stop(); }

  std::string description(const std::string& name) { return dir_.file(name + ".enews"); }
  std::string folder(const std::string& name) { return wayfetch_.installation() + "/data/" + name; }
  std::string book(const std::string& name) { return folder(name) + "/" + name + ".prc"; }
  std::string config_xml() { return wayfetch_.installation() + "/config.xml"; }
  // The book line --update and --publish print.
  std::string book_line(const std::string& name) {
    return book(name) + " (" + std::to_string(fs::file_size(book(name))) + " bytes)\n";
  }

  ProgramResult run(const std::vector<std::string>& args) { return wayfetch_.run(args); }
  void subscribe_both() {
    const ProgramResult added = run({"--subscribe", description("harbour"), description("tides")});
    ASSERT_EQ(added.status, 0) << added.err;
  }
  // Makes every download of `name` look two days old, so its items are due.
  void age(const std::string& name) {
    for (const auto& entry : fs::directory_iterator(folder(name))) {
      if (entry.path().string().find(".data") != std::string::npos) {
        fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - 48h);
      }
    }
  }

  std::optional<std::string> served(const std::string& path) {
    for (const char* root : {"/tests/config/update_site", "/tests/extraction/site"}) {
      const std::string file = std::string(WAYFETCH_SOURCE_DIR) + root + path;
      if (fs::is_regular_file(file)) {
        return replace_all(read_bytes(file), "http://SITE", server_->url(""));
      }
    }
    return std::nullopt;
  }
  TestResponse serve(const TestRequest& request) {
    const std::string path = request.path();
    std::string slow_path;
    std::string missing_path;
    {
      std::lock_guard hold(paths_mutex_);
      slow_path = slow_path_;
      missing_path = missing_path_;
    }
    if (path == slow_path) {
      TestResponse slow = TestResponse::html("<html></html>");
      slow.delay_ms = 30000;
      return slow;
    }
    if (path == missing_path) return TestResponse::status_only(404, "Not Found");
    const std::optional<std::string> body = served(path);
    if (!body) return TestResponse::status_only(404, "Not Found");
    return TestResponse::typed(path.ends_with(".jpg")   ? "image/jpeg"
                               : path.ends_with(".gif") ? "image/gif"
                               : path.ends_with(".xml") ? "text/xml"
                                                        : "text/html",
                               *body);
  }

  TempDir dir_;
  ProgramProcess wayfetch_{WAYFETCH_PROGRAM, dir_.path()};
  std::unique_ptr<HttpTestServer> server_;
  // Set by the test while the server's threads read them.
  void answer_slowly(const std::string& path) {
    std::lock_guard hold(paths_mutex_);
    slow_path_ = path;
  }
  void answer_missing(const std::string& path) {
    std::lock_guard hold(paths_mutex_);
    missing_path_ = path;
  }

  std::mutex paths_mutex_;
  std::string slow_path_;     // answered after 30 s
  std::string missing_path_;  // answered 404
};

// The main job from a terminal: subscribe, list, update, update again,
// deselect, reselect, unsubscribe.
TEST_F(CommandLineTest, SubscribeListSelectUpdateUnsubscribe) {
  const ProgramResult added = run({"--subscribe", description("harbour"), description("tides")});
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out, "harbour " + folder("harbour") + "\ntides " + folder("tides") + "\n");

  ProgramResult listed = run({"--list"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  for (const std::string& line : std::vector<std::string>{
           "tides \"Tides and Ferries\"\n", "  e-book: " + book("tides") + " (not built yet)\n",
           "  tide \"Tides\": selected, due, last download never\n",
           "  archive \"Archive\": not selected, not due, last download never\n"}) {
    EXPECT_NE(listed.out.find(line), std::string::npos) << line << listed.out;
  }

  // Standard output holds the book lines and nothing else.
  const ProgramResult first = run({"--update"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, book_line("harbour") + book_line("tides"));
  EXPECT_NE(first.err.find("Update endet in"), std::string::npos) << first.err;
  if (std::system("command -v mobitool >/dev/null 2>&1") == 0) {
    const std::string markup = dir_.file("markup");
    fs::create_directory(markup);
    ASSERT_EQ(
        std::system(
            ("mobitool -s -o '" + markup + "' '" + book("tides") + "' >/dev/null 2>&1").c_str()),
        0);
    EXPECT_NE(read_bytes(markup + "/tides_markup/part00000.html").find("highest tides of the year"),
              std::string::npos);
  }

  // Nothing is due right after: no book, no request.
  const int requests = static_cast<int>(server_->requests().size());
  const ProgramResult second = run({"--update", "--timer"});
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(static_cast<int>(server_->requests().size()), requests);
  listed = run({"--list"});
  EXPECT_NE(listed.out.find("  e-book: " + book("tides") + " (" +
                            std::to_string(fs::file_size(book("tides"))) + " bytes)\n"),
            std::string::npos);
  // A time like "2024-05-01 06:30 UTC" where "never" stood.
  const std::string downloaded = "  tide \"Tides\": selected, not due, last download ";
  const std::size_t at = listed.out.find(downloaded);
  ASSERT_NE(at, std::string::npos) << listed.out;
  EXPECT_EQ(listed.out.substr(at + downloaded.size() + 16, 5), " UTC\n") << listed.out;
  EXPECT_EQ(listed.out[at + downloaded.size() + 4], '-') << listed.out;

  // Nothing selected: nothing built, the book stays; names in any case.
  const std::string tides_book = read_bytes(book("tides"));
  EXPECT_EQ(run({"--deselect", "TIDES"}).status, 0);
  const ProgramResult none = run({"--update"});
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(read_bytes(book("tides")), tides_book);
  EXPECT_EQ(static_cast<int>(server_->requests().size()), requests);

  // One item back: rebuilt from the data on disk, still without a request.
  EXPECT_EQ(run({"--select", "tides", "Ferry"}).status, 0);
  EXPECT_NE(run({"--list"}).out.find("  ferry \"Ferries\": selected"), std::string::npos);
  EXPECT_NE(run({"--list"}).out.find("  tide \"Tides\": not selected"), std::string::npos);
  const ProgramResult rebuilt = run({"--update"});
  EXPECT_EQ(rebuilt.status, 0) << rebuilt.err;
  EXPECT_EQ(rebuilt.out, book_line("tides"));
  EXPECT_EQ(static_cast<int>(server_->requests().size()), requests);

  // Update all fetches everything again.
  const ProgramResult all = run({"--update", "--all"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.out, book_line("harbour") + book_line("tides"));
  EXPECT_GT(static_cast<int>(server_->requests().size()), requests);

  const ProgramResult gone = run({"--unsubscribe", "Tides"});
  EXPECT_EQ(gone.status, 0) << gone.err;
  EXPECT_FALSE(fs::exists(folder("tides")));
  listed = run({"--list"});
  EXPECT_EQ(listed.out.find("tides"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("harbour"), std::string::npos);
}

// Wrong command lines (2), unknown names and failed eNews (1), an invalid
// configuration and a save that fails; none of them changes anything.
TEST_F(CommandLineTest, ExitCodesAndNothingHalfChanged) {
  subscribe_both();
  const std::vector<std::vector<std::string>> usage = {
      {"--frobnicate"},  {"--update", "--soon"},      {"--update", "--all", "--all"},
      {"--subscribe"},   {"--list", "extra"},         {"--select"},
      {"--unsubscribe"}, {"--unsubscribe", "a", "b"}, {"--select", "--all"}};
  for (const auto& args : usage) EXPECT_EQ(run(args).status, exit_usage) << args[0];

  const std::string saved = read_bytes(config_xml());
  // Names are looked up, never used as paths: "../tides" is no eNews.
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--select", "nosuch"},
                                             {"--select", "tides", "ferry", "nosuch"},
                                             {"--deselect", "tides", "advert_none"},
                                             {"--unsubscribe", "../tides"},
                                             {"--unsubscribe", "data/tides"},
                                             {"--subscribe", dir_.file("missing.enews")}}) {
    const ProgramResult refused = run(args);
    EXPECT_EQ(refused.status, exit_failure) << args[0] << " " << args[1];
    EXPECT_NE(refused.err.find(args.back()), std::string::npos) << refused.err;
  }
  EXPECT_EQ(read_bytes(config_xml()), saved);
  EXPECT_TRUE(fs::exists(folder("tides") + "/tides.enews"));

  // A save that fails (no file may grow past 512 bytes, the messages
  // stay below): message 10147, the old file kept.
  ASSERT_GT(saved.size(), 1024u);
  const ProgramResult unsaved =
      wayfetch_.run({"--deselect", "tides"}, "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"");
  EXPECT_EQ(unsaved.status, exit_failure);
  EXPECT_NE(unsaved.err.find("Die Konfigurationdatei konnte nicht gespeichert werden."),
            std::string::npos)
      << unsaved.err;
  EXPECT_EQ(read_bytes(config_xml()), saved);

  // An eNews whose rendering template cannot be had fails; the other is built.
  answer_missing("/templates/tides.xsl");
  const ProgramResult failed = run({"--update"});
  EXPECT_EQ(failed.status, exit_failure) << failed.err;
  EXPECT_EQ(failed.out, book_line("harbour"));
  EXPECT_NE(failed.err.find("Tides and Ferries"), std::string::npos) << failed.err;

  // An invalid configuration: nothing runs, nothing is saved.
  const std::string invalid = "<wayfetch-config></enews></wayfetch-config>";
  write_bytes(config_xml(), invalid);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--update"}, {"--select", "harbour"}, {"--list"}}) {
    EXPECT_EQ(run(args).status, exit_not_run) << args[0];
  }
  EXPECT_EQ(read_bytes(config_xml()), invalid);
  EXPECT_FALSE(fs::exists(config_xml() + ".bak"));
}

// One writer at a time; SIGTERM stops a run, which saves and leaves every
// file whole; --list reads while a run goes on.
TEST_F(CommandLineTest, LockAndStop) {
  subscribe_both();
  ASSERT_EQ(run({"--update"}).status, 0);
  const std::string harbour_book = read_bytes(book("harbour"));
  const std::string tides_book = read_bytes(book("tides"));
  const auto tides_data = fs::last_write_time(folder("tides") + "/tides.data0.xml");
  age("harbour");
  const std::string slow_path = "/harbour/index.html";
  answer_slowly(slow_path);
  const int earlier_hits = server_->hits(slow_path);

  const pid_t running = wayfetch_.start({"--update"});
  ASSERT_GT(running, 0);
  const auto limit = std::chrono::steady_clock::now() + 30s;
  while (server_->hits(slow_path) == earlier_hits && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_EQ(server_->hits(slow_path), earlier_hits + 1);

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--update"}, {"--select", "tides"}}) {
    const auto start = std::chrono::steady_clock::now();
    const ProgramResult refused = run(args);
    EXPECT_EQ(refused.status, exit_not_run) << args[0];
    EXPECT_NE(refused.err.find("another wayfetch is running"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  }
  EXPECT_EQ(run({"--list"}).status, 0);

  ASSERT_EQ(kill(running, SIGTERM), 0);
  const ProgramResult stopped = wayfetch_.wait(running, 20s);
  EXPECT_EQ(stopped.status, 128 + SIGTERM) << stopped.err;
  EXPECT_EQ(stopped.out, "");
  EXPECT_EQ(read_bytes(book("harbour")), harbour_book);
  EXPECT_EQ(read_bytes(book("tides")), tides_book);
  EXPECT_EQ(fs::last_write_time(folder("tides") + "/tides.data0.xml"), tides_data);
  const ProgramResult listed = run({"--list"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_NE(listed.out.find("tides \"Tides and Ferries\""), std::string::npos) << listed.out;
}

// The exit code from what an update left behind.
TEST(UpdateExitCodeTest, FollowsTheOutcome) {
  struct Case {
    UpdateOutcome outcome;
    int code;
    const char* reason;
  };
  auto made = [](bool started, bool completed, bool online, bool needed, bool stopped,
                 std::vector<std::string> failed = {}) {
    return UpdateOutcome{started, completed, online, needed, stopped, std::move(failed)};
  };
  const Case cases[] = {
      {made(true, true, true, true, false), exit_success, ""},
      {made(true, true, false, false, false), exit_success, ""},
      {made(true, true, true, true, false, {"A", "B"}), exit_failure, "problems: A, B"},
      {made(true, true, false, true, false), exit_not_run, "web was skipped"},
      {made(true, false, false, true, false), exit_not_run, "conduit pipe"},
      {made(true, false, true, true, false), exit_not_run, "no connection"},
      {made(true, true, true, true, true, {"A"}), exit_not_run, "stopped"},
      {made(false, false, false, false, false), exit_not_run, "could not be started"},
  };
  for (const Case& c : cases) {
    std::string reason;
    EXPECT_EQ(update_exit_code(c.outcome, reason), c.code) << c.reason;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
  }
}

}  // namespace
}  // namespace wayfetch::testing
