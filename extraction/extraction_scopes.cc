// Iterations and sections: the two actions whose element stays open while
// the walk goes through its content.
#include "core/error_codes.h"
#include "extraction/extraction_engine.h"
#include "extraction/words.h"

namespace wayfetch {

using extraction::ActionElement;

bool ExtractionEngine::run_iterate(ListRun& list, int32_t node, bool output_point) {
  const ActionElement& element = *list.element;
  if (!walk_.open.empty()) {
    OpenScope& top = walk_.open.back();
    if (!top.is_section && top.element == node && top.pass_output_due) {
      // The walk came back for the next pass: the frame saved the output
      // context when the previous pass ended.
      top.pass_output_due = false;
      if (output_point) output_element(list);
      return true;
    }
  }
  if (element.from_bad) error_at(errors::extract_bad_from, element.line);
  if (element.max_bad) error_at(errors::extract_bad_max, element.line);
  const int32_t set = template_.iteration_set(element);
  if (set < 0) {
    error_at(errors::extract_iteration_set_missing, element.line);
    return false;
  }
  if (element.max == 0) return false;
  OpenScope frame;
  frame.element = node;
  frame.line = element.line;
  frame.set_node = set;
  frame.from = element.from;
  // 64 bits: from and max are each up to 2^31-1.
  frame.stop_after = element.max < 0 ? -1 : int64_t{element.from} + element.max;
  frame.pass_start = list.start;
  if (frame.from > 0) {
    frame.skipping = true;
    ++walk_.skip_causes;
  }
  walk_.open.push_back(frame);
  if (output_point) output_element(list);
  return true;
}

void ExtractionEngine::end_iteration_by_failure(ListRun& list, int32_t node) {
  for (auto k = static_cast<int32_t>(walk_.open.size()) - 1; k >= 0; --k) {
    OpenScope& frame = walk_.open[static_cast<std::size_t>(k)];
    if (frame.is_section || frame.set_node != node || frame.finished) continue;
    frame.finished = true;
    frame.failed = true;
    // Iterations inside it end with it; its roll-back takes their output.
    for (auto inner = static_cast<std::size_t>(k) + 1; inner < walk_.open.size(); ++inner) {
      walk_.open[inner].finished = true;
    }
    walk_.next = template_.end_of(frame.element);
    list.iteration_ended = true;
    list.ended = true;
    return;
  }
}

void ExtractionEngine::run_section(ListRun& list, int32_t node) {
  const ActionElement& element = *list.element;
  if (documents_.record(walk_.out.record).section > 0) {
    error_at(errors::extract_nested_section, element.line);
    output_element(list);
    return;
  }
  if (!documents_.section_allowed()) {
    stop(element.line);
    return;
  }
  const auto number = static_cast<std::size_t>(documents_.section_count());
  const bool build = number < selection_.size() && selection_[number] && !skip_mode();
  OpenScope section;
  section.is_section = true;
  section.element = node;
  section.line = element.line;
  section.saved = walk_.out;
  const int32_t record = documents_.add_section(build);
  documents_.record(record).line = element.line;
  walk_.out = {record, 0};
  if (build) {
    // The section's document starts like the main one: the template's XML
    // declaration (so the file is read back in its encoding), then copies
    // of the section element's ancestors from the root element down.
    const XmlParser& nodes = template_.nodes();
    int32_t last = 0;
    for (int32_t child : nodes.get(0).children) {
      const XmlNode& top = nodes.get(child);
      if (top.kind == node_element) break;
      if (top.kind == node_comment && top.name.starts_with("?xml")) {
        documents_.add_copy(record, 0, top, child);
        break;
      }
    }
    for (int32_t ancestor : template_.element_ancestors(node)) {
      last = documents_.add_copy(record, last, nodes.get(ancestor), ancestor);
      if (last < 0) break;
    }
    if (last >= 0) walk_.out.last = last;
    list.output = -1;
    if (last < 0 || output_element(list) < 0) {
      if (documents_.budget_spent()) stop(element.line);
    }
  } else {
    section.skipping = true;
    ++walk_.skip_causes;
  }
  walk_.open.push_back(section);
}

}  // namespace wayfetch
