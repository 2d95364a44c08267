#include "platform/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/settings_store_fake.h"
#include "platform/settings_store_file.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace wayfetch::platform {
namespace {

constexpr const char* program_key = "SOFTWARE\\Lorvane\\Wayfetch";

TEST(SettingsDataTest, HostileNamesAndValuesSurviveTheTextForm) {
  struct Entry {
    const char* key;
    std::string name;
    std::string value;
  };
  const std::vector<Entry> entries = {
      {program_key, "Installation path", "/home/u/.local/share/lorvane-wayfetch"},
      {program_key, "", "the default value"},
      {program_key, "a=b", "x=y"},
      {program_key, "#not a comment", "[not a key]"},
      {program_key, "line", "one\nname=injected\n[Evil]\r\n"},
      {program_key, "percent", "100%25 %"},
      {"SOFTWARE\\Lorvane\\Wayfetch\\Selection\\news]x", "  spaces  ", "  kept  "},
      {"SOFTWARE\\Lorvane\\Wayfetch\\eNews", std::string("nul\0byte", 8), ""},
  };
  SettingsData data;
  for (const Entry& entry : entries) ASSERT_TRUE(data.set(entry.key, entry.name, entry.value));
  std::string text = data.format();
  int32_t skipped = -1;
  SettingsData back = SettingsData::parse(text, &skipped);
  EXPECT_EQ(skipped, 0) << text;
  EXPECT_TRUE(back == data) << text;
  EXPECT_FALSE(back.key_exists("Evil"));
  for (const Entry& entry : entries) {
    const std::string* value = back.find(entry.key, entry.name);
    ASSERT_NE(value, nullptr) << entry.name;
    EXPECT_EQ(*value, entry.value);
  }
}

TEST(SettingsDataTest, MalformedLinesAreSkipped) {
  const std::string text =
      "orphan=before any key\n"
      "[Good]\r\n"
      "kept=1\r\n"
      "no equals sign\n"
      "bad=%4\n"
      "bad2=%zz\n"
      "# a comment\n"
      "\n"
      "[Unclosed\n"
      "lost=under a bad heading\n"
      "[A\\\\B]\n"
      "lost2=under an invalid key\n"
      "[Good]\n"
      "kept=2\n";
  int32_t skipped = 0;
  SettingsData data = SettingsData::parse(text, &skipped);
  EXPECT_EQ(skipped, 8);
  ASSERT_NE(data.find("good", "KEPT"), nullptr);
  EXPECT_EQ(*data.find("good", "KEPT"), "2");  // the last one wins
  EXPECT_EQ(data.value_names("Good"), std::vector<std::string>{"kept"});
}

TEST(SettingsDataTest, KeysNestAndCompareWithoutAsciiCase) {
  SettingsData data;
  ASSERT_TRUE(data.set("A\\Selection\\news", "Sports", ""));
  ASSERT_TRUE(data.set("a\\selection\\NEWS", "weather", ""));
  ASSERT_TRUE(data.set("A\\Selection\\tech", "gadgets", ""));
  ASSERT_TRUE(data.create_key("A\\eNews"));
  EXPECT_FALSE(data.set("", "x", "y"));
  EXPECT_FALSE(data.set("A\\\\B", "x", "y"));
  EXPECT_FALSE(data.create_key("\\A"));

  EXPECT_TRUE(data.key_exists("a"));  // exists through the keys below it
  EXPECT_TRUE(data.key_exists("A\\ENEWS"));
  EXPECT_FALSE(data.key_exists("A\\Sel"));
  EXPECT_EQ(data.subkey_names("A"), (std::vector<std::string>{"eNews", "Selection"}));
  EXPECT_EQ(data.subkey_names("A\\Selection"), (std::vector<std::string>{"news", "tech"}));
  EXPECT_EQ(data.value_names("A\\Selection\\News"),
            (std::vector<std::string>{"Sports", "weather"}));

  EXPECT_TRUE(data.remove_key("a\\selection"));
  EXPECT_FALSE(data.key_exists("A\\Selection\\tech"));
  EXPECT_TRUE(data.key_exists("A\\eNews"));
  EXPECT_FALSE(data.remove_key("A\\Selection"));
}

class FileSettingsStoreTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  testing::XdgFolders folders_{dir_.path()};
  FileSettingsStore store_;
};

