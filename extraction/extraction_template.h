// ExtractionTemplate: an eNews's extraction template, loaded and indexed
// for the walk.
//
// The template is an XML document parsed in the extraction-template mode
// (the content of `begin`, `end` and `filter` elements is raw text). After
// the parse one empty text node is appended as the last child of the
// document node, so that a walk always meets one more node after the last
// element. Loading then indexes the node table once:
//   - document order: each node's position and the position just past its
//     subtree, so "is this node inside that element" is two comparisons and
//     nothing walks the tree recursively, however deep it is;
//   - every action element (an element with an `action` attribute): its
//     action list, its attribute parameters and element parameters, read
//     once, so iterations do not read them again on every pass.
// Unknown action names are counted here and reported by the walk each time
// it meets the element.
//
// Owns its node table. Not thread-safe: used by one engine on one thread.
#ifndef WAYFETCH_EXTRACTION_EXTRACTION_TEMPLATE_H
#define WAYFETCH_EXTRACTION_EXTRACTION_TEMPLATE_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/error_sink.h"
#include "core/string.h"
#include "core/text_scanner.h"
#include "extraction/action_names.h"
#include "xml/xml_parser.h"

namespace wayfetch::extraction {

// An attribute or element parameter: whether it was given, and its text.
struct Parameter {
  bool present = false;
  String text;
};

struct ActionElement {
  int32_t node = -1;
  int32_t line = 0;
  // The known actions in the order written; unknown names are only counted.
  std::vector<Action> actions;
  int32_t unknown_names = 0;
  // Position in `actions` of the first `section` (-1: none) and of the
  // output point, where the element's copy is created (-1: none).
  int32_t section_at = -1;
  int32_t output_at = -1;
  // The list holds an action other than `iterate` and `section`: the
  // element's content is then parameters, neither run nor copied.
  bool content_is_parameters = false;
  // The list holds `iterate` or `section`.
  bool opens_scope = false;

  // ---- attribute parameters ----
  bool case_sensitive = false;  // `case-sens` present and not "no"
  std::vector<Filter> filters;  // `html-filter`, known names in order
  Parameter save_as;
  bool unique = true;  // `mode` other than "standard"
  Parameter var;       // its first word
  int32_t from = 0;
  bool from_bad = false;  // `from` given without digits (error 66)
  int32_t max = -1;       // -1: no limit
  bool max_bad = false;   // `max` given without digits (error 67)
  int32_t max_levels = 3;
  bool get_pics = false;  // `get-pics` = "yes"

  // ---- element parameters ----
  Parameter url;          // first word
  Parameter begin;        // as written
  Parameter end;          // as written
  Parameter filter;       // first word
  Parameter tag;          // first word
  Parameter attr;         // first word
  Parameter restrict_to;  // as written
};

class ExtractionTemplate {
 public:
  enum class Load { loaded, unreadable, has_errors };

  ExtractionTemplate() = default;
  ExtractionTemplate(const ExtractionTemplate&) = delete;
  ExtractionTemplate& operator=(const ExtractionTemplate&) = delete;

  // Loads `path` (its name is registered in the log for later messages),
  // detects its encoding from the XML declaration and parses it. unreadable
  // when the file cannot be read; has_errors when the parse raised an error
  // (it is still indexed, but must not run).
  Load load_file(const String& path);
  // The same for a text already in memory; its context slot names it.
  Load load_text(TextScanner text);

  XmlParser& nodes() { return parser_; }
  const XmlParser& nodes() const { return parser_; }
  // The log slot naming the template file (-1: none).
  int32_t context() const { return context_; }
  TextEncoding encoding() const { return encoding_; }
  int32_t code_page() const { return code_page_; }

  // ---- document order ----
  int32_t size() const { return static_cast<int32_t>(preorder_.size()); }
  int32_t node_at(int32_t position) const { return preorder_[static_cast<std::size_t>(position)]; }
  int32_t position_of(int32_t node) const { return order_[static_cast<std::size_t>(node)]; }
  // The position just past the subtree of `node`.
  int32_t end_of(int32_t node) const { return end_[static_cast<std::size_t>(node)]; }
  // `node` is `ancestor` or lies below it.
  bool contains(int32_t ancestor, int32_t node) const {
    return position_of(node) >= position_of(ancestor) && position_of(node) < end_of(ancestor);
  }
  // `node` lies below `ancestor`.
  bool inside(int32_t ancestor, int32_t node) const {
    return position_of(node) > position_of(ancestor) && position_of(node) < end_of(ancestor);
  }

  // ---- action elements ----
  // The action element at `node`, or nullptr for any other node.
  const ActionElement* action(int32_t node) const;
  // The nearest element from `node` up through its ancestors whose list
  // holds `iterate` or `section`; the document node (0) when none does.
  int32_t scope_of(int32_t node) const { return scope_[static_cast<std::size_t>(node)]; }
  // The iteration set of the iterate element `element`: the first element,
  // from it through its descendants, whose list can end an iteration and,
  // when `var` is given, whose name is `var`. -1 when there is none.
  int32_t iteration_set(const ActionElement& element);
  // The elements from the root element down to `node`'s parent.
  std::vector<int32_t> element_ancestors(int32_t node) const;

 private:
  void index();
  void read_action_element(int32_t node, const String& list);
  bool attribute_value(int32_t element, const char* name, String& out) const;
  Parameter element_parameter(int32_t element, const char* name) const;

  XmlParser parser_;
  // The log slot naming the template file, held while the template lives.
  ContextLease lease_;
  int32_t context_ = -1;
  TextEncoding encoding_ = TextEncoding::SingleByte;
  int32_t code_page_ = -1;
  std::vector<int32_t> preorder_;
  std::vector<int32_t> order_;
  std::vector<int32_t> end_;
  std::vector<int32_t> scope_;
  std::vector<int32_t> action_index_;
  std::vector<ActionElement> actions_;
  // For iteration sets: the next position (at or after each one) holding an
  // element that can end an iteration, and such positions by folded name.
  std::vector<int32_t> next_set_;
  std::unordered_map<std::u16string, std::vector<int32_t>> sets_by_name_;
  bool sets_indexed_ = false;
};

}  // namespace wayfetch::extraction

#endif
