// Loading and preparing a rendering template; the per-template tables.
#include "rendering/xsl_parser.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/ascii.h"
#include "core/text_scanner.h"

namespace wayfetch {

XslParser::XslParser() {
  restart_budgets();
}

int32_t XslParser::find_loop_index(const String& name, int32_t owner_node) const {
  int32_t at = owner_node;
  // Parents precede their children in the table: the chain is shorter than
  // the table, and the bound keeps a damaged one from looping.
  for (int32_t steps = 0; valid(at) && steps <= node_count(); ++steps) {
    const XmlNode& node = get(at);
    if (node.kind == node_root) break;
    for (int32_t child : node.children) {
      const XmlNode& attribute = get(child);
      if (attribute.kind == node_attribute && attribute.attr_name.equals("index") &&
          attribute.name.compare(name, false, false) == 0) {
        return node.index_slot;
      }
    }
    at = node.parent;
  }
  return -1;
}

std::string XslParser::scope_key(const String& name) {
  return ascii::lower(name.to_utf8());
}

int32_t XslParser::loop_slot_of(const String& name, int32_t owner_node) const {
  if (scope_ == nullptr) return find_loop_index(name, owner_node);
  auto found = scope_->find(scope_key(name));
  return found == scope_->end() || found->second.empty() ? -1 : found->second.back();
}

uint32_t XslParser::loop_value(int32_t slot) const {
  if (slot < 0 || static_cast<std::size_t>(slot) >= loop_slots_.size()) return 0;
  return loop_slots_[static_cast<std::size_t>(slot)];
}

void XslParser::set_loop_value(int32_t slot, uint32_t value) {
  if (slot < 0 || static_cast<std::size_t>(slot) >= loop_slots_.size()) return;
  loop_slots_[static_cast<std::size_t>(slot)] = value;
}

uint32_t XslParser::any_counter(int32_t request_id) const {
  if (request_id < 0 || static_cast<std::size_t>(request_id) >= any_counters_.size()) return 0;
  return any_counters_[static_cast<std::size_t>(request_id)];
}

void XslParser::reset_any_counters() {
  any_counters_.assign(static_cast<std::size_t>(steps_.size()), 0);
}

void XslParser::restart_budgets() {
  request_work_left_ = limits_.request_work;
  request_work_spent_ = false;
  candidate_cache_.clear();
  cached_candidates_ = 0;
  cached_tree_ = nullptr;
}

void XslParser::set_picture_target(PictureList* list, const String& template_address) {
  pictures_.attach(list);
  template_address_ = template_address;
}

bool XslParser::load_template(const String& path) {
  reset();
  steps_.clear();
  loop_slots_.clear();
  any_counters_.clear();
  restart_budgets();

  TextScanner text;
  if (!text.load_file(path)) {
    raise_error(errors::render_template_unreadable, -1, text.context());
    return false;
  }
  // The encoding: the "encoding" of the "xsl:stylesheet" start tag, else a
  // charset of the page's meta elements. Either only relabels the text.
  {
    XmlParser scratch;
    scratch.set_mode(ParseMode::xsl_head_encoding);
    scratch.parse(text);
    if (scratch.warning == warnings::no_encoding) {
      scratch.reset();
      text.rewind();
      scratch.set_mode(ParseMode::html_head_charset);
      scratch.parse(text);
    }
  }
  text.rewind();
  set_mode(ParseMode::xsl_template);
  parse(text);
  prepare_template();
  return true;
}

void XslParser::prepare_template() {
  // Loop slots first: requests look them up by name while compiling.
  for (int32_t i = 1; i < node_count(); ++i) {
    const XmlNode& attribute = get(i);
    if (attribute.kind != node_attribute || !attribute.attr_name.equals("index")) continue;
    int32_t owner = attribute.parent;
    if (!valid(owner) || get(owner).kind != node_element) {
      raise_error(errors::render_no_index_owner, attribute.source_line, attribute.name.context());
      continue;
    }
    node(owner).index_slot = static_cast<int32_t>(loop_slots_.size());
    loop_slots_.push_back(0);
  }
  // Requests are compiled in document order while a map from each loop
  // index name in scope to the slot of its nearest holder is kept, so a
  // "#name" costs one probe however deeply the template nests.
  std::unordered_map<std::string, std::vector<int32_t>> in_scope;
  struct Frame {
    int32_t node;
    int32_t next_child;
    std::vector<std::string> names;  // the index names this element brought into scope
  };
  std::vector<Frame> walk;
  walk.push_back({0, 0, {}});
  scope_ = &in_scope;
  while (!walk.empty()) {
    Frame& frame = walk.back();
    const ChildList& children = get(frame.node).children;
    if (frame.next_child >= children.size()) {
      for (const std::string& name : frame.names) in_scope[name].pop_back();
      walk.pop_back();
      continue;
    }
    int32_t child = children.get(frame.next_child++);
    if (child <= frame.node || !valid(child) || get(child).kind != node_element) continue;
    Frame inner{child, 0, {}};
    for (int32_t a : get(child).children) {
      const XmlNode& attribute = get(a);
      if (attribute.kind != node_attribute || !attribute.attr_name.equals("index")) continue;
      inner.names.push_back(scope_key(attribute.name));
      in_scope[inner.names.back()].push_back(get(child).index_slot);
    }
    for (int32_t a : get(child).children) {
      const XmlNode& attribute = get(a);
      if (attribute.kind != node_attribute) continue;
      if (!attribute.attr_name.equals("select") && !attribute.attr_name.equals("select-log")) {
        continue;
      }
      // Compiling appends steps, never nodes: the reference stays valid.
      int32_t id = compile_request(attribute.name, attribute.source_line, a);
      node(a).request_id = id;
    }
    walk.push_back(std::move(inner));
  }
  scope_ = nullptr;
  reset_any_counters();
}

}  // namespace wayfetch
