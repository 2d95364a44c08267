// Whether this machine has a live network connection.
//
// Linux has no dial-up service to ask. A connection counts as live when a
// network interface other than the loopback one is up and the routing table
// holds a default route (IPv4 or IPv6) through such an interface. Nothing is
// sent over the network to find out. Thread-safe (reads /proc and the
// interface list on every call).
#ifndef WAYFETCH_PLATFORM_NETWORK_STATE_H
#define WAYFETCH_PLATFORM_NETWORK_STATE_H

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

}  // namespace wayfetch::platform

#endif
