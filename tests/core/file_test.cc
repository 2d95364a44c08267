#include "core/file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/string.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

class FileTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
};

TEST_F(FileTest, CreationBits) {
  File file;
  std::string path = dir_.file("a");
  EXPECT_FALSE(file.open(path, 0x01));  // creation bits 0 are invalid
  EXPECT_FALSE(file.open(path, 0x09));  // open existing: missing
  EXPECT_TRUE(file.open(path, 0x06));   // create new
  EXPECT_EQ(file.write("abc", 3), 3);
  file.close();
  EXPECT_FALSE(file.open(path, 0x06));  // create new: exists
  EXPECT_TRUE(file.open(path, 0x09));
  char buffer[8] = {};
  EXPECT_EQ(file.read(buffer, 8), 3);
  EXPECT_EQ(file.size(), 3);
  file.close();
  EXPECT_TRUE(file.open(String(path.c_str()), File::write_new));  // create always truncates
  EXPECT_EQ(file.size(), 0);
}

TEST_F(FileTest, TemporaryFileIsDeletedOnClose) {
  File file;
  ASSERT_TRUE(file.open_temporary());
  std::string name = file.name();
  EXPECT_NE(name.find("/qzt"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(name));
  EXPECT_EQ(file.write("xyz", 3), 3);
  File moved = std::move(file);
  EXPECT_FALSE(file.is_open());  // NOLINT(bugprone-use-after-move)
  moved.close();
  EXPECT_FALSE(std::filesystem::exists(name));
  moved.close();  // closing twice does nothing
}

TEST_F(FileTest, DeleteOnCloseBit) {
  std::string path = dir_.file("gone");
  {
    File file;
    ASSERT_TRUE(file.open(path, 0x97));
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(FileTest, CopyToInChunks) {
  for (std::size_t size :
       {std::size_t{0}, std::size_t{3999}, std::size_t{8000}, std::size_t{9001}}) {
    std::string source = dir_.file("source");
    std::string content;
    for (std::size_t i = 0; i < size; ++i) content.push_back(static_cast<char>('a' + i % 23));
    testing::write_bytes(source, content);
    File file;
    ASSERT_TRUE(file.open(source, 0x09));
    std::string target = dir_.file("target");
    EXPECT_TRUE(file.copy_to(target, 0x14));
    EXPECT_EQ(testing::read_bytes(target), content) << size;
  }
  File closed;
  EXPECT_FALSE(closed.copy_to(dir_.file("x"), 0x14));
}

TEST_F(FileTest, WidePathsOpenAndCopy) {
  std::string path = dir_.file("caf\xC3\xA9.txt");
  testing::write_bytes(path, "wide");
  std::u16string wide = std::u16string(path.begin(), path.end() - 9) + u"caf\u00E9.txt";
  File file;
  ASSERT_TRUE(file.open_wide(wide, File::read_existing));
  EXPECT_FALSE(file.delete_on_close());
  std::u16string target = std::u16string(path.begin(), path.end() - 9) + u"copy\u00E9";
  EXPECT_TRUE(file.copy_to_wide(target, 0x14));
  EXPECT_EQ(testing::read_bytes(dir_.file("copy\xC3\xA9")), "wide");
}

TEST_F(FileTest, TruncateAndSeek) {
  File file;
  ASSERT_TRUE(file.open(dir_.file("t"), 0x17));
  EXPECT_EQ(file.write("0123456789", 10), 10);
  EXPECT_TRUE(file.truncate(4));
  EXPECT_EQ(file.size(), 4);
  EXPECT_EQ(file.seek(0, File::Origin::end), 4);
  EXPECT_EQ(file.seek(1, File::Origin::start), 1);
  char buffer[4] = {};
  EXPECT_EQ(file.read(buffer, 4), 3);
  EXPECT_EQ(std::string(buffer, 3), "123");
  EXPECT_FALSE(file.truncate(-1));
}

TEST_F(FileTest, WriteFailureIsReported) {
  File file;
  ASSERT_TRUE(file.open("/dev/full", 0x0A));
  EXPECT_LT(file.write("abc", 3), 3);
}

TEST_F(FileTest, ReadTellsTheEndFromAFailure) {
  char buffer[4] = {};
  File file;
  EXPECT_EQ(file.read(buffer, 4), -1);  // closed
  ASSERT_TRUE(file.open(dir_.file("w"), File::write_new));
  EXPECT_EQ(file.write("ab", 2), 2);
  EXPECT_EQ(file.read(buffer, 4), -1);  // not opened for reading
  ASSERT_TRUE(file.open(dir_.file("w"), File::read_existing));
  EXPECT_EQ(file.read(buffer, 4), 2);
  EXPECT_EQ(file.read(buffer, 4), 0);  // the end
  EXPECT_EQ(file.read(nullptr, 0), 0);
}

}  // namespace
}  // namespace wayfetch
