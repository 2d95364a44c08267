#include "platform/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace
}  // namespace wayfetch::platform
