// The connection policy against a loopback server acting as the version
// server and as a proxy, with scripted prompts, a settable network state and
// a fake clock.
#include "config/connection_policy.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "config/non_interactive_prompts.h"
#include "config/settings_names.h"
#include "core/string_table.h"
#include "platform/clock.h"
#include "platform/settings_store_fake.h"
#include "tests/config/scripted_prompts.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::HttpTestServer;
using testing::ScriptedPrompts;
using testing::TestRequest;
using testing::TestResponse;
using Calls = std::vector<std::string>;
using Check = ConnectionPolicy::VersionCheck;

constexpr uint64_t day = 86400 * Timestamp::units_per_second;
constexpr uint64_t week = 7 * day;

// A network whose dial can disagree with its state, counting the dials.
class TestNetwork : public platform::NetworkState {
 public:
  int32_t connection_state() const override { return state; }
  bool dial() const override {
    ++dials;
    return dial_answer.value_or(state != offline);
  }
  int32_t state = local_network;
  std::optional<bool> dial_answer;
  mutable int dials = 0;
};

class ConnectionPolicyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<HttpTestServer>([this](const TestRequest& r) {
      std::lock_guard hold(mutex_);
      return reply_(r);
    });
    ASSERT_TRUE(server_->start());
    set(settings_names::installation_path, dir_.path());
    set(settings_names::device_type, "ebm");
    set(settings_names::update_check_address, server_->url("/soft/webupdate.asp"));
    // The environment's proxy must not reach the loopback server.
    config_.settings().proxy.mode = ProxyMode::none;
  }

  void set(std::string_view name, const std::string& value) {
    ASSERT_TRUE(store_.write_value(settings_names::program_key, name, value).ok());
  }
  void serve(std::function<TestResponse(const TestRequest&)> reply) {
    std::lock_guard hold(mutex_);
    reply_ = std::move(reply);
  }
  void serve_offer(const std::string& version_element) {
    serve([version_element](const TestRequest&) {
      return TestResponse::typed("text/xml", "<?xml version=\"1.0\"?>" + version_element);
    });
  }

  std::unique_ptr<ConnectionPolicy> policy(SyncMode mode = SyncMode::user,
                                           Prompts* prompts = nullptr) {
    auto made = std::make_unique<ConnectionPolicy>(config_, prompts ? *prompts : prompts_,
                                                   network_, mode);
    made->set_address_opener([this](const std::string& address) { opened_.push_back(address); });
    return made;
  }
  std::unique_ptr<ConnectionPolicy> connected_policy() {
    auto made = policy();
    EXPECT_TRUE(made->prepare(true));
    EXPECT_TRUE(made->connected());
    return made;
  }

  VersionRecord& version() { return config_.settings().version; }

  testing::TempDir dir_;
  platform::FakeClock clock_;
  platform::ScopedClock use_clock_{clock_};
  platform::MemorySettingsStore store_;
  WayfetchConfiguration config_{store_};
  TestNetwork network_;
  ScriptedPrompts prompts_;
  std::vector<std::string> opened_;
  std::mutex mutex_;
  std::function<TestResponse(const TestRequest&)> reply_ = [](const TestRequest&) {
    return TestResponse::status_only(404, "Not Found");
  };
  std::unique_ptr<HttpTestServer> server_;
};

TEST_F(ConnectionPolicyTest, DecidesWhetherTheWebIsUsed) {
  constexpr int32_t live = platform::NetworkState::local_network;
  constexpr int32_t offline = platform::NetworkState::offline;
  struct Case {
    SyncMode mode;
    YesNo when;
    int32_t state;
    std::optional<QuestionAnswer> answer;  // the question is expected when set
    bool skip;
    int dials;
    YesNo stored;
  };
  const Case cases[] = {
      {SyncMode::user, YesNo::no, live, {}, false, 1, YesNo::no},
      {SyncMode::user, YesNo::unknown, offline, {}, true, 1, YesNo::unknown},
      {SyncMode::timer, YesNo::unknown, live, {}, false, 1, YesNo::unknown},
      // The timer never dials.
      {SyncMode::timer, YesNo::yes, offline, {}, true, 0, YesNo::yes},
      {SyncMode::handheld, YesNo::yes, live, {}, false, 1, YesNo::yes},
      {SyncMode::handheld, YesNo::no, live, {}, true, 0, YesNo::no},
      {SyncMode::handheld, YesNo::unknown, live, QuestionAnswer{true, false}, false, 1,
       YesNo::unknown},
      {SyncMode::handheld, YesNo::unknown, live, QuestionAnswer{true, true}, false, 1, YesNo::yes},
      // A No skips the web whether or not the box was ticked.
      {SyncMode::handheld, YesNo::unknown, live, QuestionAnswer{false, false}, true, 0,
       YesNo::unknown},
      {SyncMode::handheld, YesNo::unknown, live, QuestionAnswer{false, true}, true, 0, YesNo::no},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.mode) << " "
                                      << yes_no_text(c.when) << " " << c.state);
    prompts_.clear();
    network_.dials = 0;
    network_.state = c.state;
    config_.settings().web_when_pda_sync = c.when;
    if (c.answer) prompts_.answer_question(*c.answer);
    auto made = policy(c.mode);
    EXPECT_TRUE(made->prepare(true));
    EXPECT_EQ(made->connected(), !c.skip);
    EXPECT_EQ(network_.dials, c.dials);
    EXPECT_EQ(config_.settings().web_when_pda_sync, c.stored);
    EXPECT_EQ(prompts_.calls(), c.answer ? Calls{"question 10131"} : Calls{});
  }

  // The remembered No: the next HotSync skips the web without asking.
  prompts_.clear();
  EXPECT_TRUE(policy(SyncMode::handheld)->skip_web());
  EXPECT_TRUE(prompts_.calls().empty());
}

