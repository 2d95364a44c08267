// The update job tests' fixture: an application core over private folders,
// the fixture news site on the loopback server (tests/extraction/site, with
// the eNews templates of tests/config/update_site laid over it; every
// "http://SITE" in a served file is the server's address), a recording
// observer, stand-in handheld tools (shell scripts that write down how they
// were started) and the conduit played by the pipe client process
// (tests/delivery/pipe_client.cc).
#ifndef WAYFETCH_TESTS_CONFIG_UPDATE_FIXTURE_H
#define WAYFETCH_TESTS_CONFIG_UPDATE_FIXTURE_H

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "config/application_core.h"
#include "config/settings_names.h"
#include "delivery/device_tools.h"
#include "platform/launcher.h"
#include "platform/settings_store_fake.h"
#include "tests/config/scripted_prompts.h"
#include "tests/core/peer_process.h"
#include "tests/support/http_test_server.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

#ifndef WAYFETCH_SOURCE_DIR
#error "WAYFETCH_SOURCE_DIR must name the project's root"
#endif

namespace wayfetch::testing {

// Status lines as text, estimate texts, the running flag; `on_status` is
// called with each line (on the worker thread).
class RecordingObserver : public UpdateObserver {
 public:
  void status(const StatusLine& line) override {
    {
      std::lock_guard hold(mutex_);
      lines.push_back(line.text());
      ids.push_back(line.id);
    }
    if (on_status) on_status(line);
  }
  void progress_range(int32_t files) override { range = files; }
  void progress_position(int32_t at) override { position = at; }
  void time_estimate(int32_t label, const std::string& time) override {
    std::lock_guard hold(mutex_);
    times.push_back(std::to_string(label) + " " + time);
  }
  void update_running(bool now) override {
    std::lock_guard hold(mutex_);
    running.push_back(now);
  }
  void last_synchronisation(std::optional<Timestamp> time) override { synchronised = time; }
  Prompts& prompts() override { return prompts_; }

  bool saw(int32_t id) const {
    std::lock_guard hold(mutex_);
    return std::find(ids.begin(), ids.end(), id) != ids.end();
  }
  void clear() {
    std::lock_guard hold(mutex_);
    lines.clear();
    ids.clear();
    times.clear();
    running.clear();
    prompts_.clear();
  }

  mutable std::mutex mutex_;
  std::vector<std::string> lines;
  std::vector<int32_t> ids;
  std::vector<std::string> times;
  std::vector<bool> running;
  std::atomic<int32_t> range{-1};
  std::atomic<int32_t> position{-1};
  std::optional<Timestamp> synchronised;
  std::function<void(const StatusLine&)> on_status;
  ScriptedPrompts prompts_;
};

// One file message as the conduit received it.
struct Received {
  int32_t state = 0;
  int32_t direction = 0;
  int64_t size = 0;
  uint64_t modified = 0;
  std::string path;
};

// The conduit: the pipe client opening "Wayfetch_conduit_pipe", returning a
// handheld log copy and (unless `ends` is false) ending at once.
class Conduit {
 public:
  explicit Conduit(const std::string& log_copy, bool ends = true) {
    process_.send("open Wayfetch_conduit_pipe opening nowait 15000");
    opened_ = process_.answer() == "opened";
    if (!log_copy.empty()) {
      process_.send("log " + log_copy);
      (void)process_.answer();
    }
    if (!ends) return;
    process_.send("end");
    (void)process_.answer();
  }
  bool opened() const { return opened_; }
  // The conduit's process dies (SIGKILL).
  void die() { process_.kill(); }
  // What the update sent, once the connection has ended.
  std::vector<Received> received() {
    process_.send("received 20000");
    std::string answer = process_.answer(25000);
    std::vector<Received> files;
    const std::size_t first = answer.find(' ', std::string("received ").size());
    if (!answer.starts_with("received ") || first == std::string::npos) return files;
    std::stringstream entries(answer.substr(first + 1));
    std::string entry;
    while (std::getline(entries, entry, '|')) {
      std::istringstream fields(entry);
      Received file;
      fields >> file.state >> file.direction >> file.size >> file.modified;
      std::getline(fields >> std::ws, file.path);
      files.push_back(file);
    }
    return files;
  }

