#include "platform/network_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wayfetch::platform {
namespace {

using Names = std::vector<std::string>;

TEST(NetworkState, DefaultRoutesAreFoundInTheRoutingTables) {
  const std::string ipv4_header =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
  struct Case {
    std::string ipv4;
    std::string ipv6;
    Names expected;
  };
  const Case cases[] = {
      // A default route through eth0 beside a local network route.
      {ipv4_header + "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
                     "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n",
       "", Names{"eth0"}},
      // Only local routes, and a default route that is down.
      {ipv4_header + "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                     "wlan0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n",
       "", Names{}},
      // IPv6 only: the loopback reject route does not count, a real one does.
      {ipv4_header,
       "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
       "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n"
       "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
       "fe800000000000000000000000000001 00000400 00000001 00000000 00000003   wlan0\n",
       Names{"wlan0"}},
      // Malformed lines and an empty table are skipped.
      {"eth0 00000000\ngarbage\n\n", "short line\n", Names{}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(default_route_interfaces(c.ipv4, c.ipv6), c.expected) << c.ipv4 << c.ipv6;
  }
}

TEST(NetworkState, SystemAndFakeAnswerLiveOrOffline) {
  const NetworkState& system = system_network();
  int32_t state = system.connection_state();
  EXPECT_TRUE(state == NetworkState::offline || state == NetworkState::local_network);
  EXPECT_EQ(system.dial(), state == NetworkState::local_network);
  FakeNetworkState fake;
  EXPECT_FALSE(fake.dial());
  fake.set_connection_state(NetworkState::local_network);
  EXPECT_TRUE(fake.dial());
}

}  // namespace
}  // namespace wayfetch::platform
