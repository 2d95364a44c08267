// XslParser: a rendering template, its compiled XSL requests, and their use.
//
// The template is an HTML page in which elements named "xsl:..." are
// instructions. The parser holds the template's node table (it is an
// XmlParser, parsed so that only "xsl:" tags build structure), the step table
// of every request of the template (rendering/request_step.h), one loop index
// slot per "index" attribute, one any-counter per step, and the picture
// target. The request language and the instructions are described in
// docs/rendering.md.
//
// The engine keeps two values in the template's nodes: an attribute's
// `request_id` (the request compiled from a "select" or "select-log" value;
// -1 none, -2 faulty) and an element's `index_slot` (the loop index slot of
// its "index" attribute, -1 none).
//
// Nothing here recurses on input: compilation, evaluation and execution keep
// their own stacks, so a request nested a million levels deep or a template
// nested as deeply costs memory in proportion, never native stack. Each
// execution of the document node (one rendering) gets a budget of request
// work, of executed template nodes and of output nodes and bytes (Limits);
// running out is reported as an error, so hostile templates and data end in
// bounded time. The data tree must not change while a rendering runs, and
// the step table may be read but must only be changed by compile_request.
//
// Failures are codes on this parser's ErrorState, logged with the template
// line and the template file: request compilation 25 and 30-34 (the request
// becomes faulty), 38 (an "index" attribute outside an element), evaluation
// 41 (a bracketed condition) and 42 (a damaged step, or the request budget
// spent: set again by every later request, logged once), execution 46 (no such node), 47 (the execution or output budget
// spent) and 48 (a picture address that cannot be made absolute); warnings
// 17 (an instruction without its request), 18 (an anchor for no node or for
// several) and 19 (an unknown instruction). Not thread-safe.
#ifndef WAYFETCH_RENDERING_XSL_PARSER_H
#define WAYFETCH_RENDERING_XSL_PARSER_H

#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/storage.h"
#include "core/string.h"
#include "rendering/picture_list.h"
#include "rendering/request_step.h"
#include "xml/xml_parser.h"

namespace wayfetch {

class XslParser : public XmlParser {
 public:
  // What one rendering may spend before it is stopped.
  struct Limits {
    int64_t request_work = int64_t{1} << 28;     // nodes visited by evaluations (then error 42)
    int64_t execution_steps = int64_t{1} << 25;  // template nodes executed (then error 47)
    int32_t output_nodes = 1 << 20;              // nodes in the output tree (then error 47)
    int64_t output_bytes = int64_t{1} << 26;     // bytes of their texts (then error 47)
  };

  XslParser();

  // ---- requests ----
  // Compiles the window of `text` into the step table and returns its request
  // id, or -2 after raising 25 (unusable text) or 30-34 (with `template_line`
  // and the text's context), every step of this compilation removed again.
  // "#name" subscripts look their loop index up from `owner_node`.
  int32_t compile_request(const String& text, int32_t template_line, int32_t owner_node);
  // The data nodes `request_id` selects from `context_node` (-1: none), in
  // document order without duplicates, into `out_nodes` (emptied first). A
  // top-level evaluation (any_key -1) never returns the document node and
  // advances the request's any-counter. Empty for -1, -2, a data tree or
  // output list that holds an error, or once the request budget is spent;
  // then each call sets error 42 again, but only the call that spent the
  // budget writes a log record (one per rendering).
  void evaluate_request(int32_t request_id, const XmlParser& data_tree, int32_t context_node,
                        Storage<int32_t>& out_nodes, int32_t any_key = -1,
                        int32_t axis_in = axis_children);
  // The loop index slot of the nearest node, from `owner_node` up to the
  // document node, with an "index" attribute equal to `name` (any case); -1.
  int32_t find_loop_index(const String& name, int32_t owner_node) const;

