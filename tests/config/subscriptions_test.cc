// The eNews files, the due rule over real data files, and adding
// subscriptions from description texts, in a registered installation in a
// TempDir.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "config/wayfetch_configuration.h"
#include "platform/settings_store_fake.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

namespace fs = std::filesystem;
using AddFailure = WayfetchConfiguration::AddFailure;

Timestamp at(const char* text) {
  return Timestamp::parse(String(text));
}

// Sets the file's last-write time.
void touch(const std::string& path, Timestamp time) {
  if (!fs::exists(path)) testing::write_bytes(path, "<data/>");
  const int64_t units = static_cast<int64_t>(time.value() - Timestamp::unix_epoch);
  const timespec times[2] = {{units / 10'000'000, (units % 10'000'000) * 100},
                             {units / 10'000'000, (units % 10'000'000) * 100}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::string description(const std::string& enews_attributes, const std::string& title = "News") {
  return "<enews-description><wayfetch-config><enews " + enews_attributes + "><title>" + title +
         "</title><enewsitem name='front' selected='yes'/></enews></wayfetch-config>"
         "<template/></enews-description>";
}

class SubscriptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        store_.write_value("SOFTWARE\\Lorvane\\Wayfetch", "Installation path", dir_.path()).ok());
    config_.silent = true;
  }
  // Adds an eNews named `name` to the list, with one item per schedule pair.
  ENews& add(const char* name, std::vector<std::pair<const char*, const char*>> items = {}) {
    auto enews = std::make_unique<ENews>();
    enews->set_name(String(name));
    for (const auto& [periodicity, validity] : items) {
      ENewsItem& item = enews->add_item(std::make_unique<ENewsItem>());
      item.set_name(String("item"));
      item.set_selected(true);
      item.set_periodicity(String(periodicity));
      item.set_validity(String(validity));
    }
    ENewsList list;
    list.push_back(std::move(enews));
    config_.merge(std::move(list), true);
    return config_.at(config_.count() - 1);
  }
  std::string data() const { return dir_.path() + "/data"; }

  testing::TempDir dir_;
  platform::MemorySettingsStore store_;
  WayfetchConfiguration config_{store_};
};

TEST_F(SubscriptionsTest, FoldersLieInTheDataFolderAndDeletingFollowsNoLink) {
  ENews& news = add("old", {{"1 day", "1 hour"}, {"1 day", "1 hour"}});
  news.set_name(String("news"));  // a new name forgets the paths of the old one
  EXPECT_EQ(news.prc_path().to_utf8(), data() + "/news/news.prc");
  EXPECT_EQ(news.item(1).data_path().to_utf8(), data() + "/news/news.data1.xml");
  ASSERT_TRUE(news.create_folder());
  testing::TempDir outside;
  testing::write_bytes(outside.file("keep.txt"), "kept");
  fs::create_directory_symlink(outside.path(), data() + "/news/outside");
  fs::create_symlink(outside.file("keep.txt"), data() + "/news/news.xsl");

  // Names that are no safe folder names make no paths and delete nothing.
  for (const char* unsafe : {"", ".", "..", "a/b", "../data", "a b"}) {
    news.set_name(String(unsafe));
    EXPECT_TRUE(news.radix().empty() && news.item(0).data_path().empty()) << unsafe;
    EXPECT_FALSE(news.create_folder() || news.delete_folder()) << unsafe;
  }
  news.set_name(String("news"));
  EXPECT_TRUE(news.delete_folder());
  EXPECT_FALSE(fs::exists(fs::symlink_status(data() + "/news")));
  // The eNews folder itself a link: the link goes, its target stays.
  fs::create_directory_symlink(outside.path(), data() + "/news");
  EXPECT_TRUE(news.delete_folder());
  EXPECT_FALSE(fs::exists(fs::symlink_status(data() + "/news")));
  EXPECT_EQ(testing::read_bytes(outside.file("keep.txt")), "kept");
  EXPECT_TRUE(fs::is_directory(data()));
}

