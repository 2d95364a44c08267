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

bool read_number(const String& text, uint32_t& out) {
  CharReader reader = CharReader::window_of(text);
  uint64_t number = 0;
  bool digits = false;
  bool trailing = false;
  while (!reader.at_end()) {
    uint16_t c = reader.next();
    if (ascii::is_blank(c)) {
      trailing = digits;
      continue;
    }
    if (!ascii::is_digit(c) || trailing) return false;
    digits = true;
    number = number * 10 + (c - '0');
    if (number > UINT32_MAX) return false;
  }
  if (!digits) return false;
  out = static_cast<uint32_t>(number);
  return true;
}

bool parse_document(TextScanner& text, XmlParser& tree) {
  if (text.encoding() != TextEncoding::Unicode) {
    XmlParser scratch;
    scratch.silent = true;
    scratch.set_mode(ParseMode::xml_prolog_encoding);
    scratch.parse(text);
    text.rewind();
  }
  tree.parse(text);
  return tree.error == 0;
}

}  // namespace wayfetch::config_text
