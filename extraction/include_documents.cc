// Included documents: the attributes of an include's output element and the
// insertion of the downloaded document under it.
#include <utility>
#include <vector>

#include "extraction/extraction_engine.h"

namespace wayfetch {

void ExtractionEngine::mark_include(const DownloadRequest& task, const String& final_address) {
  if (!task_live(task.ticket) || !documents_.valid(task.record)) return;
  const int32_t record = task.record;
  documents_.add_attribute(record, task.output_node, template_text("incurl"),
                           in_template_encoding(final_address));
  const int32_t section = documents_.record(record).section;
  if (section > 0) {
    String number = template_text("0");
    number.append_number(static_cast<uint32_t>(section - 1), 10);
    number.select_all();
    documents_.add_attribute(record, task.output_node, template_text("incsec"), number);
  }
}

bool ExtractionEngine::insert_document(const DownloadRequest& task, const XmlParser& document) {
  if (!task_live(task.ticket) || !documents_.valid(task.record)) return true;
  const int32_t record = task.record;
  const XmlParser* target = documents_.document(record);
  if (target == nullptr || !target->valid(task.output_node)) return true;

  // The top-level nodes to take: all but a declaration or comment that comes
  // first, before any element.
  std::vector<int32_t> tops;
  bool element_met = false;
  bool first_comment_left = false;
  for (int32_t child : document.get(0).children) {
    const XmlNode& node = document.get(child);
    if (node.kind == node_element) element_met = true;
    if (node.kind == node_comment && !element_met && !first_comment_left) {
      first_comment_left = true;
      continue;
    }
    tops.push_back(child);
  }

  // Everything is copied into a list first, converted, so that the whole
  // document is measured against the budgets before any node is added. The
  // document's depth is the page's: an explicit stack walks it.
  struct Staged {
    XmlNode node;
    int32_t parent;  // index in `staged`, -1 for the output element
  };
  std::vector<Staged> staged;
  std::vector<std::pair<int32_t, int32_t>> stack;  // source node, parent in `staged`
  for (auto i = static_cast<int32_t>(tops.size()) - 1; i >= 0; --i) {
    stack.emplace_back(tops[static_cast<std::size_t>(i)], -1);
  }
  int64_t bytes = 0;
  while (!stack.empty()) {
    const auto [source, parent] = stack.back();
    stack.pop_back();
    const XmlNode& original = document.get(source);
    Staged copy{XmlNode(), parent};
    copy.node.kind = original.kind;
    copy.node.closed = original.closed;
    copy.node.name = in_template_encoding(original.name);
    copy.node.attr_name = in_template_encoding(original.attr_name);
    bytes += int64_t{copy.node.name.length()} + copy.node.attr_name.length();
    staged.push_back(std::move(copy));
    if (!documents_.can_hold(record, static_cast<int64_t>(staged.size()), bytes)) return false;
    const auto index = static_cast<int32_t>(staged.size()) - 1;
    const ChildList& children = original.children;
    for (int32_t k = children.size() - 1; k >= 0; --k) {
      const int32_t child = children.get(k);
      // A child listed twice or pointing upwards would loop: only real children count.
      if (document.valid(child) && document.get(child).parent == source) {
        stack.emplace_back(child, index);
      }
    }
  }
  if (!documents_.reserve(record, static_cast<int64_t>(staged.size()), bytes)) return false;
  std::vector<int32_t> placed(staged.size(), -1);
  for (std::size_t i = 0; i < staged.size(); ++i) {
    const int32_t parent = staged[i].parent < 0
                               ? task.output_node
                               : placed[static_cast<std::size_t>(staged[i].parent)];
    if (parent < 0) continue;
    placed[i] = documents_.add_reserved_copy(record, parent, staged[i].node);
  }
  documents_.record(record).has_content = true;
  return true;
}

}  // namespace wayfetch