TEST_F(ConnectionPolicyTest, PreparesTheConnectorOnlyWhenItCan) {
  // No web needed: nothing is asked or dialled.
  config_.settings().web_when_pda_sync = YesNo::unknown;
  auto made = policy(SyncMode::handheld);
  EXPECT_TRUE(made->prepare(false));
  EXPECT_FALSE(made->connected());
  EXPECT_EQ(network_.dials, 0);
  EXPECT_TRUE(prompts_.calls().empty());

  // The connector cannot be made.
  made = policy();
  made->set_connector_factory([] { return nullptr; });
  EXPECT_FALSE(made->prepare(true));
  EXPECT_FALSE(made->connected());

  // Dialling said yes, but the connection is gone by the time it is used.
  network_.state = platform::NetworkState::offline;
  network_.dial_answer = true;
  made = policy();
  EXPECT_FALSE(made->prepare(true));
  EXPECT_FALSE(made->connected());

  // "Assume online" stands in for a live connection: the timer goes online.
  network_.dial_answer.reset();
  set(settings_names::assume_online, "YES");
  made = policy(SyncMode::timer);
  EXPECT_TRUE(made->prepare(true));
  EXPECT_TRUE(made->connected());
  made->close();
  EXPECT_FALSE(made->connected());
}

TEST_F(ConnectionPolicyTest, ServerNotFoundIsToldOncePerUpdate) {
  auto made = connected_policy();
  WebConnector& connector = *made->connector();
  for (int32_t status : {102, 109, 101, 104, 106, 107, 108, 110, 111, 109, 102}) {
    EXPECT_FALSE(made->react_to_web_error(connector, status)) << status;
  }
  // Nothing for status 0 or when the caller repeats on its own.
  EXPECT_FALSE(made->react_to_web_error(connector, 0));
  EXPECT_FALSE(made->react_to_web_error(connector, 103, 1));
  EXPECT_EQ(prompts_.calls(), Calls{"message 10144/2"});
  // A new update tells it again.
  EXPECT_TRUE(made->prepare(true));
  EXPECT_FALSE(made->react_to_web_error(*made->connector(), 109));
  EXPECT_EQ(prompts_.calls(), (Calls{"message 10144/2", "message 10144/2"}));
}

