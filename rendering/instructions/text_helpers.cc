// Small text helpers shared by the instructions.
#include <climits>

#include "core/ascii.h"
#include "rendering/template_run.h"

namespace wayfetch {

String empty_like(const String& like) {
  String text;
  text.set_text(std::string_view(), like.encoding(), like.code_page());
  return text;
}

String in_encoding_of(const String& text, const String& like) {
  String copy(text);
  if (copy.encoding() == like.encoding() && copy.code_page() == like.code_page()) return copy;
  if (!copy.convert(like.encoding(), like.code_page())) {
    // An unknown code page on either side: keep the bytes, take the label,
    // so that the texts can still be joined.
    copy.set_encoding(like.encoding(), like.code_page());
  }
  copy.select_all();
  return copy;
}

int32_t read_decimal(const String& text) {
  CharReader reader = CharReader::window_of(text);
  uint16_t c = 0;
  do {
    c = reader.next();
  } while (ascii::is_blank(c));
  if (c < '0' || c > '9') return -1;
  int64_t value = 0;
  while (c >= '0' && c <= '9') {
    value = value * 10 + (c - '0');
    if (value > INT32_MAX) value = INT32_MAX;
    c = reader.next();
  }
  return static_cast<int32_t>(value);
}

bool attribute_value(const XmlParser& tree, int32_t element, const char* name, String& out) {
  if (!tree.valid(element)) return false;
  for (int32_t child : tree.get(element).children) {
    const XmlNode& attribute = tree.get(child);
    if (attribute.kind == node_attribute && attribute.attr_name.equals(name)) {
      out.assign(attribute.name);
      return true;
    }
  }
  return false;
}

}  // namespace wayfetch
