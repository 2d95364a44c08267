// Executing template nodes without recursion.
#include "rendering/template_run.h"

#include <utility>

namespace wayfetch {
namespace {

enum Instruction {
  instruction_unknown,
  instruction_stylesheet,
  instruction_comment,
  instruction_copy,
  instruction_value_of,
  instruction_if_exist,
  instruction_if_not_exist,
  instruction_for_each,
  instruction_context,
  instruction_img,
  instruction_ahref,
  instruction_aname,
  instruction_date,
};

Instruction instruction_of(const String& name) {
  static constexpr std::pair<const char*, Instruction> names[] = {
      {"xsl:stylesheet", instruction_stylesheet},
      {"xsl:comment", instruction_comment},
      {"xsl:copy", instruction_copy},
      {"xsl:value-of", instruction_value_of},
      {"xsl:if-exist", instruction_if_exist},
      {"xsl:if-not-exist", instruction_if_not_exist},
      {"xsl:for-each", instruction_for_each},
      {"xsl:context", instruction_context},
      {"xsl:img", instruction_img},
      {"xsl:ahref", instruction_ahref},
      {"xsl:aname", instruction_aname},
      {"xsl:date", instruction_date},
  };
  for (const auto& [text, instruction] : names) {
    if (name.equals(text)) return instruction;
  }
  return instruction_unknown;
}

// The first element named "xsl:stylesheet", in document order.
int32_t find_stylesheet(const XmlParser& tmpl) {
  std::vector<std::pair<int32_t, int32_t>> walk;
  walk.emplace_back(0, 0);
  while (!walk.empty()) {
    auto& [at, position] = walk.back();
    const ChildList& children = tmpl.get(at).children;
    if (position >= children.size()) {
      walk.pop_back();
      continue;
    }
    int32_t child = children.get(position++);
    if (child <= at || !tmpl.valid(child) || tmpl.get(child).kind != node_element) continue;
    if (tmpl.get(child).name.equals("xsl:stylesheet")) return child;
    walk.emplace_back(child, 0);
  }
  return -1;
}

}  // namespace

void TemplateRun::run(int32_t node, int32_t current) {
  steps_left_ = tmpl_.limits().execution_steps;
  stopped_ = false;
  counted_nodes_ = 0;
  output_bytes_ = 0;
  frames_.clear();
  execute_node(node, current);
  while (!frames_.empty() && !stopped_) advance();
  frames_.clear();
}

void TemplateRun::advance() {
  Frame& frame = frames_.back();
  const ChildList& children = tmpl_.get(frame.element).children;
  if (frame.next_child < children.size()) {
    int32_t child = children.get(frame.next_child++);
    if (tmpl_.valid(child) && tmpl_.get(child).kind == node_attribute) return;
    execute_node(child, frame.plan.current);
    return;
  }
  Continuation& plan = frame.plan;
  if (plan.for_each) {
    // One pass done: the loop index counts it, and the next node follows.
    tmpl_.set_loop_value(plan.loop_slot, tmpl_.loop_value(plan.loop_slot) + 1);
    if (++frame.pass < plan.passes.size()) {
      plan.current = plan.passes[frame.pass];
      frame.next_child = 0;
      return;
    }
  }
  if (plan.has_closing) output_text(plan.closing);
  frames_.pop_back();
}

void TemplateRun::push(int32_t element, Continuation plan) {
  if (!plan.run_children) return;
  if (plan.for_each) {
    if (plan.passes.empty()) return;
    plan.current = plan.passes.front();
  }
  Frame frame;
  frame.element = element;
  frame.plan = std::move(plan);
  frames_.push_back(std::move(frame));
}

bool TemplateRun::count_step(int32_t node) {
  return charge(1, node);
}

bool TemplateRun::charge(int64_t steps, int32_t node) {
  if (stopped_) return false;
  steps_left_ -= steps;
  if (steps_left_ >= 0) return true;
  fail(errors::render_execution, node);
  stopped_ = true;
  return false;
}

void TemplateRun::check_output(int32_t node) {
  for (; counted_nodes_ < output_.node_count(); ++counted_nodes_) {
    const XmlNode& piece = output_.get(counted_nodes_);
    output_bytes_ += piece.name.length() + piece.attr_name.length();
  }
  if (stopped_) return;
  if (output_.node_count() <= tmpl_.limits().output_nodes &&
      output_bytes_ <= tmpl_.limits().output_bytes) {
    return;
  }
  fail(errors::render_execution, node);
  stopped_ = true;
}

void TemplateRun::execute_node(int32_t node, int32_t current) {
  if (stopped_ || !count_step(node)) return;
  if (!tmpl_.valid(node)) {
    tmpl_.raise_error(errors::render_not_executable);
    return;
  }
  const XmlNode& record = tmpl_.get(node);
  switch (record.kind) {
    case node_text:
    case node_comment:
      output_.import_subtree(tmpl_, node, 0);
      check_output(node);
      return;
    case node_root:
      execute_document(current);
      return;
    case node_element:
      break;
    default:
      fail(errors::render_not_executable, node);
      return;
  }
  Continuation next;
  switch (instruction_of(record.name)) {
    case instruction_stylesheet:
      // Only the first one runs, and only from the document node.
      if (node == stylesheet()) {
        next = Continuation::children(current);
      } else {
        warn(warnings::unknown_instruction, node);
      }
      break;
    case instruction_comment:
      break;
    case instruction_copy:
      next = run_copy(*this, node, current);
      break;
    case instruction_value_of:
      next = run_value_of(*this, node, current);
      break;
    case instruction_if_exist:
      next = run_if_exist(*this, node, current, true);
      break;
    case instruction_if_not_exist:
      next = run_if_exist(*this, node, current, false);
      break;
    case instruction_for_each:
      next = run_for_each(*this, node, current);
      break;
    case instruction_context:
      next = run_context(*this, node, current);
      break;
    case instruction_img:
      next = run_img(*this, node, current);
      break;
    case instruction_ahref:
      next = run_anchor(*this, node, current, true);
      break;
    case instruction_aname:
      next = run_anchor(*this, node, current, false);
      break;
    case instruction_date:
      next = run_date(*this, node, current);
      break;
    case instruction_unknown:
      warn(warnings::unknown_instruction, node);
      break;
  }
  check_output(node);
  if (!stopped_) push(node, std::move(next));
}

void TemplateRun::execute_document(int32_t current) {
  tmpl_.restart_budgets();
  if (tmpl_.pictures_.attached() && !tmpl_.template_address_.empty()) {
    process_template_pictures(tmpl_, tmpl_.template_address_, tmpl_.pictures_);
  }
  if (stylesheet() >= 0) push(stylesheet(), Continuation::children(current));
}

int32_t TemplateRun::stylesheet() {
  // Looked up once: a template may hold any number of misplaced ones.
  if (stylesheet_ == -2) stylesheet_ = find_stylesheet(tmpl_);
  return stylesheet_;
}

int32_t TemplateRun::request_of(int32_t element) const {
  for (int32_t child : tmpl_.get(element).children) {
    const XmlNode& attribute = tmpl_.get(child);
    if (attribute.kind == node_attribute && attribute.request_id != no_request) {
      return attribute.request_id;
    }
  }
  return no_request;
}

int32_t TemplateRun::request_named(int32_t element, const char* name, bool& found) const {
  found = false;
  for (int32_t child : tmpl_.get(element).children) {
    const XmlNode& attribute = tmpl_.get(child);
    if (attribute.kind == node_attribute && attribute.attr_name.equals(name)) {
      found = true;
      return attribute.request_id;
    }
  }
  return no_request;
}

void TemplateRun::select(int32_t request, int32_t element, int32_t current,
                         std::vector<int32_t>& out) {
  out.clear();
  const XmlNode& record = tmpl_.get(element);
  tmpl_.set_position(record.source_line, record.name.context());
  tmpl_.evaluate_request(request, data_, current, selection_);
  for (int32_t node : selection_) out.push_back(node);
}

void TemplateRun::select_or_current(int32_t request, int32_t element, int32_t current,
                                    std::vector<int32_t>& out) {
  if (request != no_request) {
    select(request, element, current, out);
    return;
  }
  out.clear();
  if (current > 0 && data_.valid(current)) out.push_back(current);
}

void TemplateRun::warn(int32_t code, int32_t node) {
  const XmlNode& record = tmpl_.get(node);
  tmpl_.raise_warning(code, record.source_line, record.name.context());
}

void TemplateRun::fail(int32_t code, int32_t node) {
  const XmlNode& record = tmpl_.get(node);
  tmpl_.raise_error(code, record.source_line, record.name.context());
}

void TemplateRun::output_text(const String& text) {
  output_.create_text(0, text);
}

void TemplateRun::output_copy(int32_t data_node, int32_t max_chars, int32_t& used) {
  if (max_chars < 0) {
    output_.import_subtree(data_, data_node, 0);
  } else {
    output_.import_subtree_limited(data_, data_node, max_chars, used, 0);
  }
}

void TemplateRun::output_record(const XmlNode& record) {
  output_.append_copy(0, record);
}

bool TemplateRun::output_room(int32_t node) {
  check_output(node);
  return !stopped_;
}

void XslParser::execute(int32_t node, XmlParser& output, XmlParser& data, int32_t data_node) {
  TemplateRun run(*this, output, data);
  caching_ = true;
  run.run(node, data_node);
  // The tree may change once the execution is over: forget its candidates.
  caching_ = false;
  candidate_cache_.clear();
  cached_candidates_ = 0;
  cached_tree_ = nullptr;
}

void XslParser::execute(int32_t node, XmlParser& output, int32_t data_node) {
  if (data_tree_ != nullptr) {
    execute(node, output, *data_tree_, data_node);
    return;
  }
  XmlParser empty;
  execute(node, output, empty, data_node);
}

}  // namespace wayfetch