TEST_F(ConnectionPolicyTest, ProxyCredentialsAreAskedAtEachRefusal) {
  // The loopback server is the proxy: it wants "user"/"secret".
  std::vector<std::string> seen;
  serve([&seen](const TestRequest& r) {
    seen.push_back(r.target + " " + r.header("Proxy-Authorization"));
    if (r.header("Proxy-Authorization") != "Basic dXNlcjpzZWNyZXQ=") {
      TestResponse refused = TestResponse::status_only(407, "Proxy Authentication Required");
      refused.headers.emplace_back("Proxy-Authenticate", "Basic realm=\"test\"");
      return refused;
    }
    return TestResponse::html("<p>via proxy</p>");
  });
  ProxySettings& proxy = config_.settings().proxy;
  proxy.mode = ProxyMode::proxy;
  proxy.name = String("127.0.0.1:" + std::to_string(server_->port()));
  proxy.user_name = String("anne");
  auto made = connected_policy();
  File target;
  ASSERT_TRUE(target.open_temporary());
  WebRequest request;
  request.address = String("http://example.test/doc.html");
  request.target = &target;

  // Refused twice: asked twice, each time prefilled with the last answer.
  prompts_.answer_credentials(ProxyCredentials{String("user"), String("wrong")});
  prompts_.answer_credentials(ProxyCredentials{String("user"), String("secret")});
  EXPECT_EQ(made->get(request).status, 0);
  EXPECT_EQ(prompts_.calls(), (Calls{"credentials anne/", "credentials user/wrong"}));
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen.back(), "http://example.test/doc.html Basic dXNlcjpzZWNyZXQ=");
  EXPECT_EQ(proxy.user_name.to_utf8(), "user");
  EXPECT_EQ(proxy.password.to_utf8(), "secret");

  // The password stays in memory: config.xml never holds it.
  ASSERT_TRUE(config_.save());
  std::string saved = testing::read_bytes(config_.config_path().to_utf8());
  EXPECT_NE(saved.find(testing::utf16le("username=\"user\"")), std::string::npos);
  EXPECT_EQ(saved.find(testing::utf16le("secret")), std::string::npos);

  // Cancel fails only that request; the next one asks again.
  proxy.password = String("stale");
  made->connector()->set_proxy(2, proxy.name, proxy.user_name, proxy.password);
  prompts_.clear();
  prompts_.answer_credentials(std::nullopt);
  EXPECT_EQ(made->get(request).status, errors::internet_proxy_credentials);
  prompts_.answer_credentials(ProxyCredentials{String("user"), String("secret")});
  EXPECT_EQ(made->get(request).status, 0);
  EXPECT_EQ(prompts_.calls(), (Calls{"credentials user/stale", "credentials user/stale"}));

  // Without a person the request fails at once, and the password is not told.
  proxy.password = String("stale");
  made->connector()->set_proxy(2, proxy.name, proxy.user_name, proxy.password);
  std::ostringstream err;
  NonInteractivePrompts headless(err);
  auto unattended = policy(SyncMode::timer, &headless);
  ASSERT_TRUE(unattended->prepare(true));
  EXPECT_EQ(unattended->get(request).status, errors::internet_proxy_credentials);
  EXPECT_NE(err.str().find("cancelled"), std::string::npos);
  EXPECT_EQ(err.str().find("stale"), std::string::npos);
}

TEST_F(ConnectionPolicyTest, VersionCheckAsksWeeklyAndAppliesTheAnswer) {
  const std::string newer =
      "<version major='3' minor='3' rebuild='0' url='https://example.test/new'>3.3 beta</version>";
  constexpr uint32_t every = ConnectionPolicy::every_rebuild;
  using Choice = NewVersionChoice;
  struct Case {
    VersionNumber known;
    std::optional<std::string> offer;  // nullopt: the server answers 500
    std::optional<Choice> choice;      // the dialog is expected when set
    Check outcome;
    VersionNumber after;
    uint64_t moved;
    std::vector<std::string> opened;
  };
  const Case cases[] = {
      // Waiting for the next version: a new minor is offered, a rebuild is not.
      {{3, 2, every}, newer, Choice::remind_later, Check::offered, {3, 2, every}, week, {}},
      {{3, 2, every}, "<version major='3' minor='2' rebuild='9999'/>", {}, Check::current,
       {3, 2, every}, week, {}},
      {{3, 2, 3251}, newer, Choice::connect_and_check, Check::offered, {3, 3, 0}, week,
       {"https://example.test/new"}},
      {{3, 2, 3251}, newer, Choice::wait_for_next_version, Check::offered, {3, 3, every}, week,
       {}},
      // A reply must not open a local file or another handler.
      {{3, 2, 3251}, "<r><version major='4' minor='0' rebuild='1' url='file:///etc/passwd'/></r>",
       Choice::connect_and_check, Check::offered, {4, 0, 1}, week, {}},
      // An older known version is raised to this program's first.
      {{2, 9, 9}, "<version major='3' minor='2' rebuild='3251'/>", {}, Check::current,
       {3, 2, 3251}, week, {}},
      // Failed and unreadable replies are asked again the next day.
      {{3, 2, 3251}, std::nullopt, {}, Check::download_failed, {3, 2, 3251}, day, {}},
      {{3, 2, 3251}, "<html><body>Please log in</body></html>", {}, Check::unreadable,
       {3, 2, 3251}, day, {}},
      {{3, 2, 3251}, "<version major='3' minor='4294967296' rebuild='0'/>", {},
       Check::unreadable, {3, 2, 3251}, day, {}},
      {{3, 2, 3251}, "<version major='-1' minor='2' rebuild='0'/>", {}, Check::unreadable,
       {3, 2, 3251}, day, {}},
      {{3, 2, 3251}, "<version major='9' minor='2'/>", {}, Check::unreadable, {3, 2, 3251}, day,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offer.value_or("500"));
    prompts_.clear();
    opened_.clear();
    std::tie(version().major, version().minor, version().rebuild) =
        std::tie(c.known.major, c.known.minor, c.known.rebuild);
    version().next_test = Timestamp::now();
    if (c.offer) {
      serve_offer(*c.offer);
    } else {
      serve([](const TestRequest&) { return TestResponse::status_only(500, "Error"); });
    }
    if (c.choice) prompts_.answer_new_version(*c.choice);
    EXPECT_EQ(connected_policy()->check_for_new_version(), c.outcome);
    EXPECT_TRUE(VersionNumber::of(version()) == c.after);
    EXPECT_EQ(version().next_test.value(), Timestamp::now().value() + c.moved);
    EXPECT_EQ(opened_, c.opened);
    Calls dialog;
    if (c.choice) dialog.push_back(c.offer == newer ? "new-version 3.3 beta" : "new-version 4.0.1");
    EXPECT_EQ(prompts_.calls(), dialog);
  }
  EXPECT_EQ(server_->requests().back().target,
            "/soft/webupdate.asp?lang=de&device=ebm&os=win&soft=wayfetch");
}

