#include "extraction/safe_name.h"

#include <string>
#include <string_view>

#include "ebook/local_link.h"
#include "extraction/words.h"
#include "web/url.h"

namespace wayfetch::extraction {
namespace {

// The characters of a window as UTF-16 units, for comparing names that come
// in different encodings (a page's name against the radix's).
std::u16string units_of(const String& text) { return text.window_utf16(); }

bool ends_with_ignoring_case(std::u16string_view text, std::u16string_view tail) {
  if (tail.size() > text.size()) return false;
  text.remove_prefix(text.size() - tail.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (ascii::fold(text[i]) != ascii::fold(tail[i])) return false;
  }
  return true;
}

bool starts_with_ignoring_case(std::u16string_view text, std::u16string_view head) {
  return head.size() <= text.size() && ends_with_ignoring_case(text.substr(0, head.size()), head);
}

// Names of a picture path: at most this many, the file's own included.
constexpr int picture_path_names = 4;

// A text's bytes as a file name is made of: UTF-8 for UTF-16 text, else the
// bytes themselves (the rendered page holds them so).
std::string name_bytes(const String& text) {
  if (text.encoding() == TextEncoding::Unicode) return text.to_utf8();
  return std::string(text.window_bytes());
}

// `relative` (a path below the eNews folder) when every name in it may be
// written there; "" otherwise.
std::string checked_picture_path(const std::string& relative, const String& enews_name) {
  if (relative.empty()) return "";
  int names = 0;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    std::string_view name(relative.data() + start, end - start);
    if (name.empty() || name.front() == '.' || ++names > picture_path_names) return "";
    for (char c : name) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\') return "";
    }
    start = end + 1;
  }
  if (names == 1 && is_enews_file(String(std::string_view(relative)), enews_name)) return "";
  return relative;
}

// Appends one character in the encoding of `like`.
void append_unit(std::string& bytes, uint16_t c, TextEncoding encoding) {
  bytes.push_back(static_cast<char>(c & 0xFF));
  if (encoding == TextEncoding::Unicode) bytes.push_back(static_cast<char>(c >> 8));
}

}  // namespace

String last_component(const String& text) {
  CharReader reader = CharReader::window_of(text);
  int32_t start = reader.position;
  while (!reader.at_end()) {
    uint16_t c = reader.next();
    if (c == '/' || c == '\\') start = reader.position;
  }
  return span_text(text, {start, reader.position});
}

bool is_enews_file(const String& name, const String& enews_name) {
  std::u16string file = units_of(name);
  std::u16string own = units_of(enews_name);
  if (own.empty()) return false;
  for (std::u16string_view suffix : {u".enews", u".xsl", u".html", u".prc", u".data.xml"}) {
    if (file.size() == own.size() + suffix.size() && starts_with_ignoring_case(file, own) &&
        ends_with_ignoring_case(file, suffix)) {
      return true;
    }
  }
  std::u16string data_prefix = own + u".data";
  return file.size() >= data_prefix.size() + 4 && starts_with_ignoring_case(file, data_prefix) &&
         ends_with_ignoring_case(file, u".xml");
}

String safe_file_name(const String& name, const String& enews_name) {
  String component = last_component(name);
  const TextEncoding encoding = component.encoding();
  std::string bytes;
  bool changed = false;
  bool leading = true;
  CharReader reader = CharReader::window_of(component);
  while (!reader.at_end()) {
    int32_t at = reader.position;
    uint16_t c = reader.next();
    if (leading && c == '.') {
      changed = true;
      continue;
    }
    leading = false;
    if (c < 0x20 || c == 0x7F) {
      append_unit(bytes, '_', encoding);
      changed = true;
      continue;
    }
    bytes.append(reinterpret_cast<const char*>(component.data()) + at,
                 static_cast<std::size_t>(reader.position - at));
  }
  String safe;
  if (changed) {
    safe.set_text(bytes, encoding, component.code_page());
    safe.set_context(component.context());
  } else {
    safe = component;
  }
  if (is_enews_file(safe, enews_name)) {
    std::string prefixed;
    append_unit(prefixed, '_', encoding);
    prefixed.append(safe.window_bytes());
    safe.set_text(prefixed, encoding, component.code_page());
    safe.set_context(component.context());
  }
  return safe;
}

std::string local_picture_path(const String& written, const String& address,
                               const String& enews_name) {
  // The folder stands for the eNews folder: the page lies in it, and what
  // resolves below it is a path inside the eNews folder.
  static constexpr std::string_view folder = "/enews-folder";
  if (!written.empty()) {
    const LinkTarget target =
        resolve_link(std::string(folder) + "/page.html", name_bytes(written));
    if (target.local && target.file.size() > folder.size() + 1 &&
        target.file.compare(0, folder.size() + 1, std::string(folder) + "/") == 0) {
      std::string relative =
          checked_picture_path(target.file.substr(folder.size() + 1), enews_name);
      if (!relative.empty()) return relative;
    }
  }
  return name_bytes(safe_file_name(last_component(address), enews_name));
}

bool is_web_address(const String& absolute) {
  UrlParts parts;
  return split(absolute, parts) &&
         (parts.scheme == UrlScheme::http || parts.scheme == UrlScheme::https);
}

}  // namespace wayfetch::extraction
