#include "core/palm_database.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

constexpr uint8_t create_always = 0x14;  // plus read/write added by create()
constexpr uint8_t read_only = 0x09;
constexpr uint8_t read_write = 0x0B;

std::string be16(uint16_t v) {
  return {static_cast<char>(v >> 8), static_cast<char>(v)};
}
std::string be32(uint32_t v) {
  return be16(static_cast<uint16_t>(v >> 16)) + be16(static_cast<uint16_t>(v));
}

// A database file: a header with `count` entries at the given offsets, then `tail`.
std::string database_bytes(const std::vector<uint32_t>& offsets, const std::string& tail,
                           uint32_t app_info = 0, int count = -1) {
  std::string name = "Sample";
  name.resize(32, '\0');
  std::string bytes = name + be16(0x0008) + be16(1) + be32(palm_time_1970) + be32(palm_time_1970) +
                      be32(0) + be32(4) + be32(app_info) + be32(0) + "DATAtest" + be32(100) +
                      be32(0) + be16(static_cast<uint16_t>(count < 0 ? offsets.size() : count));
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    bytes += be32(offsets[i]) + std::string(1, '\x40') + std::string("\x00\x00", 2) +
             static_cast<char>(10 + i);
  }
  return bytes + tail;
}

std::string record_text(PalmRecord& record) {
  return std::string(record.data().begin(), record.data().end());
}

class PalmDatabaseTest : public ::testing::Test {
 protected:
  std::string path(const char* name = "db.pdb") { return dir_.file(name); }
  // A database of three records "abc", "" and "xy" created through the class.
  std::string three_records() {
    std::string file = path();
    auto db = PalmDatabase::create(file, create_always, "LORV", "LogF", 0);
    EXPECT_NE(db, nullptr);
    auto first = db->new_record(0, 3);
    first->write(0, "abc", 3);
    db->new_record(7, 0);  // beyond the end: appends
    auto third = db->new_record(99, 2);
    third->write(0, "xy", 2);
    EXPECT_TRUE(db->close());
    return file;
  }
  testing::TempDir dir_;
};

TEST_F(PalmDatabaseTest, EmptyCreatedDatabaseIs80Bytes) {
  auto db = PalmDatabase::create(path(), create_always, "LORV", "LogF", 3);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->mode(), 0);
  EXPECT_TRUE(db->close());
  std::string bytes = testing::read_bytes(path());
  ASSERT_EQ(bytes.size(), 80u);
  EXPECT_EQ(bytes.substr(0, 36), std::string(36, '\0'));
  EXPECT_EQ(bytes.substr(36, 8), be32(0x7C25B080) + be32(0x7C25B080));
  EXPECT_EQ(bytes.substr(60, 8), "LogFLORV");
  EXPECT_EQ(bytes.substr(68), std::string(12, '\0'));

  EXPECT_EQ(PalmDatabase::create(path("b"), create_always, "LORV", "LogF", 1), nullptr);
  EXPECT_EQ(PalmDatabase::create(path("c"), create_always, "LORV", "LogF", 2), nullptr);
}

TEST_F(PalmDatabaseTest, RecordsKeepOrderIdsAndEmptyRecords) {
  std::string file = three_records();
  std::string bytes = testing::read_bytes(file);
  ASSERT_EQ(bytes.size(), 78u + 24 + 5);
  EXPECT_EQ(bytes.substr(76, 2), be16(3));
  // Entries: offset, attributes 0, consecutive unique ids from the seed 0.
  EXPECT_EQ(bytes.substr(78, 24), be32(102) + be32(0) + be32(105) + be32(1) + be32(105) + be32(2));
  EXPECT_EQ(bytes.substr(68, 4), be32(3));  // the seed moved on
  EXPECT_EQ(bytes.substr(102), "abcxy");

  auto db = PalmDatabase::open(file, read_write, 0);
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(db->record_count(), 3);
  EXPECT_EQ(db->record_size(1), 0u);
  auto middle = db->get_record(1);
  ASSERT_NE(middle, nullptr);
  EXPECT_EQ(middle->size(), 0u);
  EXPECT_EQ(db->record_info(2)->unique_id, 2u);
  EXPECT_EQ(db->find_by_unique_id(1), 1);
  EXPECT_EQ(db->find_by_unique_id(9), -1);
  auto added = db->new_record(1, 1);
  EXPECT_EQ(db->record_info(1)->unique_id, 3u);
  db->release_record(std::move(added));
}

