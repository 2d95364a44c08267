// The handheld log: records read against their layouts, reports, merging
// copies (whole files compared) and the upload to a loopback server.
#include "delivery/handheld_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "delivery/wayfetch_replicator.h"
#include "tests/delivery/log_records.h"
#include "tests/support/http_test_server.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"
#include "web/web_connector.h"

namespace wayfetch {
namespace {

using testing::count;
using testing::log_bytes;
using testing::LogRecord;
using testing::make_log;
using testing::read_bytes;
using testing::target;
using testing::TempDir;

std::span<const uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(HandheldLogTest, RecordsAreCheckedAgainstTheirLayouts) {
  using handheld_log::RecordKind;
  std::string no_zero = count("", 1, 2);
  no_zero.replace(1, 32, std::string(32, 'n'));
  struct Case {
    std::string data;
    RecordKind kind;
  } cases[] = {
      {"", RecordKind::damaged},
      {std::string("\0\0\0\0\0", 5), RecordKind::damaged},         // target under 6 bytes
      {target(1, "http://a").substr(0, 13), RecordKind::damaged},  // shorter than 6 + L
      {target(1, "http://a"), RecordKind::target},
      {target(1, "http://a") + "tail", RecordKind::target},
      {count("n", 1, 2).substr(0, 40), RecordKind::damaged},
      {count(std::string(31, 'n'), 1, 2), RecordKind::count},
      {no_zero, RecordKind::damaged},
      {std::string("\2") + count("n", 1, 2).substr(1), RecordKind::damaged},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(handheld_log::read_record(bytes_of(c.data)).kind, c.kind) << c.data.size();
  }
  std::string pear = count("pear", 0x010203, 0xFFFFFFFE);
  auto view = handheld_log::read_record(bytes_of(pear));
  EXPECT_EQ(std::string(view.name.begin(), view.name.end()), "pear");
  EXPECT_EQ(view.target_id, 0x010203u);
  EXPECT_EQ(view.count, 0xFFFFFFFEu);
  EXPECT_EQ(handheld_log::add_counts(0xFFFFFFF0u, 0x20), 0xFFFFFFFFu);
}

TEST(HandheldLogTest, NamesCannotAddFieldsToAReport) {
  struct Case {
    uint8_t format;
    std::string name;
    std::string entry;
  } cases[] = {
      {0, "Sport heute", "<LOG AS=\"Sport heute\" COUNT=7>\r\n"},
      {0, "a\"b>c%d\r\n&=", "<LOG AS=\"a%22b%3Ec%25d%0D%0A&=\" COUNT=7>\r\n"},
      {1, "Sport heute", "Sport heute=7&"},
      {2, "x&y=z%+\x7f\"", "x%26y%3Dz%25%2B%7F\"=7&"},
  };
  for (const Case& c : cases) {
    std::string report;
    handheld_log::append_report_entry(report, c.format, bytes_of(c.name), 7);
    EXPECT_EQ(report, c.entry);
  }
}

class LogFixture : public ::testing::Test {
 protected:
  ReplicatorSetup setup() const { return {dir_.file("lorvbook.mbl"), copy_path(), "", {}}; }
  std::string copy_path() const { return dir_.file("lorvbook_temp.mbl"); }
  std::string log() const { return read_bytes(dir_.file("lorvbook.mbl")); }

  TempDir dir_;
  testing::RecordingSink sink_;
  ScopedErrorSink scope_{&sink_};
};

// The copy a handheld returns: target 10 is in the log, 11 is not; count 22
// names a target the copy lacks; record 23 is damaged.
const std::vector<LogRecord> copy_records = {
    {10, target(1, "http://a/x")},      {11, target(0, "http://b/y")},
    {20, count("apple", 10, 3)},        {21, count("pear", 11, 7)},
    {22, count("fig", 99, 1)},          {23, count("bad", 10, 1).substr(0, 30)},
    {24, count("max", 10, 0xFFFFFFF0)},
};

TEST_F(LogFixture, MergesIntoAnExistingLogAndAgain) {
  make_log(dir_.file("lorvbook.mbl"), "log",
           {{0, target(1, "http://a/x")}, {1, count("apple", 0, 5)}, {2, count("max", 0, 0x20)}});
  WayfetchReplicator replicator(setup());
  make_log(copy_path(), "LorvLog", copy_records);
  MergeResult first = replicator.merge_copy(copy_path());
  EXPECT_TRUE(first.merged);
  EXPECT_EQ(std::make_tuple(first.targets_added, first.counts_added, first.counts_inserted,
                            first.damaged, first.unmapped),
            std::make_tuple(1, 2, 2, 1, 1));
  EXPECT_FALSE(std::filesystem::exists(copy_path()));
  // Targets by format and address, then counts by target id and name; the
  // new target got id 3 and its count points there.
  EXPECT_EQ(log(), log_bytes("log", 6,
                             {{3, target(0, "http://b/y")},
                              {0, target(1, "http://a/x")},
                              {1, count("apple", 0, 8)},
                              {2, count("max", 0, 0xFFFFFFFF)},
                              {4, count("pear", 3, 7)},
                              {5, count("fig", 99, 1)}}));
  EXPECT_EQ(sink_.records, (std::vector<std::string>{"W48,1,0", "W49,1,1"}));

  make_log(copy_path(), "LorvLog", copy_records);
  EXPECT_TRUE(replicator.merge_copy(copy_path()).merged);
  EXPECT_EQ(log(), log_bytes("log", 6,
                             {{3, target(0, "http://b/y")},
                              {0, target(1, "http://a/x")},
                              {1, count("apple", 0, 11)},
                              {2, count("max", 0, 0xFFFFFFFF)},
                              {4, count("pear", 3, 14)},
                              {5, count("fig", 99, 2)}}));
}

TEST_F(LogFixture, CreatesAMissingLogAndTakesOnlyTheAnnouncedCopy) {
  WayfetchReplicator replicator(setup());
  make_log(copy_path(), "LorvLog", copy_records);
  std::string other = dir_.file("other.mbl");
  make_log(other, "LorvLog", copy_records);

  MessageList messages;
  auto message = [&](const std::string& path, int32_t direction, int32_t state) {
    auto file = std::make_unique<FileMessage>();
    file->path = String(path.c_str());
    file->direction = direction;
    file->state = state;
    messages.push_back(std::move(file));
  };
  message(other, 1, 2);        // not the announced file
  message(copy_path(), 0, 2);  // an e-book
  message(copy_path(), 1, 3);  // not copied back
  messages.push_back(std::make_unique<TextMessage>(String(copy_path().c_str())));
  message(copy_path(), 1, 2);
  EXPECT_EQ(replicator.merge_returned_logs(std::move(messages)), 1);
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_EQ(log(), log_bytes("LorvLog", 6,
                             {{1, target(0, "http://b/y")},
                              {0, target(1, "http://a/x")},
                              {2, count("apple", 0, 3)},
                              {5, count("max", 0, 0xFFFFFFF0)},
                              {3, count("pear", 1, 7)},
                              {4, count("fig", 99, 1)}}));
}

TEST_F(LogFixture, AMergeThatCannotCompleteChangesNothing) {
  WayfetchReplicator replicator(setup());
  testing::write_bytes(copy_path(), "not a database");
  EXPECT_FALSE(replicator.merge_copy(copy_path()).merged);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("lorvbook.mbl")));
  EXPECT_EQ(read_bytes(copy_path()), "not a database");

