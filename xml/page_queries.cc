// Questions asked of a parsed page or document: its declared text encoding,
// its base address and its meta refresh.
#include <string_view>

#include "xml/charset_table.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

constexpr int32_t no_encoding_found = 10;
constexpr int32_t unsupported_encoding = 11;

// In `text`, finds `word` (ASCII case-insensitive), then blanks, "=" and
// blanks, and leaves the cursor on what follows. False when any part is missing.
bool find_assignment(TextScanner& text, const char* word) {
  text.rewind();
  if (!text.find(String(word), false)) return false;
  text.continue_after_window();
  text.skip_blanks();
  if (text.current_char() != '=') return false;
  text.next_char();
  text.skip_blanks();
  return true;
}

bool is_named(const XmlNode& node, const char* name) {
  return node.kind == node_element && node.name.equals(name);
}

}  // namespace

int32_t XmlParser::detect_encoding(ParseMode mode, String& text) {
  if (text.encoding() == TextEncoding::Unicode) return 0;
  String found;
  bool have_name = false;
  if (mode == ParseMode::xml_prolog_encoding) {
    for (int32_t i = 0; i < nodes_.size(); ++i) {
      const XmlNode& candidate = nodes_.get(i);
      if (candidate.kind != node_comment) continue;
      TextScanner declaration(candidate.name.str());
      if (find_assignment(declaration, "encoding")) {
        declaration.read_value();
        found.assign(declaration);
        have_name = !found.empty();
      }
      break;
    }
  } else if (mode == ParseMode::xsl_head_encoding) {
    for (int32_t i = 0; i < nodes_.size(); ++i) {
      if (!is_named(nodes_.get(i), "xsl:stylesheet")) continue;
      have_name = attribute(i, "encoding", found) && !found.empty();
      break;
    }
  } else if (mode == ParseMode::html_head_charset) {
    // Every meta element with an http-equiv attribute may name a charset in
    // a later content attribute; the last one named wins.
    for (int32_t i = 0; i < nodes_.size(); ++i) {
      const XmlNode& meta = nodes_.get(i);
      if (!is_named(meta, "meta")) continue;
      bool http_equiv_seen = false;
      for (int32_t child : meta.children) {
        const XmlNode& attribute = nodes_.get(child);
        if (attribute.kind != node_attribute) continue;
        if (attribute.attr_name.equals("http-equiv")) {
          http_equiv_seen = true;
          continue;
        }
        if (!http_equiv_seen || !attribute.attr_name.equals("content")) continue;
        TextScanner content(attribute.name.str());
        if (!find_assignment(content, "charset")) continue;
        content.read_name(nullptr, false);
        if (content.window_empty()) continue;
        found.assign(content);
        have_name = true;
      }
    }
  } else {
    return 0;
  }
  if (!have_name) return no_encoding_found;
  TextEncoding encoding = text.encoding();
  int32_t code_page = text.code_page();
  if (!lookup_charset(found, encoding, code_page)) return unsupported_encoding;
  text.set_encoding(encoding, code_page);
  return 0;
}

bool XmlParser::find_base_href(String& out) {
  for (int32_t i = 0; i < nodes_.size(); ++i) {
    if (is_named(nodes_.get(i), "base") && attribute(i, "href", out)) return true;
  }
  return false;
}

bool XmlParser::find_refresh(String& url_out, int32_t& delay_out) {
  for (int32_t i = 0; i < nodes_.size(); ++i) {
    if (!is_named(nodes_.get(i), "meta")) continue;
    String http_equiv;
    String content;
    if (!attribute(i, "http-equiv", http_equiv) || !attribute(i, "content", content)) continue;
    // Only the first blank-delimited word of http-equiv counts.
    TextScanner kind(http_equiv);
    kind.read_token();
    if (!kind.equals("refresh")) continue;

    // blanks, delay digits, blanks, a separator, blanks, a name ("url"),
    // one character ("="), then the address up to the end.
    TextScanner text(content);
    text.read_digits();
    int32_t delay = 0;
    CharReader digits = CharReader::window_of(text);
    while (!digits.at_end()) {
      uint16_t digit = digits.next();
      if (delay < 100000000) delay = delay * 10 + (digit - '0');
    }
    text.continue_after_window();
    text.skip_blanks();
    if (text.cursor() < text.length()) text.next_char();  // the separator
    text.read_name(nullptr, false);
    text.continue_after_window();
    if (text.cursor() < text.length()) text.next_char();  // the "=" after the name
    int32_t start = text.cursor() < 0 ? 0 : text.cursor();
    if (start > text.length()) start = text.length();
    text.select_bytes(start, text.length());
    url_out.assign(text);
    delay_out = delay;
    return true;
  }
  return false;
}

}  // namespace wayfetch
