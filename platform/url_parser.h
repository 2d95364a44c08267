// Web addresses on libcurl's URL API: resolving a reference against a base
// the way a browser does, and cutting an absolute address into its parts.
//
// libcurl parses, validates and normalises addresses with a host (ports,
// IPv6 literals, dot segments, numeric hosts). Its resolution differs from a
// browser's in a few places, which this layer handles itself: an empty
// reference and a "#..." reference mean the base (libcurl drops the base's
// file name); "mailto:", "javascript:" and other addresses without a
// hierarchy are taken as they stand; file addresses with a host or a drive
// letter and non-special schemes without a host are resolved by our own
// RFC 3986 code; "http:page.html" against an http base is relative, as in a
// browser; backslashes count as slashes in http, https, ftp and file
// addresses, and any run of them before the host of a special address is
// skipped ("///host/x"); user information runs to the last "@" and is
// percent-encoded; spaces, quotes, angle brackets and bytes above 0x7E are
// percent-encoded. docs/platform.md lists the rules.
//
// Inputs are bytes in any single-byte code page (bytes above 0x7E are
// encoded as they stand). Every call uses fresh libcurl handles, so the
// functions are thread-safe and no state carries from one address to the next.
#ifndef WAYFETCH_PLATFORM_URL_PARSER_H
#define WAYFETCH_PLATFORM_URL_PARSER_H

#include <cstdint>
#include <string>
#include <string_view>

namespace wayfetch::platform {

enum class UrlError : int32_t {
  none = 0,
  no_base,         // a relative reference and no absolute base to resolve it against
  cannot_be_base,  // a relative reference against "mailto:..." or another opaque base
  no_host,         // an http, https or ftp address without a host
  rejected,        // libcurl refused the address (bad host, port, IPv6 literal...)
  out_of_memory,
};

struct [[nodiscard]] UrlStatus {
  UrlError code = UrlError::none;
  std::string message;  // empty when ok; else what was wrong, for logs and tests

  bool ok() const { return code == UrlError::none; }
};

// Resolves `reference` against `base` as a browser does and writes the
// absolute address, with the reference's fragment when it has one, to `out`.
// An empty or relative base is no base: an absolute reference still
// resolves. On failure `out` is empty.
UrlStatus resolve_url(std::string_view base, std::string_view reference, std::string& out);

// The parts of an absolute address, as written (nothing is decoded).
struct UrlComponents {
  std::string scheme;  // lower case, without ":"
  std::string user;
  std::string password;
  std::string host;  // "[...]" for an IPv6 literal; empty for a local file
  int32_t port = 0;  // the given port, else the scheme's default (http 80...), else 0
  std::string path;  // for an opaque address ("mailto:x@y"), everything after the ":"
  bool has_query = false;
  std::string query;  // without "?"
  bool has_fragment = false;
  std::string fragment;  // without "#"
};

// Cuts an absolute address into its parts. A relative or malformed address
// fails and leaves `out` empty.
UrlStatus crack_url(std::string_view address, UrlComponents& out);

}  // namespace wayfetch::platform

#endif
