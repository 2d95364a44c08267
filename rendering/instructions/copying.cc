// "xsl:copy" and "xsl:value-of": data nodes, or their content, into the output.
#include <climits>
#include <string>
#include <utility>
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

// Appends the text nodes at or below `top` in document order, paying one
// unit of `allowance` per node visited; false when it ran out.
bool collect_texts(const XmlParser& data, int32_t top, std::vector<int32_t>& texts,
                   int64_t& allowance) {
  std::vector<std::pair<int32_t, int32_t>> walk;
  if (data.get(top).kind == node_text) texts.push_back(top);
  walk.emplace_back(top, 0);
  while (!walk.empty()) {
    auto& [at, position] = walk.back();
    const ChildList& children = data.get(at).children;
    if (position >= children.size()) {
      walk.pop_back();
      continue;
    }
    int32_t child = children.get(position++);
    if (--allowance < 0) return false;
    if (child <= at || !data.valid(child)) continue;
    if (data.get(child).kind == node_text) texts.push_back(child);
    if (data.get(child).children.size() > 0) walk.emplace_back(child, 0);
  }
  return true;
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
    if (!run.output_room(element)) return Continuation::none();
  }
  return Continuation::children(current);
}

Continuation run_value_of(TemplateRun& run, int32_t element, int32_t current) {
  std::vector<int32_t> nodes;
  run.select_or_current(run.request_of(element), element, current, nodes);
  const XmlParser& data = run.data();
  String filter;
  bool no_tags =
      attribute_value(run.tmpl(), element, "html-filter", filter) && filter.equals("no-tags");
  if (no_tags) {
    // The texts below all selected nodes become one text node; markup is
    // dropped, and so is "max-char".
    // The walks are paid from the execution budget as they go, so that
    // "//*" over a deep tree cannot gather texts without end.
    std::vector<int32_t> texts;
    int64_t allowance = run.steps_left();
    bool complete = true;
    for (int32_t node : nodes) {
      for (int32_t child : data.get(node).children) {
        if (complete && data.valid(child) && data.get(child).kind != node_attribute) {
          complete = collect_texts(data, child, texts, allowance);
        }
      }
    }
    if (!run.charge(run.steps_left() - allowance, element)) return Continuation::none();
    if (!texts.empty()) {
      // The first text is copied as a node and the others appended to it,
      // gathered first: a String grows by what it needs, not geometrically.
      XmlNode joined = data.get(texts.front());
      joined.children.clear();
      std::string bytes(joined.name.window_bytes());
      auto limit = static_cast<std::size_t>(run.tmpl().limits().output_bytes);
      for (std::size_t k = 1; k < texts.size() && bytes.size() <= limit; ++k) {
        bytes.append(in_encoding_of(data.get(texts[k]).name, joined.name).window_bytes());
      }
      joined.name.set_text(bytes, joined.name.encoding(), joined.name.code_page());
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
        if (!run.output_room(element)) return Continuation::none();
      }
    }
  }
  return Continuation::children(current);
}

}  // namespace wayfetch
