// A compact text form of a compiled request, so that tests compare whole
// step chains:
//   step      a name, "*", ".", "..", "^" (the document node), "''" (empty name)
//   group     (content)        union  (left | right)
//   subscript [3] [1..2] [1..] [#last] [#any] [#random] [#slot0] [?condition],
//             with braces inside when the positions wrap: [{5}]
//   chain     steps joined by "/", "//", or " " when no separator followed
#ifndef WAYFETCH_TESTS_RENDERING_REQUEST_TEXT_H
#define WAYFETCH_TESTS_RENDERING_REQUEST_TEXT_H

#include <string>

#include "rendering/xsl_parser.h"

namespace wayfetch::testing {

inline std::string request_text(const XslParser& parser, int32_t id, int depth = 0) {
  if (id == no_request) return "<none>";
  if (id == faulty_request) return "<faulty>";
  if (depth > 50) return "...";
  std::string out;
  for (int32_t at = id; at >= 0 && at < parser.steps().size();) {
    const RequestStep& s = parser.steps().get(at);
    switch (s.kind) {
      case kind_parent:
        out += "..";
        break;
      case kind_self:
        out += ".";
        break;
      case kind_root:
        out += "^";
        break;
      case kind_any_element:
        out += "*";
        break;
      case kind_named:
        out += s.name.empty() ? std::string("''") : s.name.to_utf8();
        break;
      case kind_group:
        out += "(" + request_text(parser, s.sub, depth + 1) + ")";
        break;
      case kind_union:
        out += "(" + request_text(parser, s.sub, depth + 1) + " | " +
               request_text(parser, s.right, depth + 1) + ")";
        break;
      default:
        out += "?kind";
        break;
    }
    std::string inner;
    switch (s.subscript) {
      case subscript_all:
        break;
      case subscript_index:
        inner = std::to_string(s.first);
        break;
      case subscript_range:
        inner = std::to_string(s.first) + ".." + std::to_string(s.last);
        break;
      case subscript_from:
        inner = std::to_string(s.first) + "..";
        break;
      case subscript_last:
        inner = "#last";
        break;
      case subscript_any:
        inner = "#any";
        break;
      case subscript_random:
        inner = "#random";
        break;
      case subscript_loop_index:
        inner = "#slot" + std::to_string(s.loop_slot);
        break;
      case subscript_predicate:
        inner = "?" + request_text(parser, s.predicate, depth + 1);
        break;
      default:
        inner = "?subscript";
        break;
    }
    if (s.subscript != subscript_all) out += s.wraps ? "[{" + inner + "}]" : "[" + inner + "]";
    if (s.next < 0) break;
    out += s.axis == axis_children ? "/" : s.axis == axis_descendants ? "//" : " ";
    at = s.next;
  }
  return out;
}

}  // namespace wayfetch::testing

#endif
