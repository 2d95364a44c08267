#include "config/config_text.h"

#include "core/ascii.h"

namespace wayfetch::config_text {

std::u16string utf16_of(const String& text) {
  if (text.encoding() == TextEncoding::Unicode) return text.window_utf16();
  std::string_view bytes = text.window_bytes();
  for (char c : bytes) {
    // A byte above 0x7F means something different in each code page.
    if (static_cast<unsigned char>(c) > 0x7F) return text.window_utf16();
  }
  return std::u16string(bytes.begin(), bytes.end());
}

std::u16string folded_utf16_of(const String& text) {
  std::u16string units = utf16_of(text);
  for (char16_t& unit : units) unit = static_cast<char16_t>(ascii::fold(unit));
  return units;
}

String utf8_text(std::string_view utf8) {
  String out{utf8};
  out.use_system_code_page();
  return out;
}

bool is_name(const String& text, std::string_view ascii) {
  CharReader reader = CharReader::window_of(text);
  for (char c : ascii) {
    if (reader.at_end()) return false;
    if (ascii::fold(reader.next()) != ascii::fold(static_cast<unsigned char>(c))) return false;
  }
  return reader.at_end();
}

}  // namespace wayfetch::config_text
