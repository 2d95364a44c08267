// RequestStep: one record of a template's compiled XSL requests.
//
// A request such as "/rss/channel/item[#last]" is compiled once, when the
// template is loaded, into a chain of these records held in the XslParser's
// step table (rendering/xsl_parser.h). A request is named by the index of its
// first step, its request id; -1 is "no request" and -2 a request that failed
// to compile. Groups, unions and bracketed conditions refer to the requests
// they contain by id, so one table holds every request of the template.
#ifndef WAYFETCH_RENDERING_REQUEST_STEP_H
#define WAYFETCH_RENDERING_REQUEST_STEP_H

#include <cstdint>

#include "core/string.h"

namespace wayfetch {

// Request ids with a meaning of their own.
inline constexpr int32_t no_request = -1;
inline constexpr int32_t faulty_request = -2;

// How the next step of a chain is reached from this step's result.
enum StepAxis : int32_t {
  axis_descendants = 0,  // "//"
  axis_children = 1,     // "/"
  axis_none = 2,         // no separator followed
};

// What a step selects.
enum StepKind : int32_t {
  kind_parent = 0,       // ".."
  kind_self = 1,         // "."
  kind_root = 2,         // a leading "/"
  kind_any_element = 3,  // "*"
  kind_union = 4,        // "|": sub is the left request, right the right one
  kind_named = 5,        // an element name
  kind_group = 6,        // "(...)", or a step that received a second subscript
};

// Which of its candidates a step keeps.
enum StepSubscript : int32_t {
  subscript_index = 0,       // [N]
  subscript_random = 1,      // [#random]
  subscript_loop_index = 2,  // [#name]: the value of an enclosing loop index
  subscript_range = 3,       // [N..M]
  subscript_from = 4,        // [N..]
  subscript_last = 5,        // [#last]
  subscript_any = 6,         // [#any]: the request's own rotating counter
  subscript_predicate = 7,   // [request]: accepted, never evaluated
  subscript_all = 8,         // no subscript
};

struct RequestStep {
  // The same values under the names the request language's documentation
  // uses: RequestStep::Children, RequestStep::Group, RequestStep::Last, ...
  enum Axis : int32_t {
    Descendants = axis_descendants,
    Children = axis_children,
    NoAxis = axis_none,
  };
  enum Kind : int32_t {
    Parent = kind_parent,
    Self = kind_self,
    Root = kind_root,
    AnyElement = kind_any_element,
    Union = kind_union,
    Named = kind_named,
    Group = kind_group,
  };
  enum Subscript : int32_t {
    Index = subscript_index,
    Random = subscript_random,
    LoopIndex = subscript_loop_index,
    Range = subscript_range,
    From = subscript_from,
    Last = subscript_last,
    Any = subscript_any,
    Predicate = subscript_predicate,
    All = subscript_all,
  };

  int32_t axis = axis_none;
  int32_t kind = kind_named;
  int32_t subscript = subscript_all;
  String name;                     // kind_named: the element name (ASCII)
  int32_t sub = no_request;        // kind_group: the content; kind_union: the left operand
  int32_t right = no_request;      // kind_union: the right operand
  int32_t next = -1;               // the next step of the chain
  int32_t first = 0;               // N of [N], [N..], [N..M]
  int32_t last = 0;                // M of [N..M]
  int32_t predicate = no_request;  // subscript_predicate: the bracketed request
  int32_t loop_slot = -1;          // subscript_loop_index
  bool wraps = false;              // "[{...}]": positions wrap around the candidates
};

}  // namespace wayfetch

#endif
