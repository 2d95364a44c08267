// The template's own pictures: every "img" tag in the template's text.
//
// Each text node is read tag by tag by a one-tag parse. A picture's address
// is reported resolved against the template's address (section -1), and in
// the template text the address is rewritten with backslashes, the form the
// e-book builder resolves against the eNews folder.
#include "core/ascii.h"
#include "core/text_scanner.h"
#include "rendering/template_run.h"
#include "web/url.h"

namespace wayfetch {
namespace {

// The one-tag parser is emptied when it holds this many nodes.
constexpr int32_t scratch_nodes = 1024;

String trimmed_copy(const String& text) {
  std::string_view bytes = text.window_bytes();
  // Blanks are ASCII in every encoding; in UTF-16 they come with a zero byte.
  int32_t unit = text.encoding() == TextEncoding::Unicode ? 2 : 1;
  auto blank_at = [&](std::size_t i) {
    char c = bytes[i];
    return ascii::is_blank(c) && (unit == 1 || bytes[i + 1] == '\0');
  };
  std::size_t start = 0;
  std::size_t end = bytes.size() - bytes.size() % static_cast<std::size_t>(unit);
  while (start < end && blank_at(start)) start += static_cast<std::size_t>(unit);
  while (end > start && blank_at(end - static_cast<std::size_t>(unit))) {
    end -= static_cast<std::size_t>(unit);
  }
  String out;
  out.set_text(bytes.substr(start, end - start), text.encoding(), text.code_page());
  out.set_context(text.context());
  return out;
}

// Turns every "/" of bytes [start, end) of `text` into "\".
void slashes_to_backslashes(NodeText& text, int32_t start, int32_t end) {
  uint8_t* bytes = text.mutable_data();
  if (bytes == nullptr) return;
  if (start < 0) start = 0;
  if (end > text.length()) end = text.length();
  if (text.encoding() == TextEncoding::Unicode) {
    for (int32_t i = start; i + 1 < end; i += 2) {
      if (bytes[i] == '/' && bytes[i + 1] == 0) bytes[i] = '\\';
    }
    return;
  }
  // Walk characters: a trail byte of a double-byte character is never touched.
  CharReader reader{bytes, start, end, text.encoding(), text.code_page()};
  while (!reader.at_end()) {
    int32_t at = reader.position;
    if (reader.next() == '/' && reader.position == at + 1) bytes[at] = '\\';
  }
}

}  // namespace

void process_template_pictures(XslParser& tmpl, const String& template_address,
                               PictureIndex& pictures) {
  XmlParser scratch;
  scratch.set_mode(ParseMode::html_tag);
  for (int32_t i = 1; i < tmpl.node_count(); ++i) {
    if (tmpl.get(i).kind != node_text) continue;
    TextScanner text(tmpl.get(i).name);
    // Each parse moves past at least one character; the count guards the loop.
    for (int32_t parses = 0; text.cursor() < text.length() && parses <= text.length(); ++parses) {
      int32_t before = text.cursor();
      if (scratch.node_count() > scratch_nodes) scratch.reset();
      int32_t first_new = scratch.node_count();
      scratch.parse(text);
      for (int32_t tag = first_new; tag < scratch.node_count(); ++tag) {
        const XmlNode& element = scratch.get(tag);
        if (element.kind != node_element || !element.name.equals("img")) continue;
        for (int32_t child : element.children) {
          const XmlNode& attribute = scratch.get(child);
          if (attribute.kind != node_attribute || !attribute.attr_name.equals("src")) continue;
          if (attribute.name.is_blank()) break;
          String absolute;
          const String reference = trimmed_copy(attribute.name);
          if (resolve(template_address, reference, absolute)) {
            pictures.add(absolute, -1, reference);
          } else {
            const XmlNode& owner = tmpl.get(i);
            tmpl.raise_error(errors::render_bad_address, owner.source_line, owner.name.context());
          }
          slashes_to_backslashes(tmpl.node(i).name, attribute.source_start, attribute.source_end);
          break;
        }
      }
      if (text.cursor() <= before && before >= 0) break;
    }
  }
}

}  // namespace wayfetch
