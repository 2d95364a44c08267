// The update job end to end: the fixture news site on the loopback server,
// two eNews, the conduit in another process, books read back by mobitool.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/string_table.h"
#include "tests/config/update_fixture.h"
#include "tests/delivery/log_records.h"

namespace wayfetch::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> paths_with_states(const std::vector<Received>& files) {
  std::vector<std::string> out;
  for (const Received& file : files) {
    out.push_back(std::to_string(file.state) + " " + fs::path(file.path).filename().string());
  }
  return out;
}

int64_t file_size(const std::string& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? -1 : static_cast<int64_t>(size);
}

class UpdateJobTest : public UpdateTest {
 protected:
  // Both fixture eNews, the second without its failing "archive" item.
  void subscribe_both() {
    subscribe("harbour");
    subscribe("tides");
  }
  int hits() const { return static_cast<int>(server_->requests().size()); }
  // A handheld log copy as the conduit leaves it: one count for the
  // fixture's report address.
  void write_log_copy() {
    reply("/report", TestResponse::typed("text/plain", "ok"));
    make_log(log_copy(), "LorvLog", {{1, target(0, site_ + "/report")}, {2, count("story", 1, 3)}});
  }
  std::string handheld_log() { return config().library_path().to_utf8(); }
};

// The first update downloads, renders and builds both books and announces
// and reports them; the second right after has nothing due and asks the
// server nothing; a changed selection is rebuilt from disk.
TEST_F(UpdateJobTest, FirstRunBuildsSecondRestsChangedSelectionRebuildsFromDisk) {
  subscribe_both();
  latency_ms_ = 20;
  {
    write_log_copy();
    Conduit conduit(log_copy());
    ASSERT_TRUE(conduit.opened());
    run();
    const std::vector<Received> got = conduit.received();
    ASSERT_GE(got.size(), 6u);
    // The announcements, in order; then the reports as the books are done.
    const std::vector<std::string> states = paths_with_states(got);
    EXPECT_EQ(
        std::vector<std::string>(states.begin(), states.begin() + 4),
        (std::vector<std::string>{"6 harbour.prc", "6 tides.prc", "3 lorvbook_temp.mbl", "7 "}));
    EXPECT_EQ(got[2].direction, 1);
    EXPECT_EQ(got[2].path, fs::absolute(log_copy()).lexically_normal().string());
    std::vector<std::string> reports(states.begin() + 4, states.end());
    std::sort(reports.begin(), reports.end());
    EXPECT_EQ(reports, (std::vector<std::string>{"2 harbour.prc", "2 tides.prc"}));
    for (std::size_t i = 4; i < got.size(); ++i) {
      EXPECT_EQ(got[i].size, file_size(got[i].path)) << got[i].path;
      EXPECT_NE(got[i].modified, 0u);
    }
  }
  for (const char* name : {"harbour", "tides"}) {
    EXPECT_GT(file_size(book(name)), 0) << name;
    EXPECT_EQ(enews(name).file_size, file_size(book(name)));
    EXPECT_FALSE(enews(name).selection_changed());
  }
  // The same time per file for every eNews of the run; counts per item.
  EXPECT_GT(enews("harbour").time_per_file, 0);
  EXPECT_EQ(enews("harbour").time_per_file, enews("tides").time_per_file);
  EXPECT_GT(enews("harbour").file_count, 0);
  EXPECT_GT(enews("harbour").item(0).file_count, 0);
  EXPECT_EQ(enews("tides").item(0).file_count, 1);
  EXPECT_EQ(enews("tides").item(2).file_count, 0);
  // The bar moved once per downloaded file.
  const ENews& tides = enews("tides");
  EXPECT_EQ(observer_.position.load(), enews("harbour").file_count +
                                           enews("harbour").item(0).file_count + tides.file_count +
                                           tides.item(0).file_count + tides.item(1).file_count);
  // The Windows CE manager was asked; the returned copy was merged and its
  // count posted, after which neither the copy nor the log is left.
  EXPECT_EQ(tool_calls(), (std::vector<std::string>{"wince /syncnow"}));
  EXPECT_EQ(server_->hits("/report"), 1);
  EXPECT_FALSE(fs::exists(log_copy()));
  EXPECT_FALSE(fs::exists(handheld_log()));
  EXPECT_EQ(observer_.ids.front(), strings::update_starting);
  EXPECT_TRUE(observer_.lines.back().starts_with("Update endet in 0 min "))
      << observer_.lines.back();
  EXPECT_NE(std::find(observer_.lines.begin(), observer_.lines.end(),
                      "Neu heruntergeladene Datei (Tides and Ferries,2)"),
            observer_.lines.end());
  EXPECT_EQ(observer_.running, (std::vector<bool>{true, false}));
  EXPECT_TRUE(observer_.synchronised.has_value());
  EXPECT_EQ(observer_.prompts_.calls(), (std::vector<std::string>{"notice 20003"}));

  // Nothing due: no request, nothing built, the books announced as they are.
  const int before = hits();
  const auto harbour_time = fs::last_write_time(book("harbour"));
  observer_.clear();
  run();
  EXPECT_EQ(hits(), before);
  EXPECT_EQ(fs::last_write_time(book("harbour")), harbour_time);
  EXPECT_FALSE(observer_.saw(strings::building_enews));
  EXPECT_EQ(observer_.times.front(), "10165 ");

  // A changed selection: the book is made again from the data on disk.
  enews("tides").item(1).set_selected(false);
  const int64_t tides_size = file_size(book("tides"));
  observer_.clear();
  run();
  EXPECT_EQ(hits(), before);
  EXPECT_LT(file_size(book("tides")), tides_size);
  EXPECT_FALSE(enews("tides").selection_changed());
  EXPECT_EQ(fs::last_write_time(book("harbour")), harbour_time);
  EXPECT_TRUE(observer_.saw(strings::sending_to_sync_folder));
  // The learned figures reach config.xml at the end of every run.
  EXPECT_NE(read_bytes(config().config_path().to_utf8()).find(utf16le("time-per-file")),
            std::string::npos);
}

