// NetworkState: whether this machine has a live network connection, the
// question the update job and the connection policy ask before going online.
//
// The system's answer (system_network()): Linux has no dial-up service to
// ask. A connection counts as live when a network interface other than the
// loopback one is up and running and the routing table holds a default route
// (IPv4 or IPv6) through such an interface. Nothing is sent over the network
// to find out; /proc and the interface list are read on every call.
// FakeNetworkState answers what a test sets.
//
// Answers are the program's connection-state values: 2 (local network) when
// a connection is live, else 0 (offline); the modem (1) and proxy (4) values
// of the Windows design never occur here. Thread-safe.
#ifndef WAYFETCH_PLATFORM_NETWORK_STATE_H
#define WAYFETCH_PLATFORM_NETWORK_STATE_H

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wayfetch::platform {

// The interfaces that carry a default route in the text of /proc/net/route
// (IPv4: destination and mask 00000000, flag RTF_UP) and /proc/net/ipv6_route
// (IPv6: destination ::/0, flag RTF_UP, not a reject route). Malformed lines
// are skipped.
std::vector<std::string> default_route_interfaces(std::string_view ipv4_table,
                                                  std::string_view ipv6_table);

// True when an interface that is up, running and not a loopback interface
// carries a default route.
bool network_connection_live();

class NetworkState {
 public:
  static constexpr int32_t offline = 0;
  static constexpr int32_t local_network = 2;

  virtual ~NetworkState() = default;
  // local_network when a connection is live, else offline.
  virtual int32_t connection_state() const = 0;
  // Connects when that is needed and possible, and says whether a connection
  // is live. There is nothing to dial on this platform: it only looks.
  virtual bool dial() const { return connection_state() != offline; }
};

// The machine's own state (network_connection_live).
const NetworkState& system_network();

// A state a test sets; offline until told otherwise.
class FakeNetworkState : public NetworkState {
 public:
  int32_t connection_state() const override { return state_.load(); }
  void set_connection_state(int32_t state) { state_.store(state); }

 private:
  std::atomic<int32_t> state_{offline};
};

}  // namespace wayfetch::platform

#endif
