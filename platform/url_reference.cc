#include "platform/url_reference.h"

#include <cstdint>
#include <vector>

#include "platform/lower_case.h"

namespace wayfetch::platform {
namespace {

bool is_alpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
char lower(char c) {
  return static_cast<char>(lower_byte(static_cast<uint8_t>(c)));
}

std::string lower_text(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lower(c);
  return out;
}

// The bytes a browser percent-encodes in each part. All of them encode C0
// controls, DEL and every byte above 0x7E; "%" itself is never touched, so a
// text that is already encoded stays as it is and encoding twice is harmless.
enum class Part { opaque_path, path, query, special_query, fragment, userinfo };

bool needs_encoding(uint8_t byte, Part part) {
  if (byte < 0x20 || byte >= 0x7F) return true;
  if (part == Part::opaque_path) return false;
  if (part == Part::userinfo) {
    // A user name or password keeps none of the characters that could be
    // read as a delimiter of the address.
    static constexpr std::string_view delimiters = " \"#<>?`{}/:;=@[\\]^|";
    return delimiters.find(static_cast<char>(byte)) != std::string_view::npos;
  }
  switch (byte) {
    case ' ':
    case '"':
    case '<':
    case '>':
      return true;
    case '`':
      return part == Part::path || part == Part::fragment;
    case '{':
    case '}':
      return part == Part::path;
    case '\'':
      return part == Part::special_query;
    default:
      return false;
  }
}

std::string percent_encode(std::string_view text, Part part) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    auto byte = static_cast<uint8_t>(c);
    if (needs_encoding(byte, part)) {
      out += '%';
      out += hex[byte >> 4];
      out += hex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

// a + b + c. (Written with append: GCC 12 at -O3 warns falsely about
// overlapping copies in "literal" + std::string.)
std::string joined(std::string_view a, std::string_view b, std::string_view c = {}) {
  std::string out;
  out.reserve(a.size() + b.size() + c.size());
  out.append(a).append(b).append(c);
  return out;
}

// Browsers take the user information up to the last "@" of the authority,
// the password from its first ":", and percent-encode what either holds
// that could be read as a delimiter ("https://@@@example" is the user "@@"
// at "example"; a DEL in a password is encoded, not refused). Without user
// and password the "@" goes.
std::string encoded_authority(std::string_view authority) {
  const std::size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return std::string(authority);
  const std::string_view userinfo = authority.substr(0, at);
  const std::size_t colon = userinfo.find(':');
  const std::string user = percent_encode(userinfo.substr(0, colon), Part::userinfo);
  const std::string password =
      colon == std::string_view::npos ? std::string()
                                      : percent_encode(userinfo.substr(colon + 1), Part::userinfo);
  std::string out = user;
  if (!password.empty()) out += ":" + password;
  if (!out.empty()) out += "@";
  out += authority.substr(at + 1);
  return out;
}

// "C:" or "C|": a Windows drive letter as a path segment.
bool is_drive(std::string_view segment) {
  return segment.size() == 2 && is_alpha(segment[0]) && (segment[1] == ':' || segment[1] == '|');
}

// The first segment of an absolute path ("/C:/x" gives "C:").
std::string_view first_segment(std::string_view path) {
  if (path.empty() || path[0] != '/') return {};
  std::string_view rest = path.substr(1);
  return rest.substr(0, rest.find('/'));
}

}  // namespace

bool is_special_scheme(std::string_view scheme) {
  return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "ws" ||
         scheme == "wss" || scheme == "file";
}

std::string clean_url_text(std::string_view text) {
  std::size_t start = 0;
  std::size_t end = text.size();
  while (start < end && static_cast<uint8_t>(text[start]) <= 0x20) ++start;
  while (end > start && static_cast<uint8_t>(text[end - 1]) <= 0x20) --end;
  std::string out;
  out.reserve(end - start);
  for (std::size_t i = start; i < end; ++i) {
    if (text[i] != '\t' && text[i] != '\n' && text[i] != '\r') out += text[i];
  }
  return out;
}

UrlReference UrlReference::parse(std::string_view text, bool special_base) {
  UrlReference ref;
  std::size_t at = 0;
  // A scheme is a letter followed by letters, digits, "+", "-" or ".", then ":".
  if (!text.empty() && is_alpha(text[0])) {
    std::size_t end = 1;
    while (end < text.size() && (is_alpha(text[end]) || is_digit(text[end]) || text[end] == '+' ||
                                 text[end] == '-' || text[end] == '.')) {
      ++end;
    }
    if (end < text.size() && text[end] == ':') {
      ref.scheme = lower_text(text.substr(0, end));
      at = end + 1;
    }
  }
  bool special = ref.scheme.empty() ? special_base : is_special_scheme(ref.scheme);

  std::string rest(text.substr(at));
  std::size_t query_or_fragment = rest.find_first_of("?#");
  if (query_or_fragment == std::string::npos) query_or_fragment = rest.size();
  if (special) {
    // Browsers read "http:\\host\dir\a.html" and "img\a.gif" with slashes.
    for (std::size_t i = 0; i < query_or_fragment; ++i) {
      if (rest[i] == '\\') rest[i] = '/';
    }
  }

  std::size_t pos = 0;
  if (rest.compare(0, 2, "//") == 0) {
    std::size_t end = rest.find_first_of("/?#", 2);
    if (end == std::string::npos) end = rest.size();
    ref.has_authority = true;
    ref.authority = rest.substr(2, end - 2);
    // File addresses carry no user information; their "@" stays for the
    // host check to refuse.
    if (ref.scheme != "file") ref.authority = encoded_authority(ref.authority);
    pos = end;
  }
  std::size_t path_end = rest.find_first_of("?#", pos);
  if (path_end == std::string::npos) path_end = rest.size();
  std::string_view raw_path = std::string_view(rest).substr(pos, path_end - pos);
  pos = path_end;
  if (pos < rest.size() && rest[pos] == '?') {
    std::size_t query_end = rest.find('#', pos);
    if (query_end == std::string::npos) query_end = rest.size();
    ref.has_query = true;
    ref.query = percent_encode(std::string_view(rest).substr(pos + 1, query_end - pos - 1),
                               special ? Part::special_query : Part::query);
    pos = query_end;
  }
  if (pos < rest.size() && rest[pos] == '#') {
    ref.has_fragment = true;
    ref.fragment = percent_encode(std::string_view(rest).substr(pos + 1), Part::fragment);
  }
  bool opaque = !ref.scheme.empty() && !special && !ref.has_authority &&
                (raw_path.empty() || raw_path[0] != '/');
  ref.path = percent_encode(raw_path, opaque ? Part::opaque_path : Part::path);
  if (opaque) {
    // Blanks inside an opaque path stay ("data:text/plain,a b"), but blanks
    // at its end are encoded: without its query or fragment the address
    // would otherwise lose them to trimming when it is read again.
    std::size_t kept = ref.path.find_last_not_of(' ') + 1;  // npos + 1 is 0
    std::size_t blanks = ref.path.size() - kept;
    ref.path.resize(kept);
    for (std::size_t i = 0; i < blanks; ++i) ref.path += "%20";
  }
  return ref;
}

std::string UrlReference::to_string() const {
  std::string out;
  out.reserve(scheme.size() + authority.size() + path.size() + query.size() + fragment.size() + 6);
  if (!scheme.empty()) out += scheme + ":";
  if (has_authority) {
    out += "//";
    out += authority;
  } else if (path.starts_with("//")) {
    // Without a host, a path starting with an empty segment would read back
    // as a host; "/." keeps it a path (dot segments drop it again).
    out += "/.";
  }
  out += path;
  if (has_query) out += "?" + query;
  if (has_fragment) out += "#" + fragment;
  return out;
}

bool UrlReference::is_special() const {
  return is_special_scheme(scheme);
}

bool UrlReference::is_opaque() const {
  return !scheme.empty() && !is_special() && !has_authority && (path.empty() || path[0] != '/');
}

bool UrlReference::is_same_document() const {
  return scheme.empty() && !has_authority && path.empty() && !has_query;
}

std::string remove_dot_segments(std::string_view path, bool keep_drive) {
  bool absolute = !path.empty() && path[0] == '/';
  std::string_view rest = absolute ? path.substr(1) : path;
  // Segments are kept as views into `path`; the loop runs once per segment.
  std::vector<std::string_view> out;
  while (true) {
    std::size_t slash = rest.find('/');
    bool last = slash == std::string_view::npos;
    std::string_view segment = last ? rest : rest.substr(0, slash);
    if (segment == ".") {
      if (last) out.emplace_back();
    } else if (segment == "..") {
      bool protected_drive = keep_drive && out.size() == 1 && is_drive(out[0]);
      if (!out.empty() && !protected_drive) out.pop_back();
      if (last) out.emplace_back();
    } else {
      out.push_back(segment);
    }
    if (last) break;
    rest = rest.substr(slash + 1);
  }
  std::string result = absolute ? "/" : "";
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (i > 0) result += '/';
    result += out[i];
  }
  return result;
}

UrlReference merge_references(const UrlReference& base, const UrlReference& reference) {
  bool file = base.scheme == "file";
  UrlReference target;
  target.scheme = base.scheme;
  if (reference.has_authority) {
    target.has_authority = true;
    target.authority = reference.authority;
    target.path = reference.path;
    target.has_query = reference.has_query;
    target.query = reference.query;
  } else {
    target.has_authority = base.has_authority;
    target.authority = base.authority;
    if (reference.path.empty()) {
      target.path = base.path;
      target.has_query = reference.has_query || base.has_query;
      target.query = reference.has_query ? reference.query : base.query;
    } else {
      if (reference.path[0] == '/') {
        target.path = reference.path;
        // A root-relative link on a drive stays on that drive.
        std::string_view drive = first_segment(base.path);
        if (file && is_drive(drive) && !is_drive(first_segment(reference.path))) {
          target.path = joined("/", drive, reference.path);
        }
      } else if (base.has_authority && base.path.empty()) {
        target.path = joined("/", reference.path);
      } else {
        std::size_t slash = base.path.rfind('/');
        target.path =
            (slash == std::string::npos ? std::string() : base.path.substr(0, slash + 1)) +
            reference.path;
      }
      target.has_query = reference.has_query;
      target.query = reference.query;
    }
  }
  target.path = remove_dot_segments(target.path, file);
  target.has_fragment = reference.has_fragment;
  target.fragment = reference.fragment;
  return target;
}

void lower_case_host(std::string& authority) {
  // The user information before the last "@" keeps its case.
  std::size_t at_sign = authority.rfind('@');
  std::size_t host_start = at_sign == std::string::npos ? 0 : at_sign + 1;
  for (std::size_t i = host_start; i < authority.size(); ++i) authority[i] = lower(authority[i]);
}

void normalize_own_reference(UrlReference& reference) {
  if (reference.scheme != "file") {
    if (reference.has_authority || (!reference.path.empty() && reference.path[0] == '/')) {
      reference.path = remove_dot_segments(reference.path, false);
    }
    return;
  }
  if (is_drive(reference.authority)) {
    reference.path = joined("/", reference.authority, reference.path);
    reference.authority.clear();
  }
  lower_case_host(reference.authority);
  if (reference.authority == "localhost") reference.authority.clear();
  reference.has_authority = true;
  if (reference.path.empty() || reference.path[0] != '/') {
    reference.path = joined("/", reference.path);
  }
  reference.path = remove_dot_segments(reference.path, true);
  // After the dot segments: "/a/../C|/x" has its drive only then.
  if (is_drive(first_segment(reference.path))) reference.path[2] = ':';
}

}  // namespace wayfetch::platform
