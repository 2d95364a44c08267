// The start of the program against real files: config.xml, the shipped
// default_config.xml, the settings file and the error log.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/non_interactive_prompts.h"
#include "config/policy_conversion.h"
#include "config/wayfetch_configuration.h"
#include "core/error_log.h"
#include "core/error_sink.h"
#include "core/string_table.h"
#include "platform/network_state.h"
#include "platform/settings_store_file.h"
#include "tests/support/fake_web_source.h"
#include "tests/support/http_test_server.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

constexpr const char* program_key = "SOFTWARE\\Lorvane\\Wayfetch";

// The catalogue of an earlier installation's descriptions, served from
// memory; a failed request is repeated as often as `repeats` says.
class FakeConnection : public ConversionConnection {
 public:
  WebSource* open() override { return available ? &web : nullptr; }
  bool repeat(const WebResult& failure, int32_t attempts) override {
    failures.push_back(failure.status);
    return attempts <= repeats;
  }

  testing::FakeWebSource web;
  bool available = true;
  int32_t repeats = 0;
  std::vector<int32_t> failures;
};

class StartupTest : public ::testing::Test {
 protected:
  // A program run: a configuration started with `answer` to every question.
  WayfetchConfiguration::Startup start(WayfetchConfiguration& config, bool answer = false,
                                       ConversionConnection* connection = nullptr) {
    return config.start_up(
        [this, answer](int32_t id) {
          questions_.push_back(id);
          return answer;
        },
        connection);
  }
  std::string home() { return folders_.data() + "/lorvane-wayfetch"; }
  // Puts `content` in config.xml before the start.
  void write_config(const std::string& content) {
    std::filesystem::create_directories(home());
    testing::write_bytes(home() + "/config.xml", content);
  }
  std::string log_text() {
    std::string bytes = testing::read_bytes(dir_.file("error_log.txt"));
    std::string ascii;
    for (std::size_t i = 2; i < bytes.size(); i += 2) ascii.push_back(bytes[i]);
    return ascii;
  }

  testing::TempDir dir_;
  testing::XdgFolders folders_{dir_.path()};
  ErrorLog log_{String(dir_.file("error_log.txt").c_str()), true};
  ScopedErrorSink sink_{&log_};
  platform::FileSettingsStore store_;
  std::vector<int32_t> questions_;
};

TEST_F(StartupTest, AFreshInstallationOffersTheDefaultENewsAndKeepsThem) {
  WayfetchConfiguration first(store_);
  WayfetchConfiguration::Startup result = start(first);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.message, 0);
  EXPECT_TRUE(first.may_be_saved());  // no catalogue to convert from: 117, nothing to convert
  ASSERT_EQ(first.count(), 1);
  EXPECT_EQ(first.at(0).name().to_utf8(), "harbour");
  EXPECT_TRUE(std::filesystem::exists(home() + "/config.xml"));  // saved at once
  EXPECT_TRUE(questions_.empty());
  EXPECT_EQ(log_text().find("config.xml.bak"), std::string::npos);

  first.at(0).item(2).set_selected(true);
  EXPECT_EQ(first.save_at_exit(), 0);
  WayfetchConfiguration second(store_);
  result = start(second);
  EXPECT_TRUE(result.ok);
  ASSERT_EQ(second.count(), 1);
  EXPECT_TRUE(second.at(0).item(2).selected());
}

TEST_F(StartupTest, AnInvalidFileIsReportedAndNeverOverwritten) {
  const std::string broken = "<wayfetch-config><enews name='a'></wrong></wayfetch-config>";
  write_config(broken);
  WayfetchConfiguration config(store_);
  WayfetchConfiguration::Startup result = start(config);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.message, strings::invalid_configuration);
  EXPECT_EQ(config.count(), 0);  // default_config.xml is not read either
  EXPECT_EQ(config.save_at_exit(), 0);
  EXPECT_EQ(testing::read_bytes(home() + "/config.xml"), broken);
}

TEST_F(StartupTest, AnUnreadableFileIsKeptAsBackupBeforeSaving) {
  const std::string foreign = "<settings><colour>red</colour></settings>";
  write_config(foreign);
  WayfetchConfiguration config(store_);
  WayfetchConfiguration::Startup result = start(config);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.message, 0);
  EXPECT_EQ(testing::read_bytes(home() + "/config.xml.bak"), foreign);
  EXPECT_EQ(testing::read_bytes(home() + "/config.xml").substr(0, 2), "\xFF\xFE");
  EXPECT_NE(log_text().find("Warning(configuration): Unreadable configuration file kept as "
                            "config.xml.bak.\r\n"),
            std::string::npos);

  // A folder in its place that cannot be moved aside is left alone, unsaved.
  std::filesystem::remove(home() + "/config.xml");
  std::filesystem::remove(home() + "/config.xml.bak");
  std::filesystem::create_directories(home() + "/config.xml");
  std::filesystem::create_directories(home() + "/config.xml.bak");
  testing::write_bytes(home() + "/config.xml.bak/keep", "x");
  WayfetchConfiguration blocked(store_);
  result = start(blocked);
  EXPECT_EQ(result.message, strings::configuration_not_saved);
  EXPECT_FALSE(blocked.may_be_saved());
  EXPECT_TRUE(std::filesystem::is_directory(home() + "/config.xml"));
}