TEST_F(SubscriptionsTest, DueRuleOverDataFileTimes) {
  struct Case {
    const char* periodicity;
    const char* validity;
    const char* written;  // nullptr: no data file
    const char* not_due_at;
    const char* due_at;
  };
  const Case cases[] = {
      // Validity keeps data fresh; the periodicity says when new data appear.
      {"1 day; 6 hour", "1 hour", "2001/3/8 5:0:0:0", "2001/3/8 6:0:0:0", "2001/3/8 6:0:1:0"},
      {"1 day; 6 hour", "1 hour", "2001/3/8 7:0:0:0", "2001/3/9 5:59:0:0", "2001/3/9 6:0:1:0"},
      {"1 day", "1 hour", "2001/3/7 23:0:0:0", "2001/3/8 0:0:0:0", "2001/3/8 0:0:1:0"},
      {"1 day", "1 hour", "2001/3/8 0:30:0:0", "2001/3/8 23:59:0:0", "2001/3/9 0:0:1:0"},
      {"1 week; 1 day", "1 hour", "2001/3/8 9:0:0:0", "2001/3/11 23:0:0:0", "2001/3/12 0:0:1:0"},
      {"1 month; 0; 2001/1/31 0:0:0:0", "1 hour", "2004/2/2 0:0:0:0", "2004/2/27 0:0:0:0",
       "2004/2/28 0:0:1:0"},
      // An unusable text counts as long past: the other one decides.
      {"2 hours", "1 hour", "2001/3/8 5:0:0:0", "2001/3/8 6:0:0:0", "2001/3/8 6:0:1:0"},
      {"1 day", "2 hours", "2001/3/8 5:0:0:0", "2001/3/8 23:0:0:0", "2001/3/9 0:0:1:0"},
      // Neither usable, or no data file: due at every update.
      {"2 hours", "1 hours", "2001/3/8 5:0:0:0", nullptr, "2001/3/8 5:0:0:0"},
      {"1 day", "1 hour", nullptr, nullptr, "2001/3/8 5:0:0:0"},
      // A validity reaching past the last representable time is never over.
      {"2 hours", "29000 year", "2001/3/8 5:0:0:0", "30000/1/1 0:0:0:0", nullptr},
  };
  ENews& news = add("news");
  ASSERT_TRUE(news.create_folder());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.periodicity) + " / " + c.validity);
    ENewsItem& item = news.add_item(std::make_unique<ENewsItem>());
    item.set_selected(true);
    item.set_periodicity(String(c.periodicity));
    item.set_validity(String(c.validity));
    if (c.written != nullptr) touch(item.data_path().to_utf8(), at(c.written));
    EXPECT_EQ(item.data_exists(), c.written != nullptr);
    if (c.not_due_at != nullptr) {
      EXPECT_FALSE(item.is_due(at(c.not_due_at)));
    }
    if (c.due_at != nullptr) {
      EXPECT_TRUE(item.is_due(at(c.due_at)));
    }
    item.set_selected(false);
    EXPECT_FALSE(item.is_due(at("30000/1/1")));
  }
  // The latest data file of all.
  EXPECT_EQ(config_.last_download_time().format().to_utf8(), "2004/2/2 0:0:0:0");
  news.delete_folder();
  EXPECT_EQ(config_.last_download_time().value(), Timestamp::unix_epoch);
}

