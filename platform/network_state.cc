#include "platform/network_state.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>

namespace wayfetch::platform {
namespace {

constexpr uint32_t route_up = 0x0001;      // RTF_UP
constexpr uint32_t route_reject = 0x0200;  // RTF_REJECT

std::vector<std::string_view> fields_of(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool parse_hex(std::string_view text, uint32_t& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return error == std::errc() && end == text.data() + text.size();
}

bool all_zeros(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c == '0'; });
}

template <typename Visit>
void for_each_line(std::string_view text, Visit visit) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    visit(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

void add_unique(std::vector<std::string>& names, std::string_view name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
}

std::string read_text(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::vector<std::string> default_route_interfaces(std::string_view ipv4_table,
                                                  std::string_view ipv6_table) {
  std::vector<std::string> names;
  // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; the first line
  // is the column titles.
  for_each_line(ipv4_table, [&](std::string_view line) {
    std::vector<std::string_view> f = fields_of(line);
    uint32_t flags = 0;
    if (f.size() < 8 || !parse_hex(f[3], flags)) return;
    if (all_zeros(f[1]) && all_zeros(f[7]) && f[1].size() == 8 && (flags & route_up) != 0) {
      add_unique(names, f[0]);
    }
  });
  // destination, prefix length, source, prefix length, next hop, metric,
  // reference count, use count, flags, interface.
  for_each_line(ipv6_table, [&](std::string_view line) {
    std::vector<std::string_view> f = fields_of(line);
    uint32_t flags = 0;
    if (f.size() < 10 || !parse_hex(f[8], flags)) return;
    if (f[0].size() == 32 && all_zeros(f[0]) && all_zeros(f[1]) && (flags & route_up) != 0 &&
        (flags & route_reject) == 0) {
      add_unique(names, f[9]);
    }
  });
  return names;
}

namespace {

class SystemNetworkState final : public NetworkState {
 public:
  int32_t connection_state() const override {
    return network_connection_live() ? local_network : offline;
  }
};

}  // namespace

const NetworkState& system_network() {
  static const SystemNetworkState state;
  return state;
}

bool network_connection_live() {
  std::vector<std::string> routed =
      default_route_interfaces(read_text("/proc/net/route"), read_text("/proc/net/ipv6_route"));
  if (routed.empty()) return false;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool live = false;
  for (ifaddrs* entry = list; entry != nullptr && !live; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    unsigned flags = entry->ifa_flags;
    if ((flags & IFF_UP) == 0 || (flags & IFF_RUNNING) == 0 || (flags & IFF_LOOPBACK) != 0) {
      continue;
    }
    live = std::find(routed.begin(), routed.end(), entry->ifa_name) != routed.end();
  }
  freeifaddrs(list);
  return live;
}

}  // namespace wayfetch::platform