TEST_F(StartupTest, AnEarlierInstallationIsConverted) {
  ASSERT_TRUE(
      store_.write_value(program_key, "Catalogue address", "http://cat.example/enews/").ok());
  ASSERT_TRUE(store_.write_value(std::string(program_key) + "\\eNews", "harbour", "").ok());
  ASSERT_TRUE(store_.write_value(std::string(program_key) + "\\eNews", "tech", "").ok());
  ASSERT_TRUE(
      store_.write_value(std::string(program_key) + "\\Selection\\harbour", "tides", "").ok());
  const std::string tech =
      "<d><wayfetch-config><enews name='tech'><title>Tech</title><enewsitem name='chips' "
      "selected='yes'/></enews></wayfetch-config></d>";
  FakeConnection connection;
  connection.web.serve_file("http://cat.example/enews/harbour.enews",
                            std::string(WAYFETCH_SOURCE_DIR) + "/config/default_config.xml");
  connection.web.serve_status("http://cat.example/enews/tech.enews", 109);
  connection.repeats = 2;

  // Not found, then not found again: the second repeat is never asked for.
  WayfetchConfiguration failed(store_);
  WayfetchConfiguration::Startup result = start(failed, true, &connection);
  EXPECT_TRUE(result.ok);
  EXPECT_FALSE(failed.may_be_saved());  // offered again at the next start
  EXPECT_EQ(connection.failures, (std::vector<int32_t>{109, 109, 109}));
  EXPECT_EQ(connection.web.hits("http://cat.example/enews/tech.enews"), 3);
  EXPECT_TRUE(std::filesystem::exists(home() + "/data/harbour/harbour.enews"));

  connection.web.serve_text("http://cat.example/enews/tech.enews", tech);
  WayfetchConfiguration config(store_);
  questions_.clear();
  result = start(config, true, &connection);
  EXPECT_TRUE(result.ok);
  EXPECT_TRUE(config.may_be_saved());
  EXPECT_EQ(questions_, std::vector<int32_t>{strings::convert_old_installation});
  ASSERT_EQ(config.old_description_addresses().size(), 2u);
  ASSERT_EQ(config.count(), 2);  // the offered "harbour" is the converted one
  // The earlier choice replaces the description's, for visible items only;
  // an eNews without one keeps the description's.
  const ENews& harbour = config.at(0);
  EXPECT_FALSE(harbour.item(0).selected());
  EXPECT_TRUE(harbour.item(2).selected());
  EXPECT_TRUE(config.at(1).item(0).selected());
  EXPECT_EQ(testing::read_bytes(home() + "/data/tech/tech.enews"), tech);

  questions_.clear();
  EXPECT_FALSE(config.convert_old_installation([](int32_t) { return false; }, &connection));
  EXPECT_EQ(config.error, 116);  // declined: nothing to convert
  connection.available = false;
  EXPECT_FALSE(config.convert_old_installation([](int32_t) { return true; }, &connection));
  EXPECT_EQ(config.error, 114);
  connection.available = true;
  connection.web.serve_text("http://cat.example/enews/tech.enews", "<not-a-description/>");
  EXPECT_FALSE(config.convert_old_installation([](int32_t) { return true; }, &connection));
  EXPECT_EQ(config.error, 115);
  ASSERT_TRUE(store_.write_value(program_key, "Description suffix", "").ok());
  EXPECT_FALSE(config.convert_old_installation(nullptr, &connection));
  EXPECT_EQ(config.error, 117);  // no suffix: the conversion cannot start
}

TEST_F(StartupTest, TheConnectionPolicyCarriesTheConversion) {
  testing::HttpTestServer server([](const testing::TestRequest& request) {
    if (request.path() != "/enews/harbour.enews")
      return testing::TestResponse::status_only(404, "Not Found");
    return testing::TestResponse::typed(
        "application/octet-stream",
        testing::read_bytes(std::string(WAYFETCH_SOURCE_DIR) + "/config/default_config.xml"));
  });
  ASSERT_TRUE(server.start());
  ASSERT_TRUE(store_.write_value(program_key, "Catalogue address", server.url("/enews")).ok());
  ASSERT_TRUE(store_.write_value(std::string(program_key) + "\\eNews", "harbour", "").ok());
  WayfetchConfiguration config(store_);
  ASSERT_TRUE(config.register_program());
  config.settings().proxy.mode = ProxyMode::none;  // not the environment's proxy
  std::ostringstream told;
  NonInteractivePrompts prompts(told);
  platform::FakeNetworkState network;
  {
    ConnectionPolicy offline(config, prompts, network);
    PolicyConversionConnection connection(offline);
    EXPECT_FALSE(config.convert_old_installation([](int32_t) { return true; }, &connection));
    EXPECT_EQ(config.error, 114);
  }
  network.set_connection_state(platform::NetworkState::local_network);
  ConnectionPolicy online(config, prompts, network);
  PolicyConversionConnection connection(online);
  EXPECT_TRUE(config.convert_old_installation([](int32_t) { return true; }, &connection));
  ASSERT_EQ(config.count(), 1);
  EXPECT_TRUE(std::filesystem::exists(home() + "/data/harbour/harbour.enews"));
}

}  // namespace
}  // namespace wayfetch