TEST_F(SubscriptionsTest, AddsQueuedDescriptionsEachOnItsOwn) {
  add("harbour");
  const std::string utf16 = "\xFF\xFE" + testing::utf16le(description("name='wide'"));
  std::vector<std::string> texts = {
      description("", "harbour"),  // the title is taken: a suffix
      description("", "../x y"),   // unsafe bytes become "_"
      "<wayfetch-config><enews name='a'></wrong></wayfetch-config>",  // does not parse
      "<wayfetch-config/>",                                           // no eNews
      description("name='bad.name'"),                                 // dropped by the merge
      std::string(WayfetchConfiguration::max_description_size + 1, ' '),
      utf16,                                   // UTF-16, kept byte for byte
      description("", std::string(100, 'L')),  // a long title is cut
      description("", ""),                     // no title at all
  };
  // A file where an eNews folder should be: that text fails, named.
  texts.push_back(description("name='blocked'"));
  fs::create_directories(data());
  testing::write_bytes(data() + "/blocked", "file");
  for (const std::string& text : texts) config_.queue_description(text);
  EXPECT_TRUE(config_.has_queued());
  WayfetchConfiguration::AddResult result = config_.add_queued();
  EXPECT_FALSE(config_.has_queued());
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.added, 5);
  ASSERT_EQ(result.texts.size(), texts.size());

  const AddFailure failures[] = {AddFailure::none,         AddFailure::none,
                                 AddFailure::unreadable,   AddFailure::no_enews,
                                 AddFailure::invalid_name, AddFailure::too_large,
                                 AddFailure::none,         AddFailure::none,
                                 AddFailure::none,         AddFailure::not_written};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(result.texts[i].failure, failures[i]) << i;
  }
  EXPECT_EQ(result.texts[2].error, 115);
  const std::string suffixed = result.texts[0].name.to_utf8();
  EXPECT_TRUE(suffixed.size() > 7 && suffixed.starts_with("harbour") &&
              suffixed.find_first_not_of("0123456789abcdef", 7) == std::string::npos)
      << suffixed;
  EXPECT_EQ(result.texts[1].name.to_utf8(), "___x_y");
  EXPECT_EQ(result.texts[6].name.to_utf8(), "wide");
  EXPECT_EQ(result.texts[7].name.to_utf8(), std::string(max_made_name, 'L'));
  EXPECT_EQ(result.texts[8].name.to_utf8(), "enews");
  EXPECT_EQ(result.texts[9].name.to_utf8(), "blocked");
  EXPECT_EQ(config_.count(), 7);
  for (std::size_t i : {0u, 1u, 6u, 7u, 8u}) {
    const std::string name = result.texts[i].name.to_utf8();
    EXPECT_EQ(testing::read_bytes(data() + "/" + name + "/" + name + ".enews"), texts[i]) << name;
  }

  // An empty queue adds nothing; a description of a listed eNews replaces it.
  EXPECT_TRUE(config_.add_queued().texts.empty());
  config_.queue_description(description("name='WIDE' xsl-rendering='x.xsl'"));
  result = config_.add_queued();
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(config_.count(), 7);
  EXPECT_EQ(config_.at(config_.find(String("wide"))).xsl_rendering.to_utf8(), "x.xsl");
  // The folder keeps the spelling it was made with.
  EXPECT_EQ(result.texts[0].name.to_utf8(), "wide");
  EXPECT_EQ(testing::read_bytes(data() + "/wide/wide.enews"),
            description("name='WIDE' xsl-rendering='x.xsl'"));
}

TEST_F(SubscriptionsTest, FilesAndThreadsQueueTogether) {
  EXPECT_FALSE(config_.queue_description_file(String(dir_.file("missing.enews").c_str())));
  ASSERT_EQ(mkfifo(dir_.file("fifo.enews").c_str(), 0600), 0);
  EXPECT_FALSE(config_.queue_description_file(String(dir_.file("fifo.enews").c_str())));
  testing::write_bytes(dir_.file("big.enews"),
                       std::string(WayfetchConfiguration::max_description_size + 1, ' '));
  EXPECT_TRUE(config_.queue_description_file(String(dir_.file("big.enews").c_str())));
  testing::write_bytes(dir_.file("a.enews"), description("name='from_file'"));
  EXPECT_TRUE(config_.queue_description_file(String(dir_.file("a.enews").c_str())));

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 10; ++i) {
        config_.queue_description(description("name='n" + std::to_string(t * 10 + i) + "'"));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  WayfetchConfiguration::AddResult result = config_.add_queued();
  EXPECT_EQ(result.added, 41);
  EXPECT_EQ(result.texts[0].failure, AddFailure::too_large);
  EXPECT_EQ(result.texts[1].name.to_utf8(), "from_file");
}

}  // namespace
}  // namespace wayfetch
