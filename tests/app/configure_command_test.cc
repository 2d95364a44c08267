// wayfetch --configure: the configuration dialog's settings from a terminal,
// and the proxy-name rule it shares with the dialog.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/proxy_name.h"
#include "tests/app/program_process.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

TEST(ProxyNameTest, JoinKeepsWhatARequestCanUse) {
  struct Case {
    const char* address;
    const char* port;
    const char* joined;  // nullptr: refused
  };
  const std::vector<Case> cases = {
      {"proxy.example", "8080", "proxy.example:8080"},
      {" proxy.example ", " 080 ", "proxy.example:80"},
      {"proxy.example", "", "proxy.example"},
      {"", "", ""},
      {"a:b", "", nullptr},
      {"proxy.example", "0", nullptr},
      {"proxy.example", "65536", nullptr},
      {"proxy.example", "80x", nullptr},
      {"", "8080", nullptr},
      {"proxy.example", "-1", nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> joined = join_proxy_name(c.address, c.port);
    if (c.joined == nullptr) {
      EXPECT_FALSE(joined.has_value()) << c.address << " " << c.port;
    } else {
      EXPECT_EQ(joined.value_or("(refused)"), c.joined) << c.address << " " << c.port;
    }
  }
  EXPECT_EQ(split_proxy_name("host:80").port, "80");
  EXPECT_EQ(split_proxy_name("host").address, "host");
}

TEST(ConfigureCommandTest, ChangesAreCheckedSavedAndShown) {
  testing::TempDir dir;
  testing::ProgramProcess wayfetch(WAYFETCH_PROGRAM, dir.path());
  const std::string defaults = "pda-sync: ask\nproxy: automatic\nproxy-name: \nproxy-user: \n";
  EXPECT_EQ(wayfetch.run({"--configure"}).out, defaults);

  const std::string changed =
      "pda-sync: yes\nproxy: proxy\nproxy-name: proxy.example:80\nproxy-user: bob\n";
  const testing::ProgramResult set = wayfetch.run(
      {"--configure", "--pda-sync", "yes", "--proxy", "proxy.example:080", "--proxy-user", "bob"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(set.out, changed);

  // Refused values change nothing: message 10134 or a usage error.
  const struct {
    std::vector<std::string> args;
    int status;
  } refused[] = {{{"--configure", "--proxy", "a:b:c"}, 1},
                 {{"--configure", "--proxy", "host:99999"}, 1},
                 {{"--configure", "--pda-sync", "maybe"}, 2},
                 {{"--configure", "--proxy"}, 2},
                 {{"--configure", "--proxy", "none", "--proxy", "none"}, 2}};
  for (const auto& r : refused) {
    EXPECT_EQ(wayfetch.run(r.args).status, r.status) << r.args.back();
  }
  EXPECT_EQ(wayfetch.run({"--configure"}).out, changed);

  EXPECT_EQ(wayfetch.run({"--configure", "--proxy", "none", "--pda-sync", "ask"}).out,
            "pda-sync: ask\nproxy: none\nproxy-name: proxy.example:80\nproxy-user: bob\n");
}

}  // namespace
}  // namespace wayfetch
