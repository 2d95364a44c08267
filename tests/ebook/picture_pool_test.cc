#include "ebook/picture_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ebook/bitmap_pictures.h"
#include "imaging/graphics_exception.h"
#include "tests/imaging/picture_files.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

// A conversion that takes a while, counts how many run at once and how far
// ahead of take() they start, and fails for the paths named so.
class SlowConversions {
 public:
  PictureRecord operator()(const std::string& path) {
    const int now = ++running_;
    int seen = most_at_once_.load();
    while (now > seen && !most_at_once_.compare_exchange_weak(seen, now)) {
    }
    const int ahead = ++started_ - taken_.load();
    seen = most_ahead_.load();
    while (ahead > seen && !most_ahead_.compare_exchange_weak(seen, ahead)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(path.size() % 3));
    --running_;
    if (path.starts_with("bad")) throw EGraphicsException("Bad picture " + path);
    if (path.starts_with("odd")) throw 42;
    PictureRecord record;
    record.bytes.assign(path.begin(), path.end());
    record.converted = true;
    return record;
  }
  void taken() { ++taken_; }
  int most_at_once() const { return most_at_once_; }
  int most_ahead() const { return most_ahead_; }

 private:
  std::atomic<int> running_{0};
  std::atomic<int> started_{0};
  std::atomic<int> taken_{0};
  std::atomic<int> most_at_once_{0};
  std::atomic<int> most_ahead_{0};
};

std::vector<std::string> picture_names(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back("picture" + std::to_string(i) + ".jpg");
  return names;
}

TEST(PicturePoolTest, HandsOutInOrderWithinItsBounds) {
  for (int threads : {1, 2, 3, 8}) {
    SlowConversions slow;
    const std::vector<std::string> names = picture_names(40);
    PicturePool pool(threads, std::ref(slow));
    // Pictures come while others are taken.
    for (std::size_t i = 0; i < 5; ++i) pool.add(names[i]);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string& name = names[i];
      if (i + 5 < names.size()) pool.add(names[i + 5]);
      ASSERT_TRUE(pool.is_next(name));
      EXPECT_FALSE(pool.is_next("another.jpg"));
      const PictureRecord record = pool.take();
      slow.taken();
      EXPECT_EQ(std::string(record.bytes.begin(), record.bytes.end()), name) << threads;
    }
    EXPECT_FALSE(pool.is_next(names.back()));
    EXPECT_LE(slow.most_at_once(), threads);
    // A thread may start one picture while its last result is not taken.
    EXPECT_LE(slow.most_ahead(), 2 * threads + 1) << threads;
  }
}

TEST(PicturePoolTest, FailuresComeBackAtTheirOwnPicture) {
  SlowConversions slow;
  PicturePool pool(2, std::ref(slow));
  for (const char* name : {"a.jpg", "bad.jpg", "odd.jpg", "b.jpg"}) pool.add(name);
  EXPECT_EQ(pool.take().bytes.size(), 5u);
  try {
    pool.take();
    ADD_FAILURE() << "no exception";
  } catch (const EGraphicsException& e) {
    EXPECT_STREQ(e.what(), "Bad picture bad.jpg");
  }
  EXPECT_THROW(pool.take(), int);
  EXPECT_EQ(pool.take().bytes.size(), 5u);
}

TEST(PicturePoolTest, StopsWithPicturesLeft) {
  SlowConversions slow;
  const auto start = std::chrono::steady_clock::now();
  {
    PicturePool pool(4, std::ref(slow));
    for (const std::string& name : picture_names(200)) pool.add(name);
    pool.take();
  }
  // The threads stopped after at most their window, not all 200 pictures.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_LE(slow.most_ahead(), 9);
}

TEST(PicturePoolTest, PicturesOfABookAreTheSameOnAnyNumberOfThreads) {
  testing::TempDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i) {
    paths.push_back(dir.file("p" + std::to_string(i) + ".jpg"));
    testing::write_file(paths.back(),
                        testing::encode_jpeg(testing::photo_image(300, 200 + 10 * i, i + 1)));
  }
  paths.push_back(dir.file("missing.png"));
  paths.push_back(paths[2]);

  std::vector<std::vector<uint8_t>> alone;
  std::vector<std::string> alone_notes;
  for (int threads : {1, 3}) {
    BitmapPictureSource source(threads);
    for (const std::string& path : paths) source.expect(path);
    std::vector<std::vector<uint8_t>> records;
    for (const std::string& path : {paths[0], dir.file("unannounced.gif")}) {
      std::vector<uint8_t> record;
      std::string why;
      ASSERT_TRUE(source.make_record(path, record, why));
      records.push_back(record);
    }
    for (std::size_t i = 1; i < paths.size(); ++i) {
      std::vector<uint8_t> record;
      std::string why;
      ASSERT_TRUE(source.make_record(paths[i], record, why));
      records.push_back(record);
    }
    source.expect_none();
    if (threads == 1) {
      alone = records;
      alone_notes = source.notes();
    } else {
      EXPECT_EQ(records, alone);
      EXPECT_EQ(source.notes(), alone_notes);
    }
  }
  ASSERT_EQ(alone_notes.size(), 2u);
  EXPECT_TRUE(alone_notes[1].starts_with(dir.file("missing.png")));
}

}  // namespace
}  // namespace wayfetch
