// The proxy's name as config.xml keeps it ("host" or "host:port") and the
// two fields a person edits it in (the configuration dialog, `wayfetch
// --configure`).
//
// split_proxy_name cuts at the first ":" (no ":": all of it is the address,
// the port empty). join_proxy_name rebuilds the name from the fields, blanks
// around each dropped: the address alone when the port is empty, else
// address ":" port with the port as a decimal number ("080" becomes "80").
// It refuses (nullopt) what no request could use: an address that holds a
// ":" itself, a port that is not a number from 1 to 65535, a port without an
// address. Thread-safe.
#ifndef WAYFETCH_CONFIG_PROXY_NAME_H
#define WAYFETCH_CONFIG_PROXY_NAME_H

#include <optional>
#include <string>
#include <string_view>

namespace wayfetch {

struct ProxyNameFields {
  std::string address;
  std::string port;
};

ProxyNameFields split_proxy_name(std::string_view name);
std::optional<std::string> join_proxy_name(std::string_view address, std::string_view port);

}  // namespace wayfetch

#endif
