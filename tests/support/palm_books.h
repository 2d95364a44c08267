// Palm database files for the tests of the HotSync host and the conduit:
// writing a small book, and comparing two files database by database.
#ifndef WAYFETCH_TESTS_SUPPORT_PALM_BOOKS_H
#define WAYFETCH_TESTS_SUPPORT_PALM_BOOKS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/palm_database.h"

namespace wayfetch::testing {

struct Book {
  std::string name;
  std::string type = "TEXt";
  std::string creator = "REAd";
  std::vector<std::string> records;
  uint32_t modified = 0xB0001000;  // seconds since 1904
};

inline void write_book(const std::string& path, const Book& book) {
  auto db = PalmDatabase::create(path, 0x14, book.creator, book.type, PalmDatabase::mode_memory);
  ASSERT_TRUE(db);
  db->set_name(book.name);
  db->set_info({.attributes = 0x0008, .version = 3, .modification_number = 9});
  db->set_dates({.creation = 0xB0000000, .modification = book.modified, .backup = 0xB0000500});
  for (std::size_t i = 0; i < book.records.size(); ++i) {
    const auto index = static_cast<int32_t>(i);
    auto record = db->new_record(index, static_cast<uint32_t>(book.records[i].size()));
    record->write(0, book.records[i].data(), record->size());
    db->release_record(std::move(record));
    db->set_record_info(index, static_cast<uint8_t>(0x40 | i), static_cast<uint32_t>(500 + i));
  }
  ASSERT_TRUE(db->close());
}

// The two files hold the same database, field by field and record by record;
// `all` also compares what only a copy carries (backup date, modification number).
inline void expect_same_database(const std::string& a_path, const std::string& b_path, bool all) {
  auto a = PalmDatabase::open(a_path, File::read_existing, PalmDatabase::mode_on_demand);
  auto b = PalmDatabase::open(b_path, File::read_existing, PalmDatabase::mode_on_demand);
  ASSERT_TRUE(a && b) << a_path << " " << b_path;
  const PalmHeader& x = a->header();
  const PalmHeader& y = b->header();
  EXPECT_EQ(a->name(), b->name());
  EXPECT_EQ(x.attributes, y.attributes);
  EXPECT_EQ(x.version, y.version);
  EXPECT_EQ(x.creation_date, y.creation_date);
  EXPECT_EQ(x.modification_date, y.modification_date);
  EXPECT_EQ(x.type, y.type);
  EXPECT_EQ(x.creator, y.creator);
  if (all) {
    EXPECT_EQ(x.backup_date, y.backup_date);
    EXPECT_EQ(x.modification_number, y.modification_number);
  }
  ASSERT_EQ(a->record_count(), b->record_count());
  for (int32_t i = 0; i < a->record_count(); ++i) {
    auto ra = a->get_record(i);
    auto rb = b->get_record(i);
    EXPECT_TRUE(
        std::equal(ra->data().begin(), ra->data().end(), rb->data().begin(), rb->data().end()))
        << "record " << i;
    EXPECT_EQ(a->record_info(i)->attributes, b->record_info(i)->attributes);
    EXPECT_EQ(a->record_info(i)->unique_id, b->record_info(i)->unique_id);
  }
}

}  // namespace wayfetch::testing

#endif
