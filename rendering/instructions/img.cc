// "xsl:img": a picture tag for a data picture, and its report to the caller.
#include <vector>

#include "core/ascii.h"
#include "rendering/template_run.h"
#include "web/url.h"

namespace wayfetch {
namespace {

// The first text child of the first node that has one; -1 when none has.
int32_t first_text_child(const XmlParser& data, const std::vector<int32_t>& nodes) {
  for (int32_t node : nodes) {
    for (int32_t child : data.get(node).children) {
      if (data.valid(child) && data.get(child).kind == node_text) return child;
    }
  }
  return -1;
}

// The text's window without blanks at either end.
String trimmed(const String& text) {
  CharReader reader = CharReader::window_of(text);
  int32_t start = -1;
  int32_t end = reader.position;
  while (!reader.at_end()) {
    int32_t at = reader.position;
    uint16_t c = reader.next();
    if (ascii::is_blank(c)) continue;
    if (start < 0) start = at;
    end = reader.position;
  }
  String out(text);
  if (start < 0) {
    out.select_bytes(0, 0);
  } else {
    out.select_bytes(start - text.window_start(), end - text.window_start());
  }
  return String(out);
}

}  // namespace

bool report_data_picture(const XmlParser& data, int32_t picture_node, const String& address,
                         PictureIndex& pictures, int32_t& visited) {
  String base;
  String section_text;
  bool have_base = false;
  bool have_section = false;
  int32_t at = picture_node;
  visited = 0;
  for (; at > 0 && data.valid(at) && visited < data.node_count(); ++visited) {
    if (!have_base) have_base = attribute_value(data, at, "incurl", base);
    if (!have_section) have_section = attribute_value(data, at, "incsec", section_text);
    if (have_base && have_section) break;
    at = data.get(at).parent;
  }
  if (!have_base) return true;  // not an included document: nothing to report
  int32_t section = -1;
  if (have_section) {
    // "03" is section 3; a value without digits counts as empty, section 0.
    int32_t number = read_decimal(section_text);
    section = number < 0 ? 0 : number;
  }
  String absolute;
  const String reference = trimmed(address);
  if (!resolve(base, reference, absolute)) return false;
  pictures.add(absolute, section, reference);
  return true;
}

Continuation run_img(TemplateRun& run, int32_t element, int32_t current) {
  const XmlParser& data = run.data();
  bool has_select = false;
  bool has_log = false;
  int32_t request = run.request_named(element, "select", has_select);
  int32_t log_request = run.request_named(element, "select-log", has_log);
  std::vector<int32_t> pictures;
  run.select_or_current(has_select ? request : no_request, element, current, pictures);
  std::vector<int32_t> values;
  if (has_log) run.select(log_request, element, current, values);

  int32_t address_node = first_text_child(data, pictures);
  if (address_node >= 0) {
    const String& address = data.get(address_node).name;
    String tag = empty_like(address);
    tag.append_ascii("<img src=\"");
    tag.append(address);
    tag.append_ascii("\" ");
    int32_t value_node = first_text_child(data, values);
    if (value_node >= 0) {
      tag.append_ascii("logas=\"");
      tag.append(in_encoding_of(data.get(value_node).name, address));
      tag.append_ascii("\" ");
    }
    tag.append_ascii("/>");
    tag.select_all();
    run.output_text(tag);
    if (run.pictures().attached()) {
      int32_t visited = 0;
      if (!report_data_picture(data, data.get(address_node).parent, address, run.pictures(),
                               visited)) {
        run.fail(errors::render_bad_address, element);
      }
      run.charge(visited, element);
    }
  }
  return Continuation::children(current);
}

}  // namespace wayfetch
