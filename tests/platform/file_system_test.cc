#include "platform/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace wayfetch::platform {
namespace {

TEST(FileSystemTest, OpenModeCodes) {
  EXPECT_EQ(open_flags_for(0x09), O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(open_flags_for(0x16), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
  EXPECT_EQ(open_flags_for(0x97), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC);
  EXPECT_EQ(open_flags_for(0x05), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC);
  EXPECT_EQ(open_flags_for(0x01), -1);  // creation bits 0
  EXPECT_EQ(open_flags_for(0x19), -1);  // 24 is not a creation value
  EXPECT_EQ(open_flags_for(0x11), -1);  // truncating needs write access
}

TEST(FileSystemTest, FoldersAreNotFiles) {
  testing::TempDir dir;
  EXPECT_EQ(open_with_code(dir.path(), 0x09, false), -1);
  EXPECT_EQ(open_with_code("", 0x09, false), -1);
}

TEST(FileSystemTest, TemporaryFilesLiveInTmpdir) {
  testing::TempDir dir;
  setenv("TMPDIR", dir.path().c_str(), 1);
  std::string path;
  int fd = create_temporary_file("qzt", path);
  unsetenv("TMPDIR");
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(path.rfind(dir.path() + "/qzt", 0), 0u);
  EXPECT_TRUE(remove_file(path));
  EXPECT_FALSE(remove_file(path));
}

TEST(FileSystemTest, PrivateTemporaryFolders) {
  testing::TempDir dir;
  setenv("TMPDIR", dir.path().c_str(), 1);
  const std::string folder = create_temporary_folder("work-");
  const std::string second = create_temporary_folder("work-");
  unsetenv("TMPDIR");
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder, second);
  EXPECT_EQ(folder.rfind(dir.path() + "/work-", 0), 0u);
  struct stat info {};
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // Removal takes the contents, and a link inside is removed, not followed.
  testing::write_bytes(dir.file("keep.txt"), "kept");
  testing::write_bytes(folder + "/a.tmp", "x");
  std::filesystem::create_directory(folder + "/sub");
  std::filesystem::create_symlink(dir.file("keep.txt"), folder + "/sub/link");
  EXPECT_TRUE(remove_folder(folder));
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(testing::read_bytes(dir.file("keep.txt")), "kept");
  EXPECT_FALSE(remove_folder(""));
}

TEST(FileSystemTest, RegularFilesAndDefaultPermissions) {
  testing::TempDir dir;
  testing::write_bytes(dir.file("a.html"), "x");
  ASSERT_EQ(mkfifo(dir.file("pipe.html").c_str(), 0600), 0);
  EXPECT_TRUE(is_regular_file(dir.file("a.html")));
  EXPECT_FALSE(is_regular_file(dir.file("pipe.html")));
  EXPECT_FALSE(is_regular_file(dir.path()));
  EXPECT_FALSE(is_regular_file(dir.file("missing.html")));

  // 2001-03-08 18:28:44.5 UTC, as a file time.
  const timespec times[2] = {{984076124, 500'000'000}, {984076124, 500'000'000}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir.file("a.html").c_str(), times, 0), 0);
  uint64_t written = 0;
  EXPECT_TRUE(last_write_time(dir.file("a.html"), written));
  EXPECT_EQ(written, 126'285'497'245'000'000u);
  EXPECT_FALSE(last_write_time(dir.file("pipe.html"), written));
  EXPECT_FALSE(last_write_time(dir.file("missing.html"), written));

  chmod(dir.file("a.html").c_str(), 0600);
  const mode_t old_mask = umask(027);
  const bool changed = use_default_permissions(dir.file("a.html"));
  umask(old_mask);
  ASSERT_TRUE(changed);
  struct stat info {};
  ASSERT_EQ(stat(dir.file("a.html").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_FALSE(use_default_permissions(dir.file("missing.html")));
}

TEST(FileSystemTest, ReplaceFileTakesOnlyWhatCanBeMadeDurable) {
  testing::TempDir dir;
  testing::write_bytes(dir.file("book.prc"), "old");
  const std::string beside = create_file_beside(dir.file("book.prc"));
  ASSERT_FALSE(beside.empty());
  testing::write_bytes(beside, "new");
  EXPECT_TRUE(replace_file(beside, dir.file("book.prc")));
  EXPECT_EQ(testing::read_bytes(dir.file("book.prc")), "new");
  EXPECT_FALSE(std::filesystem::exists(beside));
  // Nothing to sync: the old file stays.
  EXPECT_FALSE(replace_file(dir.file("gone.prc"), dir.file("book.prc")));
  EXPECT_EQ(testing::read_bytes(dir.file("book.prc")), "new");
}

}  // namespace
}  // namespace wayfetch::platform
