#include "extraction/safe_name.h"

#include <string>
#include <string_view>

#include "extraction/words.h"

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

}  // namespace wayfetch::extraction