  // A log whose record table is full cannot take the new target.
  std::vector<LogRecord> full;
  for (uint32_t i = 0; i < PalmDatabase::max_records; ++i) {
    full.push_back({i, count("n" + std::to_string(i), 0, 1)});
  }
  make_log(dir_.file("lorvbook.mbl"), "log", full);
  std::string before = log();
  make_log(copy_path(), "LorvLog", copy_records);
  std::string copy = read_bytes(copy_path());
  EXPECT_FALSE(replicator.merge_copy(copy_path()).merged);
  EXPECT_EQ(replicator.error, errors::replicator_allocation);
  EXPECT_EQ(log(), before);
  EXPECT_EQ(read_bytes(copy_path()), copy);
}

// Formats 0, 1 and 2 against the loopback server; "/fail" answers 500.
TEST_F(LogFixture, UploadsEachTargetAndKeepsWhatWasNotSent) {
  testing::HttpTestServer server([](const testing::TestRequest& request) {
    if (request.path() == "/fail") return testing::TestResponse::status_only(500, "Error");
    return testing::TestResponse::typed("text/plain", "ok");
  });
  ASSERT_TRUE(server.start());
  const std::vector<LogRecord> kept = {{2, target(2, server.url("/fail"))},
                                       {3, target(1, "file:///etc/passwd")},
                                       {12, count("k", 2, 5)},
                                       {13, count("f", 3, 6)}};
  std::vector<LogRecord> records = {{0, target(0, server.url("/zero"))},
                                    {1, target(1, server.url("/one"))},
                                    {4, target(1, server.url("/none"))},
                                    {10, count("a\"b", 0, 1)},
                                    {11, count("plain", 0, 2)},
                                    {14, count("x&y", 1, 3)},
                                    {15, count("ok", 1, 4)}};
  records.insert(records.begin() + 2, kept.begin(), kept.end());
  make_log(dir_.file("lorvbook.mbl"), "log", records);

  WayfetchReplicator replicator(setup());
  WebConnector web;
  UploadResult result = replicator.upload_log(web);
  EXPECT_EQ(std::make_tuple(result.sent, result.failed, result.refused, result.log_deleted),
            std::make_tuple(3, 1, 1, false));
  std::vector<std::string> posts;
  for (const auto& request : server.requests())
    posts.push_back(request.path() + " " + request.body);
  EXPECT_EQ(posts, (std::vector<std::string>{
                       "/zero <LOG AS=\"a%22b\" COUNT=1>\r\n<LOG AS=\"plain\" COUNT=2>\r\n",
                       "/one x%26y=3&ok=4&", "/fail k=5&"}));
  EXPECT_EQ(log(), log_bytes("log", 11, kept));
  EXPECT_EQ(sink_.records, (std::vector<std::string>{"W35,0,106", "W45,1,-1"}));
  EXPECT_EQ(sink_.names[1], "file:///etc/passwd");

  // Once nothing fails, the log goes; a log without targets goes unsent.
  make_log(dir_.file("lorvbook.mbl"), "log",
           {{0, target(1, server.url("/one"))}, {1, count("k", 0, 5)}});
  EXPECT_TRUE(replicator.upload_log(web).log_deleted);
  make_log(dir_.file("lorvbook.mbl"), "log", {{1, count("k", 0, 5)}});
  EXPECT_TRUE(replicator.upload_log(web).log_deleted);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("lorvbook.mbl")));
  EXPECT_EQ(server.requests().size(), 4u);
}

}  // namespace
}  // namespace wayfetch