// Every selected item fails: nothing is built, 10167, state 4, 10168 names
// the eNews; the failed item's data file is gone.
TEST_F(UpdateJobTest, AllSelectedItemsFailingBuildsNothing) {
  subscribe("tides");
  for (int32_t k = 0; k < 3; ++k) enews("tides").item(k).set_selected(k == 2);
  Conduit conduit("");
  run();
  EXPECT_FALSE(fs::exists(book("tides")));
  EXPECT_TRUE(observer_.saw(strings::download_problems));
  EXPECT_FALSE(fs::exists(enews("tides").item(2).data_path().to_utf8()));
  EXPECT_EQ(paths_with_states(conduit.received()),
            (std::vector<std::string>{"6 tides.prc", "3 lorvbook_temp.mbl", "7 ", "4 tides.prc"}));
  EXPECT_EQ(observer_.prompts_.calls(),
            (std::vector<std::string>{"message 10168Tides and Ferries/0"}));
  EXPECT_EQ(enews("tides").time_per_file, 0) << "nothing finished: nothing learned";
}

// Nothing selected anywhere: no web, nothing built, the books announced.
// A timer's run starts no tool and shows no notice.
TEST_F(UpdateJobTest, NothingSelectedAnnouncesTheBooksThatExist) {
  subscribe_both();
  for (const char* name : {"harbour", "tides"}) {
    for (int32_t k = 0; k < enews(name).item_count(); ++k) enews(name).item(k).set_selected(false);
  }
  write_bytes(book("harbour"), "an earlier book");
  Conduit conduit("");
  run(SyncMode::timer);
  EXPECT_EQ(hits(), 0);
  EXPECT_EQ(
      paths_with_states(conduit.received()),
      (std::vector<std::string>{"4 harbour.prc", "1 tides.prc", "3 lorvbook_temp.mbl", "7 "}));
  EXPECT_EQ(read_bytes(book("harbour")), "an earlier book");
  EXPECT_TRUE(tool_calls().empty());
  EXPECT_TRUE(observer_.prompts_.calls().empty());
}

// A run with no conduit anywhere neither waits for one nor fails. The
// person's run starts the EPOC tool when the web is not used at a HotSync,
// and hands each book to the eBookMan tool for that device type.
TEST_F(UpdateJobTest, RunWithoutConduitDoesNotWaitAndStartsTheTools) {
  subscribe("tides");
  ASSERT_TRUE(
      store_.write_value(settings_names::program_key, settings_names::device_type, "ebm").ok());
  config().settings().web_when_pda_sync = YesNo::no;
  // One that waited would wait for the peer limit.
  EXPECT_LT(run(), PipeConnection::peer_limit_ms);
  EXPECT_GT(file_size(book("tides")), 0);
  EXPECT_EQ(tool_calls(), (std::vector<std::string>{"ebookman -s " + book("tides"), "epoc -connect",
                                                    "wince /syncnow"}));
}

