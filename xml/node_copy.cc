// Copying subtrees between node tables and collecting their texts.
#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

// The number of characters in a text's window.
int32_t char_count(const NodeText& text) {
  switch (text.encoding()) {
    case TextEncoding::Unicode:
      return text.window_length() / 2;
    case TextEncoding::Multibyte: {
      CharReader reader = text.reader();
      int32_t count = 0;
      while (!reader.at_end()) {
        reader.next();
        ++count;
      }
      return count;
    }
    default:
      return text.window_length();
  }
}

}  // namespace

void XmlParser::collect_texts(Storage<int32_t>& out, const XmlParser& source, int32_t i) {
  if (!source.valid(i)) return;
  // Pre-order with an explicit stack of (node, next child position).
  std::vector<std::pair<int32_t, int32_t>> stack;
  if (source.get(i).kind == node_text) out.push(i);
  stack.emplace_back(i, 0);
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const ChildList& children = source.get(node).children;
    if (next >= children.size()) {
      stack.pop_back();
      continue;
    }
    int32_t child = children.get(next++);
    if (!source.valid(child) || child <= node) continue;
    if (source.get(child).kind == node_text) out.push(child);
    if (source.get(child).children.size() > 0) stack.emplace_back(child, 0);
  }
}

int32_t XmlParser::import_subtree(const XmlParser& source, int32_t i, int32_t parent) {
  return import_nodes(source, i, parent, -1, nullptr);
}

int32_t XmlParser::import_subtree_limited(const XmlParser& source, int32_t i, int32_t max_chars,
                                          int32_t& used, int32_t parent) {
  return import_nodes(source, i, parent, max_chars, &used);
}

int32_t XmlParser::import_nodes(const XmlParser& source, int32_t i, int32_t parent,
                                int32_t max_chars, int32_t* used) {
  if (!source.valid(i) || !valid(parent)) return -1;
  if (&source == this) {
    // Copying a subtree into its own table: the walk would see the nodes it
    // appends. Copy it out first, then in.
    XmlParser scratch;
    int32_t top = scratch.import_nodes(source, i, 0, max_chars, used);
    if (top < 0) return -1;
    return import_nodes(scratch, top, parent, -1, nullptr);
  }
  for (const ContextLease& lease : source.context_leases_) hold_context(lease);
  bool limited = used != nullptr && max_chars != -1;

  // Copies one record under `under`; -1 when it is left out or fails.
  auto copy_one = [&](int32_t from, int32_t under) -> int32_t {
    const XmlNode& record = source.get(from);
    if (record.kind == node_text && limited) {
      int32_t room = max_chars - *used;
      if (room <= 0) return -1;
      int32_t length = char_count(record.name);
      if (length > room) {
        // Every field of the record but the text travels with the cut copy.
        String text = record.name.str();
        text.select_chars(0, room);
        XmlNode cut;
        cut.name = text;
        cut.kind = node_text;
        cut.closed = record.closed;
        cut.blank = record.blank;
        cut.index_slot = record.index_slot;
        cut.request_id = record.request_id;
        cut.source_start = record.source_start;
        cut.source_end = record.source_end;
        cut.source_line = record.source_line;
        *used += room;
        return append_copy(under, cut);
      }
      *used += length;
    }
    return append_copy(under, record);
  };

  int32_t top = copy_one(i, parent);
  if (top < 0) return -1;
  struct Frame {
    int32_t from;
    int32_t next_child;
    int32_t copy;
  };
  std::vector<Frame> stack;
  stack.push_back({i, 0, top});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const ChildList& children = source.get(frame.from).children;
    if (frame.next_child >= children.size()) {
      stack.pop_back();
      continue;
    }
    int32_t child = children.get(frame.next_child++);
    if (!source.valid(child) || child <= frame.from) continue;
    int32_t under = frame.copy;
    int32_t copy = copy_one(child, under);
    if (copy >= 0 && source.get(child).children.size() > 0) stack.push_back({child, 0, copy});
  }
  return top;
}

}  // namespace wayfetch