 private:
  PeerProcess process_{{}};
  bool opened_ = false;
};

class UpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runtime_ = dir_.file("run");
    std::filesystem::create_directories(runtime_);
    std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
    env_.set("XDG_RUNTIME_DIR", runtime_.c_str());
    installation_ = dir_.file("installation");
    ASSERT_TRUE(store_
                    .write_value(settings_names::program_key, settings_names::installation_path,
                                 installation_)
                    .ok());
    server_ = std::make_unique<HttpTestServer>([this](const TestRequest& r) { return serve(r); });
    ASSERT_TRUE(server_->start());
    site_ = server_->url("");
    namespace tools = device_tool_names;
    for (const auto& [key, name, tool] :
         {std::tuple{tools::windows_ce_key, std::string_view(), "wince"},
          std::tuple{tools::program_key, tools::epoc_tool, "epoc"},
          std::tuple{tools::program_key, tools::ebookman_tool, "ebookman"}}) {
      ASSERT_TRUE(store_.write_value(key, name, stand_in_tool(tool)).ok());
    }
    network_.set_connection_state(platform::NetworkState::local_network);
    core_ = std::make_unique<ApplicationCore>(store_, observer_, network_);
    config().register_program();
    config().set_may_be_saved(true);
    // The environment's proxy must not reach the loopback server.
    config().settings().proxy.mode = ProxyMode::none;
  }
  void TearDown() override {
    core_.reset();
    server_->stop();
  }

  WayfetchConfiguration& config() { return core_->configuration(); }
  ENews& enews(const char* name) { return config().at(config().find(String(name))); }

  // Subscribes to the fixture's eNews `name` as a person adding its file.
  void subscribe(const std::string& name) {
    config().queue_description(served("/enews/" + name + ".enews").value_or(""));
    ASSERT_TRUE(config().add_queued().ok) << name;
  }

  // Runs one update to its end (at most 60 s); its duration in ms.
  int64_t run(SyncMode mode = SyncMode::user) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(core_->start_update(mode));
    EXPECT_TRUE(core_->wait_for_update(60000));
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  }

  // A script that adds "NAME ARGUMENTS" to tools.log.
  std::string stand_in_tool(const std::string& name) {
    const std::string path = dir_.file(name);
    write_bytes(path, "#!/bin/sh\necho \"" + name + " $*\" >> '" + dir_.file("tools.log") + "'\n");
    chmod(path.c_str(), 0755);
    return path;
  }
  // The tools started so far, in sorted order, once they have ended.
  std::vector<std::string> tool_calls() {
    EXPECT_TRUE(platform::wait_for_children(std::chrono::seconds(10)));
    std::vector<std::string> calls;
    std::istringstream lines(read_bytes(dir_.file("tools.log")));
    for (std::string line; std::getline(lines, line);) calls.push_back(line);
    std::sort(calls.begin(), calls.end());
    return calls;
  }

  std::string book(const char* name) { return enews(name).prc_path().to_utf8(); }
  std::string log_copy() { return config().library_temp_path().to_utf8(); }

  // A fixture file with the server's address in place of "http://SITE":
  // tests/config/update_site first, else tests/extraction/site.
  std::optional<std::string> served(const std::string& path) {
    for (const char* root : {"/tests/config/update_site", "/tests/extraction/site"}) {
      const std::string file = std::string(WAYFETCH_SOURCE_DIR) + root + path;
      if (std::filesystem::is_regular_file(file)) {
        return replace_all(read_bytes(file), "http://SITE", site_);
      }
    }
    return std::nullopt;
  }

  TestResponse serve(const TestRequest& request) {
    const std::string path = request.path();
    {
      std::lock_guard hold(serve_mutex_);
      auto special = replies_.find(path);
      if (special != replies_.end()) return special->second;
    }
    const std::optional<std::string> body = served(path);
    TestResponse response = !body ? TestResponse::status_only(404, "Not Found")
                                  : TestResponse::typed(path.ends_with(".jpg")   ? "image/jpeg"
                                                        : path.ends_with(".gif") ? "image/gif"
                                                        : path.ends_with(".xml") ? "text/xml"
                                                                                 : "text/html",
                                                        *body);
    response.delay_ms = latency_ms_.load();
    return response;
  }
  // Answers `path` with `response` from now on.
  void reply(const std::string& path, TestResponse response) {
    std::lock_guard hold(serve_mutex_);
    replies_[path] = std::move(response);
  }

  TempDir dir_;
  ScopedEnv env_;
  std::string runtime_;
  std::string installation_;
  platform::MemorySettingsStore store_;
  platform::FakeNetworkState network_;
  RecordingObserver observer_;
  std::unique_ptr<HttpTestServer> server_;
  std::string site_;
  std::atomic<int> latency_ms_{0};
  std::mutex serve_mutex_;
  std::map<std::string, TestResponse> replies_;
  std::unique_ptr<ApplicationCore> core_;
};

}  // namespace wayfetch::testing

#endif