  // ---- the template ----
  // Reads the file, finds its encoding (from "xsl:stylesheet", else from HTML
  // meta elements), parses it into this table (emptied first) and prepares
  // it. False, with error 45, when the file cannot be read; otherwise the
  // status holds what parsing and compiling raised.
  bool load_template(const String& path);
  // Gives each "index" attribute a loop slot, compiles every "select" and
  // "select-log" value, and sets the any-counters to 0.
  void prepare_template();
  // Executes template node `node` with `data_node` of `data` as the current
  // node, appending what it outputs under `output`'s document node. Executing
  // the document node renders the whole template and starts fresh budgets.
  void execute(int32_t node, XmlParser& output, XmlParser& data, int32_t data_node);
  // The same over the data tree set with set_data_tree (none: an empty tree).
  void execute(int32_t node, XmlParser& output, int32_t data_node);
  // The data tree the three-argument execute renders from; it must outlive
  // the executions (nullptr: none).
  void set_data_tree(XmlParser* data) { data_tree_ = data; }

  // Pictures are reported to `list` (nullptr: not reported); the template's
  // own pictures are resolved against `template_address` (empty: not reported).
  void set_picture_target(PictureList* list, const String& template_address);

  // ---- tables ----
  // The steps; changing them by hand (tests do, to damage a table) can break
  // the guarantees above.
  Storage<RequestStep>& steps() { return steps_; }
  const Storage<RequestStep>& steps() const { return steps_; }
  int32_t loop_slot_count() const { return static_cast<int32_t>(loop_slots_.size()); }
  uint32_t loop_value(int32_t slot) const;
  void set_loop_value(int32_t slot, uint32_t value);
  uint32_t any_counter(int32_t request_id) const;
  // All any-counters to 0, one per step.
  void reset_any_counters();

  // ---- budgets and positions ----
  void set_limits(const Limits& limits) { limits_ = limits; }
  const Limits& limits() const { return limits_; }
  // Fresh budgets, and no remembered candidates (done by load_template and
  // by executing the document node).
  void restart_budgets();
  // The template position that evaluation errors quote.
  void set_position(int32_t line, int32_t context) {
    position_line_ = line;
    position_context_ = context;
  }
  // "[#random]" draws from this parser's own generator, never from the C
  // library's, whose seed belongs to the program as a whole.
  void seed_random(uint32_t seed) { random_.seed(seed); }

 private:
  friend class RequestCompiler;
  friend class RequestEvaluator;
  friend class TemplateRun;

  // find_loop_index, or while the template is prepared, its scope map.
  int32_t loop_slot_of(const String& name, int32_t owner_node) const;
  static std::string scope_key(const String& name);

  // Takes `amount` from the request budget; false (error 42 the first time)
  // when it is spent.
  bool spend_request_work(int64_t amount);

  // Candidate lists of element steps with many candidates, by context node,
  // step and axis: a loop that picks "item[#i]" from a long list finds its
  // candidates once, not once per pass. Used only while execute runs (the
  // data tree cannot change then): a caller that evaluates requests itself
  // may refill its tree between calls. Emptied with the budgets and for
  // another tree.
  bool caching_ = false;
  std::unordered_map<uint64_t, std::vector<int32_t>> candidate_cache_;
  int64_t cached_candidates_ = 0;
  const XmlParser* cached_tree_ = nullptr;
  int32_t cached_tree_nodes_ = 0;

  // While prepare_template runs: each loop index name in scope (lower case)
  // and the slots of its holders, innermost last.
  const std::unordered_map<std::string, std::vector<int32_t>>* scope_ = nullptr;

  Storage<RequestStep> steps_;
  std::vector<uint32_t> loop_slots_;
  std::vector<uint32_t> any_counters_;
  PictureIndex pictures_;
  XmlParser* data_tree_ = nullptr;
  String template_address_;
  Limits limits_;
  int64_t request_work_left_ = 0;
  bool request_work_spent_ = false;
  int32_t position_line_ = -1;
  int32_t position_context_ = -1;
  std::minstd_rand random_;
};

}  // namespace wayfetch

#endif