TEST_F(PalmDatabaseTest, ModesAndAccess) {
  std::string file = three_records();
  EXPECT_EQ(PalmDatabase::open(file, read_write, 1), nullptr);  // on demand is read-only
  EXPECT_EQ(PalmDatabase::open(file, read_only, 4), nullptr);
  EXPECT_EQ(PalmDatabase::open(path("missing"), read_only, 0), nullptr);

  auto on_demand = PalmDatabase::open(file, read_only, 3);
  ASSERT_NE(on_demand, nullptr);
  EXPECT_EQ(on_demand->mode(), 1);
  EXPECT_EQ(on_demand->new_record(0, 4), nullptr);
  EXPECT_FALSE(on_demand->delete_record(0));
  EXPECT_FALSE(on_demand->set_record_info(0, 1, 1));
  EXPECT_FALSE(on_demand->resize_record(0, 1));
  EXPECT_EQ(on_demand->find_by_unique_id(0), -1);
  EXPECT_EQ(on_demand->record_count(), 3);
  auto third = on_demand->get_record(2);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(record_text(*third), "xy");
  EXPECT_TRUE(third->write(1, "z", 1));  // the handle's own copy
  EXPECT_EQ(record_text(*third), "xz");
  EXPECT_EQ(on_demand->get_record(3), nullptr);
  EXPECT_EQ(on_demand->get_record(-1), nullptr);
  EXPECT_TRUE(on_demand->close());

  auto header_only = PalmDatabase::open(file, read_write, 2);
  ASSERT_NE(header_only, nullptr);
  EXPECT_EQ(header_only->record_count(), 0);
  EXPECT_EQ(header_only->get_record(0), nullptr);
  EXPECT_FALSE(header_only->record_info(0).has_value());
  EXPECT_EQ(header_only->get_info().creator, (std::array<char, 4>{'L', 'O', 'R', 'V'}));
  header_only->set_name("changed");
  EXPECT_TRUE(header_only->close());  // only mode 0 writes back

  auto read_only_memory = PalmDatabase::open(file, read_only, 0);
  ASSERT_NE(read_only_memory, nullptr);
  EXPECT_NE(read_only_memory->new_record(0, 10), nullptr);
  EXPECT_TRUE(read_only_memory->close());
  EXPECT_EQ(testing::read_bytes(file).size(), 107u);  // nothing written

  auto discarded = PalmDatabase::open(file, read_write, 0);
  discarded->delete_record(0);
  discarded->discard();
  EXPECT_TRUE(discarded->close());
  EXPECT_EQ(testing::read_bytes(file).size(), 107u);
}

TEST_F(PalmDatabaseTest, OnDemandReadOfAShrunkFileRefuses) {
  std::string file = three_records();
  auto db = PalmDatabase::open(file, read_only, 1);
  ASSERT_NE(db, nullptr);
  std::filesystem::resize_file(file, 103);
  EXPECT_EQ(db->get_record(2), nullptr);
  EXPECT_NE(db->get_record(1), nullptr);  // empty records need no bytes
}

TEST_F(PalmDatabaseTest, BadFilesFailToOpenAndStayUntouched) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string ok = database_bytes({94, 96}, "AABB");
  ASSERT_NE(ok.size(), 0u);
  const Case cases[] = {
      {"shorter than the header", ok.substr(0, 77)},
      {"list beyond the end", database_bytes({}, "", 0, 3)},
      {"count that cannot fit", database_bytes({94}, "ab", 0, 0xFFFF)},
      {"offset inside the list", database_bytes({93, 96}, "AABB")},
      {"offsets backwards", database_bytes({96, 94}, "AABB")},
      {"offset beyond the end", database_bytes({94, 99}, "AABB")},
      {"offset far beyond the end", database_bytes({94, 0xFFFFFFF0}, "AABB")},
  };
  for (const Case& c : cases) {
    testing::write_bytes(path(), c.bytes);
    for (int32_t mode : {0, 1, 2}) {
      uint8_t code = mode == 1 ? read_only : read_write;
      EXPECT_EQ(PalmDatabase::open(path(), code, mode), nullptr) << c.what << ", mode " << mode;
    }
    EXPECT_EQ(testing::read_bytes(path()), c.bytes) << c.what;
  }
  testing::write_bytes(path(), ok);
  auto db = PalmDatabase::open(path(), read_only, 0);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->name(), "Sample");
  EXPECT_EQ(db->record_info(1)->attributes, 0x40);
  EXPECT_EQ(db->record_info(1)->unique_id, 11u);
}

