#include "config/wayfetch_configuration.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/settings_store_file.h"
#include "platform/user_folders.h"
#include "tests/config/config_dump.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::dump;

std::string expected_file(const char* name) {
  return testing::read_bytes(std::string(WAYFETCH_SOURCE_DIR) + "/tests/config/expected/" + name);
}

class ConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(config_.register_program()); }

  std::string config_file() { return config_.config_path().to_utf8(); }
  void write_config(const std::string& text) { testing::write_bytes(config_file(), text); }
  // Reads `text` as a configuration into `out` (with its settings).
  bool load_text(WayfetchConfiguration& out, const std::string& text) {
    write_config(text);
    return out.load(config_.config_path(), true, true);
  }
  static String text(const char* value) { return String(value); }

  testing::TempDir dir_;
  testing::XdgFolders folders_{dir_.path()};
  // 2001-03-08 18:28:44.000 UTC: the default "next-test" of a new configuration.
  platform::FakeClock clock_;
  platform::ScopedClock use_clock_{clock_};
  platform::FileSettingsStore store_;
  WayfetchConfiguration config_{store_};
};

TEST_F(ConfigurationTest, FoldersComeFromTheSettingsStore) {
  const std::string home = folders_.data() + "/lorvane-wayfetch";
  EXPECT_EQ(config_.installation_path().to_utf8(), home);
  EXPECT_EQ(config_.config_path().to_utf8(), home + "/config.xml");
  EXPECT_EQ(config_.library_temp_path().to_utf8(), home + "/lorvbook_temp.mbl");
  EXPECT_EQ(config_.error_log_path().to_utf8(), home + "/error_log.txt");
  struct stat info {};
  EXPECT_EQ(::stat(config_.data_folder().to_utf8().c_str(), &info), 0);
  std::string program;
  ASSERT_TRUE(store_.read_value("SOFTWARE\\Lorvane\\Wayfetch", "Wayfetch Exe", program).ok());
  EXPECT_EQ(program, platform::executable_path());
  // The build tree's copy of the shipped file, found from the test program.
  EXPECT_NE(config_.default_config_path().to_utf8().find("/share/wayfetch/default_config.xml"),
            std::string::npos);

  platform::FileSettingsStore empty(dir_.file("other-settings"));
  WayfetchConfiguration unregistered(empty);
  EXPECT_TRUE(unregistered.config_path().empty());
  EXPECT_EQ(unregistered.error, 116);
  EXPECT_FALSE(unregistered.save());
}

TEST_F(ConfigurationTest, ReadsEveryFieldTolerantly) {
  ASSERT_TRUE(
      load_text(config_,
                "<description><WAYFETCH-CONFIG><unknown/>"
                "<ENews Name='My news' validity='2 day' periodicity='1 day; 6 hour' "
                "xml-extraction=http://a.example/x.enews file-count='4294967296' "
                "time-per-file='-5' file-size=' 42 ' colour='red'>"
                "<Title lang='en'><!-- note -->Tom & Jerry</Title>"
                "<enewsitem name='a b' selected='YES' selected-in-build='no' file-count='12abc'>"
                "<title>First</title></enewsitem>"
                "<enewsitem name='advert_top' selected='no' validity='5 minute'/>"
                "</ENews>"
                "<enews name='plain' validity=''><enewsitem name='x'/></enews>"
                "<global web-when-pda-sync='no' signal-end='no'>"
                "<proxy mode='proxy' name='p.example:3128' username='anne'/></global>"
                "<version major='4' minor='99999999999' rebuild='4294967295' url='http://v.example' "
                "next-test='2001/13/8 0:0:0:0'>3.2 beta</version>"
                "<version major='9'/>"
                "</WAYFETCH-CONFIG></description>"));
  EXPECT_EQ(dump(config_).substr(0, dump(config_).find("\nversion")),
            "enews \"My_news\" title=\"Tom & Jerry\" extraction=\"http://a.example/x.enews\" "
            "rendering=\"\" proxy=\"\" oneshot=0 files=0 time=0 size=42\n"
            "  item \"a_b\" title=\"First\" selected=1 in-build=0 periodicity=\"1 day; 6 hour\" "
            "validity=\"2 day\" files=0\n"
            "  item \"advert_top\" title=\"\" selected=1 in-build=0 periodicity=\"1 day; 6 hour\" "
            "validity=\"5 minute\" files=0\n"
            "enews \"plain\" title=\"\" extraction=\"\" rendering=\"\" proxy=\"\" oneshot=0 "
            "files=0 time=0 size=0\n"
            "  item \"x\" title=\"\" selected=0 in-build=0 periodicity=\"\" validity=\"1 hour\" "
            "files=0\n"
            "global web=no signal-end=0 proxy=proxy \"p.example:3128\" \"anne\"");
  const VersionRecord& version = config_.settings().version;
  EXPECT_EQ(version.major, 4u);
  EXPECT_EQ(version.minor, 2u);  // overflow: the default, not a wrapped number
  EXPECT_EQ(version.rebuild, 4294967295u);  // every rebuild: the full 32 bits
  EXPECT_EQ(version.text.to_utf8(), "3.2 beta");
  EXPECT_EQ(version.url.to_utf8(), "http://v.example");
  // Month 13: the time of creation stays.
  EXPECT_EQ(version.next_test.value(), platform::FakeClock::default_file_time);
}

