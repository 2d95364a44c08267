// Writes the table of a parsed document and parses the file again. When
// the first parse met nothing to repair (no error, no warning, every element
// closed), the second must give the same elements with the same attributes
// in the same nesting.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "xml/xml_parser.h"

namespace {

using namespace wayfetch;

// Texts compared through UTF-16, the way a UTF-16 file receives them: bytes
// that do not decode become U+FFFD on both sides.
std::string utf8(const String& text) {
  std::u16string units = text.window_utf16();
  return std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
}

std::string outline(const XmlParser& parser, bool* all_closed) {
  std::string out;
  std::vector<std::pair<int32_t, int32_t>> stack{{0, 0}};
  *all_closed = true;
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const XmlNode& record = parser.get(node);
    if (next >= record.children.size()) {
      out += ")";
      stack.pop_back();
      continue;
    }
    const XmlNode& child = parser.get(record.children.get(next));
    int32_t index = record.children.get(next++);
    if (child.kind == node_attribute) {
      out += " " + utf8(child.attr_name) + "=" + utf8(child.name);
    } else if (child.kind == node_element) {
      if (!child.closed) *all_closed = false;
      out += "(" + utf8(child.name);
      stack.emplace_back(index, 0);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TextScanner text = fuzzing::text_from(data, size, false);
  XmlParser parser;
  parser.parse(text);
  bool clean = parser.error == 0 && parser.warning == 0;
  bool all_closed = false;
  std::string before = outline(parser, &all_closed);
  static const std::string path =
      "/dev/shm/fuzz_xml_roundtrip_" + std::to_string(getpid()) + ".xml";
  int32_t options = size > 1 && (data[1] & 1) != 0 ? XmlParser::write_unicode : 0;
  if (!parser.write_file(String(path.c_str()), options, String())) __builtin_trap();
  TextScanner again;
  if (!again.load_file(String(path.c_str()))) __builtin_trap();
  // A narrow file that happens to begin with the bytes of a byte-order mark
  // is read back as UTF-16 by the text loader; there is nothing to compare.
  bool narrow_file = options == 0 && again.encoding() != TextEncoding::Unicode;
  if (options == 0 && !narrow_file) return 0;
  if (narrow_file) again.set_encoding(text.encoding(), text.code_page());
  XmlParser reparsed;
  reparsed.parse(again);
  if (clean && all_closed) {
    bool ignored = false;
    if (outline(reparsed, &ignored) != before) __builtin_trap();
    if (reparsed.error != 0) __builtin_trap();
  }
  return 0;
}
