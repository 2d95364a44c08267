#include "web/url.h"

#include <array>
#include <string>

#include "core/ascii.h"
#include "platform/url_parser.h"

namespace wayfetch {
namespace {

// An address as the bytes the platform layer resolves, with the code page
// the result is labelled with.
struct SingleByteText {
  std::string bytes;
  int32_t code_page = -1;
};

SingleByteText single_byte(const String& text) {
  SingleByteText out;
  if (text.encoding() == TextEncoding::Unicode) {
    String copy(text);
    copy.to_system_code_page();
    out.bytes = std::string(copy.window_bytes());
    out.code_page = copy.code_page();
    return out;
  }
  out.code_page = text.code_page();
  if (text.encoding() != TextEncoding::Multibyte) {
    out.bytes = std::string(text.window_bytes());
    return out;
  }
  // A double-byte character's second byte may be an ASCII delimiter ("\" in
  // many Shift-JIS characters). Both bytes of such a character are written
  // percent-encoded, as a browser sends them, so that resolution cannot take
  // them for a slash or a query mark; one-byte characters stay as they are.
  static constexpr char hex[] = "0123456789ABCDEF";
  CharReader reader = CharReader::window_of(text);
  while (!reader.at_end()) {
    int32_t start = reader.position;
    reader.next();
    if (reader.position - start == 1) {
      out.bytes += static_cast<char>(text.data()[start]);
      continue;
    }
    for (int32_t i = start; i < reader.position; ++i) {
      uint8_t byte = text.data()[i];
      out.bytes += '%';
      out.bytes += hex[byte >> 4];
      out.bytes += hex[byte & 0x0F];
    }
  }
  return out;
}

void replace_amp_entities(std::string& text) {
  std::size_t from = 0;
  while ((from = text.find("&amp;", from)) != std::string::npos) {
    text.erase(from + 1, 4);
    ++from;
  }
}

void set_single_byte(String& target, std::string_view bytes, int32_t code_page) {
  target.set_text(bytes, TextEncoding::SingleByte, code_page);
}

}  // namespace

UrlScheme scheme_number(std::string_view scheme) {
  static constexpr std::array<std::string_view, 9> names = {
      "", "http", "https", "ftp", "gopher", "mailto", "file", "news", "socks"};
  for (std::size_t i = 1; i < names.size(); ++i) {
    if (ascii::equals_ignoring_case(scheme, names[i])) return static_cast<UrlScheme>(i);
  }
  return UrlScheme::unknown;
}

bool resolve(const String& base, const String& address, String& absolute) {
  SingleByteText base_text = single_byte(base);
  SingleByteText address_text = single_byte(address);
  int32_t code_page = address_text.code_page != -1 ? address_text.code_page : base_text.code_page;
  std::string out;
  if (!platform::resolve_url(base_text.bytes, address_text.bytes, out).ok()) {
    set_single_byte(absolute, "", code_page);
    return false;
  }
  std::size_t hash = out.find('#');
  if (hash != std::string::npos) out.erase(hash);
  replace_amp_entities(out);
  set_single_byte(absolute, out, code_page);
  return true;
}

bool anchor_of(const String& address, String& name) {
  // `address` and `name` may be the same object: read before writing.
  CharReader reader = CharReader::window_of(address);
  while (!reader.at_end()) {
    uint16_t c = reader.next();
    if (c == '?') break;
    if (c == '#') {
      std::string rest(address.window_bytes().substr(
          static_cast<std::size_t>(reader.position - address.window_start())));
      name.set_text(rest, address.encoding(), address.code_page());
      return true;
    }
  }
  name.set_text("", address.encoding(), address.code_page());
  return false;
}

bool split(const String& address, UrlParts& parts) {
  SingleByteText text = single_byte(address);
  platform::UrlComponents components;
  bool ok = platform::crack_url(text.bytes, components).ok();
  std::string extra;
  if (components.has_query) extra += "?" + components.query;
  if (components.has_fragment) extra += "#" + components.fragment;
  parts.scheme = ok ? scheme_number(components.scheme) : UrlScheme::unknown;
  parts.port = components.port;
  set_single_byte(parts.host, components.host, text.code_page);
  set_single_byte(parts.user_name, components.user, text.code_page);
  set_single_byte(parts.password, components.password, text.code_page);
  set_single_byte(parts.path, components.path, text.code_page);
  set_single_byte(parts.extra, extra, text.code_page);
  return ok;
}

}  // namespace wayfetch
