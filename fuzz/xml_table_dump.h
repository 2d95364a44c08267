// dump_table: a parser's node table and parse state as text, one line per
// node, so two parsers (or two builds of one) can be compared with a plain
// string compare or `diff`.
//
// It reads only the record fields and parser operations both the current
// parser and the reference copy in fuzz/reference_xml have, by name, so it
// keeps compiling when the record's layout changes. The iterator position
// (`iteration`) is left out: it is scratch state of the element iterators.
// Used by fuzz_xml_parse_diff and bench/xml_table_dump.
#ifndef WAYFETCH_FUZZ_XML_TABLE_DUMP_H
#define WAYFETCH_FUZZ_XML_TABLE_DUMP_H

#include <cstdint>
#include <string>
#include <string_view>

namespace wayfetch::fuzzing {

// The bytes between quotes: printable ASCII as is, everything else (and the
// quote and backslash) as \xHH.
inline void append_escaped(std::string& out, std::string_view bytes) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  for (char c : bytes) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f && c != '"' && c != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 15];
    }
  }
  out += '"';
}

// A text's bytes, encoding, code page and context slot.
template <class Text>
void append_text(std::string& out, const Text& text) {
  append_escaped(out, text.window_bytes());
  out += "(enc=" + std::to_string(static_cast<int32_t>(text.encoding())) +
         " cp=" + std::to_string(text.code_page()) + " ctx=" + std::to_string(text.context()) + ")";
}

// Every node from `first` on, then the parse state and status.
template <class Parser>
std::string dump_table(Parser& p, int32_t first = 0) {
  std::string out;
  auto number = [&out](const char* label, int64_t value) {
    out += label;
    out += std::to_string(value);
  };
  for (int32_t i = first < 0 ? 0 : first; i < p.node_count(); ++i) {
    const auto& n = p.get(i);
    number("node ", i);
    number(" kind=", n.kind);
    number(" parent=", n.parent);
    number(" closed=", n.closed);
    number(" blank=", n.blank);
    number(" src=", n.source_start);
    number("..", n.source_end);
    number(" line=", n.source_line);
    number(" slot=", n.index_slot);
    number(" request=", n.request_id);
    out += " name=";
    append_text(out, n.name);
    out += " attr=";
    append_text(out, n.attr_name);
    out += " children=[";
    for (int32_t k = 0; k < n.children.size(); ++k) {
      if (k > 0) out += ',';
      out += std::to_string(n.children.get(k));
    }
    out += "]\n";
  }
  number("nodes=", p.node_count());
  number(" line=", p.line());
  number(" current=", p.current());
  number(" state=", p.state());
  number(" raw=", p.raw() ? 1 : 0);
  number(" error=", p.error);
  number(" warning=", p.warning);
  number(" silent=", p.silent ? 1 : 0);
  out += '\n';
  return out;
}

}  // namespace wayfetch::fuzzing

#endif