TEST_F(PalmDatabaseTest, EditingRecords) {
  std::string file = three_records();
  auto db = PalmDatabase::open(file, read_write, 3);
  ASSERT_EQ(db->mode(), 0);
  EXPECT_TRUE(db->resize_record(0, 5));  // "abc" + two zero bytes
  EXPECT_TRUE(db->resize_record(2, 1));  // "x"
  EXPECT_TRUE(db->set_record_info(1, 0x80, 0x123456));
  EXPECT_FALSE(db->set_record_info(3, 0, 0));
  EXPECT_FALSE(db->resize_record(-1, 0));
  EXPECT_FALSE(db->delete_record(3));
  auto first = db->get_record(0);
  EXPECT_FALSE(first->write(4, "zz", 2));  // would run past the end
  EXPECT_TRUE(first->write(4, "z", 1));
  db->release_record(std::move(first));
  EXPECT_EQ(db->new_record(-1, 1), nullptr);
  db->set_name("a name that is much longer than thirty-one bytes");
  db->set_dates({.backup = 77});
  db->set_info({.version = 9});
  EXPECT_TRUE(db->close());

  auto again = PalmDatabase::open(file, read_write, 0);
  ASSERT_EQ(again->record_count(), 3);
  EXPECT_EQ(record_text(*again->get_record(0)), std::string("abc\0z", 5));
  EXPECT_EQ(record_text(*again->get_record(2)), "x");
  EXPECT_EQ(again->record_info(1)->attributes, 0x80);
  EXPECT_EQ(again->find_by_unique_id(0x123456), 1);
  EXPECT_EQ(again->name(), "a name that is much longer than");
  EXPECT_EQ(again->get_dates().backup, 77u);
  EXPECT_EQ(again->get_dates().creation, palm_time_1970);
  EXPECT_EQ(again->get_info().version, 9);
  EXPECT_TRUE(again->delete_record(0));
  EXPECT_TRUE(again->delete_record(0));
  EXPECT_TRUE(again->delete_record(0));
  EXPECT_TRUE(again->close());
  EXPECT_EQ(testing::read_bytes(file).size(), 80u);  // back to the empty layout
}

int16_t by_first_byte(const PalmSortItem& a, const PalmSortItem& b, void* user) {
  ++*static_cast<int*>(user);
  int left = a.data.empty() ? -1 : a.data[0];
  int right = b.data.empty() ? -1 : b.data[0];
  return static_cast<int16_t>(left - right);
}

TEST_F(PalmDatabaseTest, SortsAndSortedPositions) {
  auto db = PalmDatabase::create(path(), create_always, "LORV", "LogF", 0);
  const char keys[] = "dbdac";
  for (int i = 0; i < 5; ++i) db->new_record(i, 1)->write(0, &keys[i], 1);
  int calls = 0;
  ASSERT_TRUE(db->insertion_sort(by_first_byte, &calls));
  EXPECT_GT(calls, 0);
  std::string order;
  std::vector<uint32_t> ids;
  for (int i = 0; i < 5; ++i) {
    order += record_text(*db->get_record(i));
    ids.push_back(db->record_info(i)->unique_id);
  }
  EXPECT_EQ(order, "abcdd");
  EXPECT_EQ(ids, (std::vector<uint32_t>{3, 1, 4, 0, 2}));  // equal keys keep their order

  const uint8_t c = 'c';
  const uint8_t e = 'e';
  SearchResult found =
      db->find_sort_position({std::span<const uint8_t>(&c, 1), {}}, by_first_byte, &calls);
  EXPECT_TRUE(found.found);
  EXPECT_EQ(found.position, 2);
  SearchResult after =
      db->find_sort_position({std::span<const uint8_t>(&e, 1), {}}, by_first_byte, &calls);
  EXPECT_FALSE(after.found);
  EXPECT_EQ(after.position, 5);

  for (int i = 0; i < 5; ++i) db->get_record(i)->write(0, &keys[i], 1);
  ASSERT_TRUE(db->quick_sort(by_first_byte, &calls));
  order.clear();
  for (int i = 0; i < 5; ++i) order += record_text(*db->get_record(i));
  EXPECT_EQ(order, "abcdd");
  EXPECT_FALSE(db->quick_sort(PalmCompare(), nullptr));
}

