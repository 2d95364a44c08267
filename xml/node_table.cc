// Creating, reading and navigating the records of the node table.
#include <string_view>
#include <utility>
#include <vector>

#include "xml/xml_parser.h"

namespace wayfetch {

XmlParser::XmlParser() {
  make_root();
}

void XmlParser::make_root() {
  XmlNode* root = nodes_.append();
  if (root == nullptr) return;
  root->kind = node_root;
  root->parent = -1;
}

void XmlParser::hold_context(const ContextLease& lease) {
  if (lease.empty()) return;
  for (const ContextLease& held : context_leases_) {
    if (held.same_as(lease)) return;
  }
  context_leases_.push_back(lease);
}

void XmlParser::reset() {
  nodes_.reset();
  make_root();
  open_elements_.clear();
  open_by_name_.clear();
  open_same_below_.clear();
  context_leases_.clear();
  current_ = 0;
  state_ = 0;
  raw_ = false;
  line_ = 1;
  clear_status();
}

XmlNode& XmlParser::node(int32_t i) {
  if (!valid(i)) {
    raise_error(errors::parse_no_such_node);
    return nodes_.at(0);
  }
  return nodes_.at(i);
}

int32_t XmlParser::add_node(int32_t parent, int32_t kind, std::string_view bytes,
                            const String& like) {
  if (!valid(parent)) {
    raise_error(errors::parse_node_not_created);
    return -1;
  }
  int32_t index = nodes_.size();
  XmlNode* fresh = nodes_.append();
  if (fresh == nullptr) {
    raise_error(errors::storage_allocation);
    return -1;
  }
  fresh->name.set_text(bytes, like.encoding(), like.code_page());
  fresh->name.set_context(like.context());
  fresh->kind = kind;
  fresh->parent = parent;
  nodes_.at(parent).children.push(index);
  return index;
}

int32_t XmlParser::create_element(int32_t parent, const String& name, int32_t start, int32_t end) {
  int32_t index = add_node(parent, node_element, name.window_bytes(), name);
  if (index < 0) return -1;
  XmlNode& element = nodes_.at(index);
  element.source_start = start;
  element.source_end = end;
  element.source_line = line_;
  return index;
}

int32_t XmlParser::create_text(int32_t parent, const String& text) {
  int32_t index = add_node(parent, node_text, text.window_bytes(), text);
  if (index >= 0) nodes_.at(index).source_line = line_;
  return index;
}

int32_t XmlParser::create_comment(int32_t parent, const String& text) {
  int32_t index = add_node(parent, node_comment, text.window_bytes(), text);
  if (index >= 0) nodes_.at(index).source_line = line_;
  return index;
}

int32_t XmlParser::create_attribute(int32_t parent, const String& name) {
  int32_t index = add_node(parent, node_attribute, std::string_view(), name);
  if (index < 0) return -1;
  XmlNode& attribute = nodes_.at(index);
  attribute.attr_name.set_text(name.window_bytes(), name.encoding(), name.code_page());
  attribute.attr_name.set_context(name.context());
  attribute.source_line = line_;
  return index;
}

bool XmlParser::set_attribute_value(int32_t element, const String& value) {
  if (!valid(element)) {
    raise_error(errors::parse_node_not_created);
    return false;
  }
  const ChildList& children = nodes_.get(element).children;
  int32_t last = children.size() > 0 ? children.get(children.size() - 1) : -1;
  if (!valid(last) || nodes_.get(last).kind != node_attribute) {
    raise_error(errors::parse_node_not_created);
    return false;
  }
  XmlNode& attribute = nodes_.at(last);
  attribute.name.set_text(value.window_bytes(), value.encoding(), value.code_page());
  attribute.name.set_context(value.context());
  return true;
}

int32_t XmlParser::append_copy(int32_t parent, const XmlNode& record) {
  // `record` may live in this very table, which may move when it grows:
  // take what is needed before appending.
  NodeText name(record.name);
  NodeText attr_name(record.attr_name);
  XmlNode fields;
  fields.kind = record.kind;
  fields.closed = record.closed;
  fields.blank = record.blank;
  fields.index_slot = record.index_slot;
  fields.request_id = record.request_id;
  fields.source_start = record.source_start;
  fields.source_end = record.source_end;
  fields.source_line = record.source_line;
  int32_t index = add_node(parent, fields.kind, std::string_view(), String());
  if (index < 0) return -1;
  XmlNode& copy = nodes_.at(index);
  copy.name = std::move(name);
  copy.attr_name = std::move(attr_name);
  copy.closed = fields.closed;
  copy.blank = fields.blank;
  copy.index_slot = fields.index_slot;
  copy.request_id = fields.request_id;
  copy.source_start = fields.source_start;
  copy.source_end = fields.source_end;
  copy.source_line = fields.source_line;
  return index;
}

bool XmlParser::attribute(int32_t element, const String& name, String& out) {
  if (!valid(element)) {
    raise_error(errors::parse_no_such_node);
    return false;
  }
  for (int32_t child : nodes_.get(element).children) {
    const XmlNode& candidate = nodes_.get(child);
    if (candidate.kind == node_attribute && candidate.attr_name.compare(name, false, false) == 0) {
      candidate.name.copy_to(out);
      return true;
    }
  }
  return false;
}

bool XmlParser::attribute(int32_t element, const char* name, String& out) {
  return attribute(element, String(name), out);
}

int32_t XmlParser::first_element_child(int32_t i) {
  if (!valid(i)) {
    raise_error(errors::parse_no_such_node);
    return -1;
  }
  nodes_.at(i).iteration = -1;
  return next_element_child(i);
}

int32_t XmlParser::next_element_child(int32_t i) {
  if (!valid(i)) {
    raise_error(errors::parse_no_such_node);
    return -1;
  }
  XmlNode& parent = nodes_.at(i);
  const ChildList& children = parent.children;
  for (int32_t position = parent.iteration + 1; position < children.size(); ++position) {
    int32_t child = children.get(position);
    if (valid(child) && nodes_.get(child).kind == node_element) {
      parent.iteration = position;
      // A child met by a walk starts its own walk afresh, whatever an
      // earlier, abandoned walk left in it.
      nodes_.at(child).iteration = -1;
      return child;
    }
  }
  parent.iteration = -1;
  return -1;
}

int32_t XmlParser::next_element(int32_t root, int32_t from) {
  if (!valid(root) || !valid(from)) {
    raise_error(errors::parse_no_such_node);
    return -1;
  }
  int32_t at = from;
  int32_t found = nodes_.get(at).iteration == -1 ? first_element_child(at) : next_element_child(at);
  while (found == -1) {
    if (at == root) return -1;
    at = nodes_.get(at).parent;
    if (!valid(at)) return -1;
    found = next_element_child(at);
  }
  return found;
}

bool XmlParser::is_descendant(int32_t i, int32_t ancestor) const {
  if (i == 0 || !valid(i)) return false;
  // Parents always precede their children in the table, so the chain is
  // shorter than the table; the bound guards a damaged table.
  int32_t at = nodes_.get(i).parent;
  for (int32_t steps = 0; valid(at) && steps < nodes_.size(); ++steps) {
    if (at == ancestor) return true;
    at = nodes_.get(at).parent;
  }
  return false;
}

void XmlParser::unique_name(int32_t i, String& out) {
  out.clear();
  if (!valid(i) || nodes_.get(i).kind != node_element) return;
  nodes_.get(i).name.copy_to(out);
  int32_t at = i;
  for (int32_t steps = 0; steps < nodes_.size(); ++steps) {
    out.append_ascii("_");
    out.append_hex(static_cast<uint32_t>(at));
    out.append_ascii("_");
    at = nodes_.get(at).parent;
    if (at <= 0 || !valid(at) || nodes_.get(at).kind != node_element) break;
    String name = nodes_.get(at).name.str();
    if (name.encoding() != out.encoding() || name.code_page() != out.code_page()) {
      name.match_encoding(out);
    }
    out.append(name);
  }
  out.select_all();
}

bool XmlParser::remove_last_node() {
  int32_t last = nodes_.size() - 1;
  if (last <= 0 || nodes_.get(last).children.size() > 0) {
    raise_error(errors::parse_unknown);
    return false;
  }
  int32_t parent = nodes_.get(last).parent;
  if (!valid(parent)) {
    raise_error(errors::parse_unknown);
    return false;
  }
  ChildList& siblings = nodes_.at(parent).children;
  for (int32_t position = siblings.size() - 1; position >= 0; --position) {
    if (siblings.get(position) == last) {
      siblings.remove(position);
      nodes_.remove_last();
      return true;
    }
  }
  raise_error(errors::parse_unknown);
  return false;
}

bool XmlParser::mark_blank(int32_t i) {
  if (!valid(i)) {
    raise_error(errors::parse_no_such_node);
    return false;
  }
  // Post-order with an explicit stack: the depth of a page is the page's choice.
  struct Frame {
    int32_t node;
    int32_t next_child;
    bool blank;
  };
  std::vector<Frame> stack;
  stack.push_back({i, 0, true});
  bool result = false;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    XmlNode& current = nodes_.at(frame.node);
    bool done = true;
    switch (current.kind) {
      case node_text:
      case node_comment:
        frame.blank = current.name.is_blank();
        break;
      case node_attribute:
        frame.blank = false;
        break;
      case node_element:
      case node_root:
        if (frame.next_child < current.children.size()) {
          int32_t child = current.children.get(frame.next_child++);
          // Children come after their parent in the table; anything else
          // would be a damaged link and is not followed.
          if (valid(child) && child > frame.node) {
            stack.push_back({child, 0, true});
          }
          done = false;
        }
        break;
      default:
        frame.blank = false;
        break;
    }
    if (!done) continue;
    bool blank = frame.blank;
    current.blank = blank ? 1 : 0;
    stack.pop_back();
    if (stack.empty()) {
      result = blank;
    } else if (!blank) {
      stack.back().blank = false;
    }
  }
  return result;
}

}  // namespace wayfetch
