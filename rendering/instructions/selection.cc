// The instructions that run their children depending on a selection:
// "xsl:if-exist", "xsl:if-not-exist", "xsl:for-each" and "xsl:context".
#include <vector>

#include "rendering/template_run.h"

namespace wayfetch {
namespace {

// The instruction's nodes; false (warning 17) when it has no request.
bool required_selection(TemplateRun& run, int32_t element, int32_t current,
                        std::vector<int32_t>& nodes) {
  int32_t request = run.request_of(element);
  if (request == no_request) {
    run.warn(warnings::no_select, element);
    return false;
  }
  run.select(request, element, current, nodes);
  return true;
}

}  // namespace

Continuation run_if_exist(TemplateRun& run, int32_t element, int32_t current, bool wanted) {
  std::vector<int32_t> nodes;
  if (!required_selection(run, element, current, nodes)) return Continuation::none();
  if (nodes.empty() == wanted) return Continuation::none();
  return Continuation::children(current);
}

Continuation run_for_each(TemplateRun& run, int32_t element, int32_t current) {
  Continuation next;
  if (!required_selection(run, element, current, next.passes)) return next;
  next.run_children = true;
  next.for_each = true;
  next.loop_slot = run.tmpl().get(element).index_slot;
  run.tmpl().set_loop_value(next.loop_slot, 0);
  return next;
}

Continuation run_context(TemplateRun& run, int32_t element, int32_t current) {
  std::vector<int32_t> nodes;
  if (!required_selection(run, element, current, nodes) || nodes.empty()) {
    return Continuation::none();
  }
  return Continuation::children(nodes.front());
}

}  // namespace wayfetch