TEST_F(PalmDatabaseTest, RecordTableIsLimitedToItsCountField) {
  auto db = PalmDatabase::create(path(), create_always, "LORV", "LogF", 0);
  EXPECT_EQ(db->new_record(0, 0x7FFFFFF0), nullptr);  // offsets could not address it
  auto small = db->new_record(0, 1);
  EXPECT_FALSE(db->resize_record(0, 0x7FFFFFF0));
  EXPECT_EQ(small->size(), 1u);
  EXPECT_TRUE(db->delete_record(0));
  for (int32_t i = 0; i < PalmDatabase::max_records; ++i) ASSERT_NE(db->new_record(i, 0), nullptr);
  EXPECT_EQ(db->new_record(0, 0), nullptr);
  EXPECT_EQ(db->new_record(0, 0x7FFFFFFF), nullptr);
}

// Application information between the record list and the first record
// stays attached to its header offset when the list grows.
TEST_F(PalmDatabaseTest, ApplicationInfoSurvivesWriteBack) {
  std::string file = path();
  testing::write_bytes(file, database_bytes({98, 100}, "INFOabcd", 94));
  auto db = PalmDatabase::open(file, read_write, 0);
  ASSERT_NE(db, nullptr);
  db->new_record(0, 1)->write(0, "z", 1);
  EXPECT_TRUE(db->close());
  std::string bytes = testing::read_bytes(file);
  EXPECT_EQ(bytes.substr(52, 4), be32(102));  // moved with the longer list
  EXPECT_EQ(bytes.substr(102), "INFOzabcd");

  auto reopened = PalmDatabase::open(file, read_only, 1);
  ASSERT_NE(reopened, nullptr);
  EXPECT_EQ(record_text(*reopened->get_record(1)), "ab");
}

TEST_F(PalmDatabaseTest, WriteBackGoesThroughLinksAndLeavesNoTemporaryFiles) {
  std::string target = three_records();
  std::string link = path("link.pdb");
  std::filesystem::create_symlink(target, link);
  std::filesystem::permissions(target, std::filesystem::perms(0640));
  auto db = PalmDatabase::open(link, read_write, 0);
  ASSERT_NE(db, nullptr);
  db->delete_record(1);
  EXPECT_TRUE(db->close());
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(testing::read_bytes(target).size(), 78u + 16 + 5);
  EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0640));
  int files = 0;
  for (const auto& item : std::filesystem::directory_iterator(dir_.path())) {
    (void)item;
    ++files;
  }
  EXPECT_EQ(files, 2);
}

// Runs in a child process: a write-back under a file size limit of 1000 bytes.
[[noreturn]] void fail_write_back(const std::string& file) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{1000, 1000};
  setrlimit(RLIMIT_FSIZE, &limit);
  auto db = PalmDatabase::open(file, read_write, 0);
  if (db == nullptr || db->new_record(0, 5000) == nullptr) std::_Exit(2);
  bool written = db->close();
  std::_Exit(!written && db->error == 6 ? 0 : 1);
}

// A write-back that fails half-way (here: the file size limit, as a full
// disk would) reports error 6 and leaves the old file whole.
TEST_F(PalmDatabaseTest, FailedWriteBackKeepsTheOldFile) {
  std::string file = three_records();
  std::string before = testing::read_bytes(file);
  EXPECT_EXIT(fail_write_back(file), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(testing::read_bytes(file), before);
  int files = 0;
  for (const auto& item : std::filesystem::directory_iterator(dir_.path())) {
    (void)item;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace wayfetch