TEST_F(ConnectionPolicyTest, VersionCheckStaysQuietWhenNotDue) {
  serve_offer("<version major='9' minor='0' rebuild='0'/>");
  // Offline, stopped, not due, or no address: no request, next-test untouched.
  Timestamp later(Timestamp::now().value() + 1);
  version().next_test = later;
  EXPECT_EQ(policy()->check_for_new_version(), Check::not_connected);
  EXPECT_EQ(connected_policy()->check_for_new_version(), Check::not_due);
  version().next_test = Timestamp::now();
  // A stopped update leaves the check for the next one.
  auto stopped = connected_policy();
  stopped->connector()->abort_all();
  EXPECT_EQ(stopped->check_for_new_version(), Check::not_connected);
  set(settings_names::update_check_address, "");
  EXPECT_EQ(connected_policy()->check_for_new_version(), Check::no_address);
  EXPECT_EQ(version().next_test, Timestamp::now());
  EXPECT_TRUE(server_->requests().empty());

  // Query values cannot add parameters.
  set(settings_names::update_check_address, server_->url("/check"));
  set(settings_names::language_code, "en");
  set(settings_names::device_type, "a b&c=d");
  prompts_.answer_new_version(NewVersionChoice::remind_later);
  EXPECT_EQ(connected_policy()->check_for_new_version(), Check::offered);
  ASSERT_EQ(server_->requests().size(), 1u);
  EXPECT_EQ(server_->requests()[0].target,
            "/check?lang=en&device=a%20b%26c%3Dd&os=win&soft=wayfetch");
}

TEST(NonInteractivePrompts, AnswersAtOnceAndSaysWhatItAnswered) {
  std::ostringstream err;
  NonInteractivePrompts prompts(err);
  ProxyCredentials credentials{String("anne"), String("secret")};
  prompts.message_with_text(10168, String("News, Sport"), PromptIcon::information);
  QuestionAnswer answer = prompts.question(strings::web_at_handheld_sync);
  EXPECT_FALSE(answer.yes || answer.remember);
  EXPECT_FALSE(prompts.credentials(credentials));
  EXPECT_EQ(prompts.new_version(String("3.3.0")), NewVersionChoice::remind_later);
  EXPECT_FALSE(prompts.notice(20003));
  EXPECT_FALSE(prompts.yes_no(strings::convert_old_installation));
  EXPECT_EQ(err.str(),
            "Lorvane Wayfetch: Beim Herunterladen dieser E-News gab es Probleme: News, Sport\n"
            "Lorvane Wayfetch: Sie symchronisieren Ihren PDA mit Lorvane. Einige E-News sind nicht "
            "mehr aktuell. Möchten Sie sie automatisch auf Ihren PDA aktualisieren?\n"
            "  (not asked, no one to answer: No, not remembered)\n"
            "Lorvane Wayfetch: Der Proxy-Server verlangt einen Benutzernamen und ein Passwort. "
            "Bitte geben Sie sie ein.\n"
            "  (not asked, no one to answer: cancelled)\n"
            "Lorvane Wayfetch: Eine neuere Version von Lorvane ist verfügbar: 3.3.0\n"
            "  (not asked, no one to answer: Später daran erinnern.)\n"
            "Lorvane Wayfetch: Das Update ist beendet. Ihre E-News werden bei der nächsten "
            "Synchronisierung auf Ihren PDA übertragen.\n"
            "Lorvane Wayfetch: Es gibt bereits eine ältere Version. Der Wayfetch kann die alte "
            "Konfiguration jetzt erneuern. Dazu brauchen Sie eine Verbindung zum Internet. Wollen "
            "Sie jetzt aktualisieren?\n"
            "  (not asked, no one to answer: No)\n");
}

}  // namespace
}  // namespace wayfetch
