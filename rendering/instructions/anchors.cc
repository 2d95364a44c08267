// "xsl:ahref" and "xsl:aname": a link to a data node's anchor, and the anchor.
//
// Both name the anchor after the data node's unique name, so a link and an
// anchor made for the same data node meet in the output.
#include <vector>

#include "rendering/template_run.h"

namespace wayfetch {

Continuation run_anchor(TemplateRun& run, int32_t element, int32_t current, bool link) {
  std::vector<int32_t> nodes;
  run.select_or_current(run.request_of(element), element, current, nodes);
  Continuation next = Continuation::children(current);
  if (nodes.size() != 1) run.warn(warnings::not_one_node, element);
  if (nodes.empty()) return next;

  String name;
  run.data().unique_name(nodes.front(), name);
  String open = empty_like(name);
  open.append_ascii(link ? "<a href=\"#" : "<a name=\"");
  open.append(name);
  open.append_ascii("\" >");
  open.select_all();
  run.output_text(open);

  next.has_closing = true;
  next.closing = empty_like(name);
  next.closing.append_ascii("</a>");
  next.closing.select_all();
  return next;
}

}  // namespace wayfetch