TEST_F(FileSettingsStoreTest, DefaultPathFollowsXdgRules) {
  EXPECT_EQ(store_.path(), folders_.config() + "/lorvane-wayfetch/settings");
  testing::ScopedEnv env;
  env.set("XDG_CONFIG_HOME", "relative/config");
  env.set("HOME", "/home/someone");
  EXPECT_EQ(FileSettingsStore::default_path(), "/home/someone/.config/lorvane-wayfetch/settings");
}

TEST_F(FileSettingsStoreTest, ValuesAreStoredInTheFile) {
  std::string value;
  EXPECT_EQ(store_.read_value(program_key, "Device type", value).code, SettingsError::not_found);
  ASSERT_TRUE(store_.write_value(program_key, "Device type", "ebm").ok());
  bool written = true;
  ASSERT_TRUE(store_.write_value_if_absent(program_key, "device TYPE", "palm", &written).ok());
  EXPECT_FALSE(written);
  ASSERT_TRUE(store_.write_value("SOFTWARE\\Microsoft\\App Paths\\WCESMGR.EXE", "", "/opt/x").ok());

  FileSettingsStore other(store_.path());  // another instance reads the same file
  ASSERT_TRUE(other.read_value(program_key, "Device type", value).ok());
  EXPECT_EQ(value, "ebm");
  ASSERT_TRUE(other.read_value("SOFTWARE\\Microsoft\\App Paths\\WCESMGR.EXE", "", value).ok());
  EXPECT_EQ(value, "/opt/x");
  std::vector<std::string> names;
  EXPECT_EQ(other.value_names("SOFTWARE\\Nothing", names).code, SettingsError::not_found);
  ASSERT_TRUE(other.subkey_names("SOFTWARE", names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"Lorvane", "Microsoft"}));

  struct stat info {};
  ASSERT_EQ(::stat((folders_.config() + "/lorvane-wayfetch").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(other.remove_key("SOFTWARE\\Microsoft").ok());
  EXPECT_EQ(store_.remove_value(program_key, "none").code, SettingsError::not_found);
}

TEST_F(FileSettingsStoreTest, WhatCannotBeReadIsNeverOverwritten) {
  ASSERT_TRUE(store_.write_value(program_key, "Device type", "ebm").ok());
  const std::string big = "[K]\nv=" + std::string(FileSettingsStore::max_file_size, 'x') + "\n";
  testing::write_bytes(store_.path(), big);
  SettingsData data;
  EXPECT_EQ(store_.read_all(data).code, SettingsError::unreadable);
  EXPECT_EQ(store_.write_value(program_key, "Device type", "palm").code, SettingsError::unreadable);
  EXPECT_EQ(testing::read_bytes(store_.path()).size(), big.size());

  ASSERT_EQ(::unlink(store_.path().c_str()), 0);
  ASSERT_EQ(::mkfifo(store_.path().c_str(), 0600), 0);  // must not block
  EXPECT_EQ(store_.read_all(data).code, SettingsError::unreadable);
  EXPECT_EQ(store_.write_value(program_key, "x", "y").code, SettingsError::unreadable);

  FileSettingsStore nowhere("/proc/no-such-folder/settings");
  EXPECT_EQ(nowhere.write_value(program_key, "x", "y").code, SettingsError::write_failed);
  EXPECT_TRUE(nowhere.read_all(data).ok());  // missing: nothing stored yet
}

TEST_F(FileSettingsStoreTest, TwoProcessesChangingTheStoreLoseNoValue) {
  constexpr int per_process = 40;
  std::vector<pid_t> children;
  for (char who : {'a', 'b'}) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      FileSettingsStore mine(store_.path());
      bool ok = true;
      for (int i = 0; i < per_process; ++i) {
        std::string name = std::string(1, who) + std::to_string(i);
        ok = mine.write_value(program_key, name, name).ok() && ok;
      }
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<std::string> names;
  ASSERT_TRUE(store_.value_names(program_key, names).ok());
  EXPECT_EQ(names.size(), 2u * per_process);
}

TEST(MemorySettingsStoreTest, FailuresLeaveTheContent) {
  MemorySettingsStore store;
  ASSERT_TRUE(store.write_value(program_key, "Device type", "ebm").ok());
  store.fail_writes(true);
  EXPECT_EQ(store.write_value(program_key, "Device type", "palm").code,
            SettingsError::write_failed);
  store.fail_writes(false);
  std::string value;
  ASSERT_TRUE(store.read_value(program_key, "Device type", value).ok());
  EXPECT_EQ(value, "ebm");
  EXPECT_EQ(store.writes(), 1);
}

}  // namespace
}  // namespace wayfetch::platform
