// UrlReference: a web address cut into its generic components (scheme,
// authority, path, query, fragment), and the browser rules that the address
// resolver (platform/url_parser.h) applies around libcurl.
//
// Everything here works on bytes: addresses arrive in whatever single-byte
// code page their page used, and bytes above 0x7E are percent-encoded as
// they stand, as a browser does for a query in the page's own encoding.
// Nothing here fails: any text is some reference. Thread-safe (no state).
#ifndef WAYFETCH_PLATFORM_URL_REFERENCE_H
#define WAYFETCH_PLATFORM_URL_REFERENCE_H

#include <string>
#include <string_view>

namespace wayfetch::platform {

struct UrlReference {
  std::string scheme;  // lower case, without ":"; empty for a relative reference
  bool has_authority = false;
  std::string authority;  // between "//" and the path (user info, host, port)
  std::string path;
  bool has_query = false;
  std::string query;  // without "?"
  bool has_fragment = false;
  std::string fragment;  // without "#"

  // Splits a cleaned text (see clean_url_text). In addresses of the schemes
  // browsers treat specially (http, https, ftp, ws, wss, file), and in
  // relative ones when `special_base` is set, a backslash before the query
  // counts as a slash. The path, query and fragment come out percent-encoded
  // the way a browser encodes them.
  static UrlReference parse(std::string_view text, bool special_base);

  // The text form: scheme ":" "//" authority path "?" query "#" fragment,
  // each part only when present.
  std::string to_string() const;

  bool is_special() const;
  // A scheme followed by a path that does not start with "/" and no
  // authority ("mailto:x", "javascript:f()"): nothing can be resolved
  // against it.
  bool is_opaque() const;
  // Nothing but possibly a fragment: the reference that means the base itself.
  bool is_same_document() const;
  void drop_fragment() {
    has_fragment = false;
    fragment.clear();
  }
};

// Browser input cleaning: drops C0 controls and spaces at both ends and every
// tab, line feed and carriage return inside.
std::string clean_url_text(std::string_view text);

// http, https, ftp, ws, wss and file.
bool is_special_scheme(std::string_view scheme);

// Host names compare without case; browsers write them in lower case. Lowers
// the host and port of an authority; user information keeps its case.
void lower_case_host(std::string& authority);

// Applies RFC 3986's dot-segment removal to an absolute path. With
// `keep_drive`, a leading Windows drive segment ("/C:") is never removed by
// "..", as browsers do for file addresses.
std::string remove_dot_segments(std::string_view path, bool keep_drive);

// Resolves a relative reference against an absolute, non-opaque base by RFC
// 3986's algorithm (section 5.2) with the browsers' rules for file addresses.
// This serves the addresses libcurl cannot hold: file addresses with hosts or
// drive letters and non-special schemes without a host.
UrlReference merge_references(const UrlReference& base, const UrlReference& reference);

// Brings an absolute address that libcurl does not handle into the form a
// browser gives it: dot segments removed, and for file addresses the host
// "localhost" dropped, a drive letter moved into the path ("file://C:/x" is
// "file:///C:/x", "C|" becomes "C:"), the host in lower case and the path
// made absolute.
void normalize_own_reference(UrlReference& reference);

}  // namespace wayfetch::platform

#endif
