// A compact text form of a node table, so that tests compare whole trees:
//   element   name[children]   (name~[...] when it was never closed)
//   attribute @name=value
//   text      'text'
//   comment   #text
// Children are separated by commas. Narrow texts are shown as their bytes,
// UTF-16 texts as UTF-8.
#ifndef WAYFETCH_TESTS_XML_TREE_TEXT_H
#define WAYFETCH_TESTS_XML_TREE_TEXT_H

#include <string>
#include <utility>
#include <vector>

#include "xml/xml_parser.h"

namespace wayfetch::testing {

inline std::string shown(const String& text) {
  if (text.encoding() == TextEncoding::Unicode) return text.to_utf8();
  return std::string(text.window_bytes());
}

inline std::string tree_text(const XmlParser& parser, int32_t top = 0) {
  std::string out;
  // (node, next child) frames; the form is written on the way down and up.
  std::vector<std::pair<int32_t, int32_t>> stack;
  auto open = [&](int32_t i) {
    const XmlNode& node = parser.get(i);
    switch (node.kind) {
      case node_attribute:
        out.append("@").append(shown(node.attr_name)).append("=").append(shown(node.name));
        return false;
      case node_text:
        out.append("'").append(shown(node.name)).append("'");
        return false;
      case node_comment:
        out.append("#").append(shown(node.name));
        return false;
      case node_element:
        out.append(shown(node.name)).append(node.closed ? "[" : "~[");
        return true;
      default:
        out += "[";
        return true;
    }
  };
  if (!open(top)) return out;
  stack.emplace_back(top, 0);
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const XmlNode& record = parser.get(node);
    if (next >= record.children.size()) {
      out += "]";
      stack.pop_back();
      continue;
    }
    if (next > 0) out += ",";
    int32_t child = record.children.get(next++);
    if (open(child)) stack.emplace_back(child, 0);
  }
  return out;
}

// Parses `text` in `mode` with a fresh parser.
inline XmlParser parsed(std::string_view text, ParseMode mode = ParseMode::xml) {
  XmlParser parser;
  parser.set_mode(mode);
  TextScanner input(text);
  parser.parse(input);
  return parser;
}

}  // namespace wayfetch::testing

#endif
