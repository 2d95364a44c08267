// Web addresses: resolving an address against a base, taking its anchor
// name, and splitting it into the parts the HTTP client connects with.
//
// Resolution is a browser's (platform/url_parser.h) followed by three rules
// of the program: the result is cut at its first "#", every "&amp;" in it
// becomes "&", and the anchor name is read from the original address with
// anchor_of. Addresses are made single-byte before use: a UTF-16 address is
// converted to the system code page (UTF-8), a double-byte one keeps its
// bytes and code page. Results are single-byte text in that code page (the
// address's, else the base's).
//
// The functions report failure by their result only and write nothing to
// the error log: callers report in their own words (the HTTP client's status
// 101, the extraction's "Absolute url composition error."). Thread-safe:
// no shared state.
#ifndef WAYFETCH_WEB_URL_H
#define WAYFETCH_WEB_URL_H

#include <cstdint>
#include <string_view>

#include "core/string.h"

namespace wayfetch {

// The program's scheme numbers; the HTTP client opens file addresses whole
// and connects to a server for the others.
enum class UrlScheme : int32_t {
  unknown = 0,
  http = 1,
  https = 2,
  ftp = 3,
  gopher = 4,
  mailto = 5,
  file = 6,
  news = 7,
  socks = 8,
};

// The scheme number of a scheme name (any case, without ":"); unknown for
// any other name.
UrlScheme scheme_number(std::string_view scheme);

// Resolves `address` against `base` and writes the absolute address, without
// its "#" part and with "&amp;" decoded, to `absolute`. An empty address
// gives the base; an empty base resolves only absolute addresses.
// "mailto:" and "javascript:" addresses resolve to themselves. Returns false,
// leaving `absolute` empty, when no absolute address results (a relative
// address without a base, a bad host or port, a base like "mailto:x").
bool resolve(const String& base, const String& address, String& absolute);

// When a "#" comes before any "?", `name` is everything after it (possibly
// empty) and the result is true; otherwise `name` is empty and the result
// false. The name keeps the address's encoding.
bool anchor_of(const String& address, String& name);

// The parts of an absolute address. Nothing is decoded.
struct UrlParts {
  UrlScheme scheme = UrlScheme::unknown;
  String host;       // "[...]" for an IPv6 literal; empty for a local file
  int32_t port = 0;  // as given, else the scheme's default (http 80, https 443, ftp 21, gopher 70)
  String user_name;
  String password;
  String path;   // starts with "/" for http, https, ftp and file addresses
  String extra;  // "?" and the query, then "#" and the fragment, each when present
};

// Splits an absolute address. A relative or malformed address gives false
// and empty parts (scheme unknown, port 0).
bool split(const String& address, UrlParts& parts);

}  // namespace wayfetch

#endif