TEST_F(ConfigurationTest, UnreadableDocumentsFailWithTheirCodes) {
  struct Case {
    const char* name;
    std::string content;  // "" = no file; "<folder>" = a folder in its place
    int32_t error;
  };
  const Case cases[] = {
      {"missing", "", 116},
      {"folder", "<folder>", 116},
      {"too large", "<wayfetch-config>" + std::string(16 << 20, ' '), 116},
      {"wrapped twice", "<a><b><wayfetch-config/></b></a>", 116},
      {"no root", "<other/>", 116},
      {"unknown end tag", "<wayfetch-config></enews></wayfetch-config>", 115},
      {"bad tag", "<wayfetch-config><=x></wayfetch-config>", 115},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(config_file());
    if (c.content == "<folder>") {
      std::filesystem::create_directory(config_file());
    } else if (!c.content.empty()) {
      write_config(c.content);
    }
    EXPECT_FALSE(config_.load(config_.config_path(), true, true)) << c.name;
    EXPECT_EQ(config_.error, c.error) << c.name;
  }
  EXPECT_EQ(config_.count(), 0);
}

// A configuration holding every kind of field the save writes.
void fill(WayfetchConfiguration& config) {
  auto toons = std::make_unique<ENews>();
  toons->set_name(String("toons"));
  toons->title = String("Tom & Jerry");
  toons->xml_extraction = String("http://x.example/a?b=\"c\">");
  toons->xsl_rendering = String("http://x.example/t.xsl");
  toons->oneshot = true;
  toons->file_count = 3;
  toons->time_per_file = 250;
  toons->file_size = 40960;
  auto& main = toons->add_item(std::make_unique<ENewsItem>());
  main.set_name(String("main"));
  main.title = String("Main");
  main.set_selected(true);
  main.set_periodicity(String("1 day; 6 hour"));
  main.set_validity(String("2 day"));
  main.file_count = 7;
  auto& advert = toons->add_item(std::make_unique<ENewsItem>());
  advert.set_name(String("advert_top"));
  advert.selected_in_build = true;
  advert.set_validity(String("1 hour"));
  advert.title = String("a<b");
  auto unnamed = std::make_unique<ENews>();
  unnamed->title = String("Unnamed");
  ENewsList list;
  list.push_back(std::move(toons));
  list.push_back(std::move(unnamed));
  config.merge(std::move(list), true);
  GlobalSettings& settings = config.settings();
  settings.web_when_pda_sync = YesNo::yes;
  settings.signal_end = false;
  settings.proxy = {ProxyMode::proxy, String("proxy.example:8080"), String("anne"),
                    String("secret")};
  settings.version.text = String("3.2");  // next-test: the clock's 2001-03-08 18:28:44.000
}