// A conduit that dies in the middle of the run cannot hang it: the sends
// that follow give up and the run ends with its books built.
TEST_F(UpdateJobTest, ConduitThatDiesDoesNotHangTheRun) {
  subscribe_both();
  latency_ms_ = 100;
  Conduit conduit("", false);
  ASSERT_TRUE(core_->start_update(SyncMode::user));
  while (server_->requests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  conduit.die();
  ASSERT_TRUE(core_->wait_for_update(20000));
  EXPECT_GT(file_size(book("harbour")), 0);
  EXPECT_GT(file_size(book("tides")), 0);
}

// At a HotSync the pipe waits for a conduit that comes late; the web is
// left alone when "web-when-pda-sync" is "no", and no tool is started.
TEST_F(UpdateJobTest, HotSyncWaitsForTheConduit) {
  subscribe("tides");
  config().settings().web_when_pda_sync = YesNo::no;
  ASSERT_TRUE(core_->start_update(SyncMode::handheld));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  Conduit conduit("");
  EXPECT_EQ(paths_with_states(conduit.received()),
            (std::vector<std::string>{"1 tides.prc", "3 lorvbook_temp.mbl", "7 "}));
  ASSERT_TRUE(core_->wait_for_update(30000));
  EXPECT_EQ(observer_.ids.front(), strings::sync_starting);
  EXPECT_EQ(hits(), 0);
  EXPECT_TRUE(tool_calls().empty());
}

// Stop from another thread while a template download hangs: the run ends
// within a second and asks nothing more (no version check, no upload); the
// returned log is still merged and config.xml stays readable.
TEST_F(UpdateJobTest, StopEndsTheRunAtOnceWithoutFurtherRequests) {
  subscribe("harbour");
  ASSERT_TRUE(store_
                  .write_value(settings_names::program_key, "Update check address",
                               site_ + "/soft/webupdate.asp")
                  .ok());
  TestResponse stalled;
  stalled.stall = true;
  reply("/enews/harbour.enews", stalled);
  write_log_copy();
  Conduit conduit(log_copy());
  ASSERT_TRUE(core_->start_update(SyncMode::user));
  while (server_->hits("/enews/harbour.enews") == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto stop = std::chrono::steady_clock::now();
  core_->stop_update();
  ASSERT_TRUE(core_->wait_for_update(5000));
  EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(1));
  EXPECT_EQ(server_->hits("/soft/webupdate.asp"), 0);
  EXPECT_EQ(server_->hits("/report"), 0);
  EXPECT_FALSE(fs::exists(log_copy()));
  EXPECT_TRUE(fs::exists(handheld_log()));
  EXPECT_EQ(tool_calls(), (std::vector<std::string>{"wince /syncnow"}));
  EXPECT_FALSE(fs::exists(book("harbour")));
  WayfetchConfiguration reread(store_);
  EXPECT_TRUE(reread.load(config().config_path(), true, true));
  EXPECT_EQ(reread.count(), 1);
}

// A rebuild stopped half-way keeps the earlier book and reports state 4.
TEST_F(UpdateJobTest, StoppedRebuildKeepsTheEarlierBook) {
  subscribe("tides");
  run();
  const std::string earlier = read_bytes(book("tides"));
  ASSERT_FALSE(earlier.empty());
  enews("tides").item(0).set_selected(false);
  observer_.on_status = [this](const StatusLine& line) {
    if (line.id == strings::building_enews) core_->stop_update();
  };
  Conduit conduit("");
  run();
  EXPECT_EQ(read_bytes(book("tides")), earlier);
  EXPECT_TRUE(enews("tides").selection_changed());
  // A stopped run still hands its last reports to a connected conduit; it
  // never reports the book as built.
  const std::vector<std::string> states = paths_with_states(conduit.received());
  EXPECT_THAT(states, ::testing::Contains("4 tides.prc"));
  EXPECT_THAT(states, ::testing::Not(::testing::Contains("2 tides.prc")));
}

// Update all fetches everything again but keeps the templates: with the
// server refusing them now, the working copies still make the book.
TEST_F(UpdateJobTest, UpdateAllFetchesAgainAndKeepsTheTemplates) {
  subscribe("tides");
  run();
  ASSERT_EQ(server_->hits("/harbour/tide.html"), 1);
  const std::string description = read_bytes(enews("tides").enews_path().to_utf8());
  const std::string stray = enews("tides").folder().to_utf8() + "/picture.gif";
  write_bytes(stray, "GIF");
  write_bytes(book("tides"), "an earlier book");
  for (const char* path : {"/enews/tides.enews", "/templates/tides.xsl"}) {
    reply(path, TestResponse::status_only(404, "Not Found"));
  }
  ASSERT_TRUE(core_->update_all());
  ASSERT_TRUE(core_->wait_for_update(60000));
  EXPECT_EQ(server_->hits("/harbour/tide.html"), 2);
  EXPECT_EQ(read_bytes(enews("tides").enews_path().to_utf8()), description);
  EXPECT_FALSE(fs::exists(stray));
  EXPECT_NE(read_bytes(book("tides")), "an earlier book");
  EXPECT_FALSE(enews("tides").failed);
}

// The books open in mobitool, which shows the stories.
TEST_F(UpdateJobTest, BooksOpenInMobitool) {
  if (std::system("command -v mobitool >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "mobitool is not installed";
  }
  subscribe_both();
  run();
  for (const auto& [name, words] : {std::pair{"harbour", "north quay is repaired"},
                                    std::pair{"tides", "highest tides of the year"}}) {
    const std::string markup = dir_.file(std::string("markup-") + name);
    fs::create_directory(markup);
    const std::string command =
        "mobitool -s -o '" + markup + "' '" + book(name) + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << name;
    const std::string html = read_bytes(markup + "/" + name + "_markup/part00000.html");
    EXPECT_NE(html.find(words), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace wayfetch::testing
