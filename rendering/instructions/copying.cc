// "xsl:copy" and "xsl:value-of": data nodes, or their content, into the output.
#include <climits>
#include <vector>

#include "rendering/template_run.h"

namespace wayfetch {
namespace {

// The "max-char" budget; -1 when there is none. A value without digits is
// taken as no budget, as if the attribute were absent.
int32_t character_budget(const XmlParser& tmpl, int32_t element) {
  String value;
  if (!attribute_value(tmpl, element, "max-char", value)) return -1;
  return read_decimal(value);
}

bool budget_left(int32_t budget, int32_t used) {
  // Unsigned: no budget (-1) never runs out.
  return static_cast<uint32_t>(used) < static_cast<uint32_t>(budget);
}

}  // namespace

Continuation run_copy(TemplateRun& run, int32_t element, int32_t current) {
  std::vector<int32_t> nodes;
  run.select_or_current(run.request_of(element), element, current, nodes);
  int32_t budget = character_budget(run.tmpl(), element);
  int32_t used = 0;
  for (int32_t node : nodes) {
    if (!budget_left(budget, used)) break;
    run.output_copy(node, budget, used);
  }
  return Continuation::children(current);
}

Continuation run_value_of(TemplateRun& run, int32_t element, int32_t current) {
  std::vector<int32_t> nodes;
  run.select_or_current(run.request_of(element), element, current, nodes);
  const XmlParser& data = run.data();
  String filter;
  bool no_tags = attribute_value(run.tmpl(), element, "html-filter", filter) &&
                 filter.equals("no-tags");
  if (no_tags) {
    // The texts below all selected nodes become one text node; markup is
    // dropped, and so is "max-char".
    Storage<int32_t> texts;
    for (int32_t node : nodes) {
      for (int32_t child : data.get(node).children) {
        if (data.valid(child) && data.get(child).kind != node_attribute) {
          XmlParser::collect_texts(texts, data, child);
        }
      }
    }
    if (texts.size() > 0) {
      XmlNode joined = data.get(texts.get(0));
      joined.children = Storage<int32_t>();
      for (int32_t k = 1; k < texts.size(); ++k) {
        joined.name.append(in_encoding_of(data.get(texts.get(k)).name, joined.name));
      }
      joined.name.select_all();
      run.output_record(joined);
    }
    return Continuation::children(current);
  }
  int32_t budget = character_budget(run.tmpl(), element);
  int32_t used = 0;
  for (int32_t node : nodes) {
    for (int32_t child : data.get(node).children) {
      if (!budget_left(budget, used)) break;
      if (data.valid(child) && data.get(child).kind != node_attribute) {
        run.output_copy(child, budget, used);
      }
    }
  }
  return Continuation::children(current);
}

}  // namespace wayfetch