TEST_F(ConfigurationTest, SavesExactlyTheExpectedBytesAndReadsThemBack) {
  fill(config_);
  ASSERT_TRUE(config_.save());
  EXPECT_EQ(testing::read_bytes(config_file()), expected_file("full.xml"));

  WayfetchConfiguration again(store_);
  ASSERT_TRUE(again.load(again.config_path(), true, true));
  std::string expected = dump(config_);
  // Quotes and ">" in addresses come back escaped; the password, the version
  // text and its address are not saved.
  expected.replace(expected.find("\\u0022c\\u0022>"), 14, "%22c%22%3E");
  EXPECT_EQ(dump(again), expected);
  EXPECT_TRUE(again.settings().proxy.password.empty());
  EXPECT_TRUE(again.settings().version.text.empty());
  ASSERT_TRUE(again.save());
  EXPECT_EQ(testing::read_bytes(config_file()), expected_file("full.xml"));

  // No named proxy: no server or user is written, and none comes back. A
  // title that would end its own raw text gets a fullwidth "<" instead.
  again.settings().proxy.mode = ProxyMode::none;
  again.at(1).title = String("a</Title >b");
  ASSERT_TRUE(again.save());
  WayfetchConfiguration third(store_);
  ASSERT_TRUE(third.load(third.config_path(), true, true));
  EXPECT_EQ(testing::dump_text(third.at(1).title), "\"a\\uFF1C/Title >b\"");
  EXPECT_TRUE(third.settings().proxy.name.empty());
  EXPECT_TRUE(third.settings().proxy.user_name.empty());
  EXPECT_EQ(testing::read_bytes(config_file()).find(testing::utf16le("anne")), std::string::npos);
}

TEST_F(ConfigurationTest, MergeKeepsTheUsersChoices) {
  ASSERT_TRUE(load_text(config_,
                        "<wayfetch-config><enews name='news' file-count='5' file-size='900'>"
                        "<enewsitem name='sport' selected='yes' file-count='2'/>"
                        "<enewsitem name='weather' selected-in-build='yes'/>"
                        "<enewsitem name='advert_x'/></enews>"
                        "<enews name='other'/></wayfetch-config>"));
  ENewsList update;
  ASSERT_TRUE(config_.read_description(
      String("<x><wayfetch-config>"
             "<enews name='NEWS' title='new'><enewsitem name='Sport'/><enewsitem name='advert_x' "
             "selected='no'/><enewsitem name='tech'/></enews>"
             "<enews name='bad name!'/><enews/><enews name='other' file-count='9'/>"
             "</wayfetch-config></x>"),
      update, nullptr));
  ASSERT_EQ(update.size(), 4u);
  config_.merge(std::move(update), true);
  ASSERT_EQ(config_.count(), 3);
  ENews& news = config_.at(0);
  // Replaced in its place, under the spelling its folder has.
  EXPECT_EQ(news.name().to_utf8(), "news");
  EXPECT_EQ(news.item_count(), 3);
  EXPECT_TRUE(news.item(0).selected());  // the user's selection of "sport"
  EXPECT_EQ(news.item(0).file_count, 2);
  EXPECT_TRUE(news.item(1).selected());  // hidden items stay selected
  EXPECT_FALSE(news.item(2).selected());
  EXPECT_EQ(news.file_count, 5);
  EXPECT_EQ(news.file_size, 900);
  EXPECT_EQ(config_.at(1).file_count, 0);     // "other" replaced, statistics carried over
  EXPECT_TRUE(config_.at(2).name().empty());  // the empty name appended; "bad name!" dropped

  ENewsList again;
  ASSERT_TRUE(config_.read_description(String("<wayfetch-config><enews name='news'/>"
                                              "</wayfetch-config>"),
                                       again, nullptr));
  again.push_back(std::make_unique<ENews>());
  again.back()->set_name(String("with blank"));
  config_.merge(std::move(again), false);
  EXPECT_EQ(config_.count(), 3);             // the name with a blank is dropped
  EXPECT_EQ(config_.at(0).item_count(), 3);  // without replace the old one stays
}

TEST_F(ConfigurationTest, AFailedSaveLeavesTheOldFileWhole) {
  fill(config_);
  ASSERT_TRUE(config_.save());
  const std::string before = testing::read_bytes(config_file());
  for (int i = 0; i < 50; ++i) {
    auto more = std::make_unique<ENews>();
    more->set_name(String(("extra" + std::to_string(i)).c_str()));
    ENewsList list;
    list.push_back(std::move(more));
    config_.merge(std::move(list), true);
  }
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The new file may not grow past 1 KB: its write fails with EFBIG.
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {
      1024, 1024
    };
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(config_.save() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "save() reported success";
  EXPECT_EQ(testing::read_bytes(config_file()), before);
  for (const auto& entry :
       std::filesystem::directory_iterator(config_.installation_path().to_utf8())) {
    EXPECT_EQ(entry.path().filename().string().find(".config.xml."), std::string::npos);
  }
}

}  // namespace
}  // namespace wayfetch
