// XmlNode: one record of a parser's node table.
//
// A document is held as a flat table of these records addressed by index;
// parent and child links are indexes into the same table (-1 = none). The
// table belongs to an XmlParser (xml/xml_parser.h), which creates, links and
// writes the records. A record owns its two texts and its child list; it is
// 96 bytes, and a text node or attribute of up to 11 bytes allocates
// nothing more. Not thread-safe.
#ifndef WAYFETCH_XML_XML_NODE_H
#define WAYFETCH_XML_XML_NODE_H

#include <cstdint>

#include "xml/child_list.h"
#include "core/node_text.h"

namespace wayfetch {

// What a node is. The values are stored in `XmlNode::kind`.
enum NodeKind : int32_t {
  node_text = 0,
  node_attribute = 1,
  node_comment = 2,  // comment, declaration or processing instruction
  node_element = 3,
  node_root = 4,
};

struct XmlNode {
  // Element name; the text of a text node; a comment's text from its "!" or
  // "?" up to the closing ">" exclusive; an attribute's value.
  NodeText name;
  // An attribute's name; empty for every other kind.
  NodeText attr_name;
  // Child indexes in document order: attributes first as read, interleaved
  // with content children as they were parsed.
  ChildList children;
  int32_t parent = -1;
  int32_t kind = node_text;
  // The element's end tag (or "/>") was seen.
  uint8_t closed = 0;
  // Set by XmlParser::mark_blank when the content is only white space.
  uint8_t blank = 0;
  // Kept for the rendering engine: the loop index slot of an element and the
  // compiled request of an attribute. -1 until it sets them; copied with the node.
  int32_t index_slot = -1;
  int32_t request_id = -1;
  // Byte offsets in the parsed text. An element: its "<" and the end of its
  // end tag (the end of its name until a ">" of "/>", an end tag, or an end
  // tag that closed it implicitly moves it). Text, comments and attribute
  // values: the selected text.
  int32_t source_start = -1;
  int32_t source_end = -1;
  int32_t source_line = 0;
  // Position in `children` of the element iterators; -1 when not iterating.
  int32_t iteration = -1;
};

}  // namespace wayfetch

#endif
