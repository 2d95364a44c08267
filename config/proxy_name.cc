#include "config/proxy_name.h"

#include <charconv>

namespace wayfetch {
namespace {

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

ProxyNameFields split_proxy_name(std::string_view name) {
  const size_t colon = name.find(':');
  if (colon == std::string_view::npos) return {std::string(name), std::string()};
  return {std::string(name.substr(0, colon)), std::string(name.substr(colon + 1))};
}

std::optional<std::string> join_proxy_name(std::string_view address, std::string_view port) {
  address = trimmed(address);
  port = trimmed(port);
  // The address may not carry a port of its own: it would be "host:a:b".
  if (address.find(':') != std::string_view::npos) return std::nullopt;
  if (port.empty()) return std::string(address);
  // A port the connector cannot use (text, 0, 99999) or a port without a
  // host would be stored as a name no request can reach.
  unsigned value = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (error != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535 ||
      address.empty()) {
    return std::nullopt;
  }
  return std::string(address) + ':' + std::to_string(value);
}

}  // namespace wayfetch
