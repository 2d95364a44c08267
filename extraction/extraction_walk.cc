// The walk over the template: visiting nodes in document order, closing
// iterations and sections, copying the model and running action lists.
#include <algorithm>

#include "core/error_codes.h"
#include "extraction/extraction_engine.h"
#include "extraction/words.h"

namespace wayfetch {

using extraction::Action;
using extraction::ActionElement;

void ExtractionEngine::walk(int32_t start_node, int32_t scope_node) {
  walk_.next = template_.position_of(start_node) + 1;
  while (!stopped_) {
    int32_t node = -1;
    if (walk_.next < template_.size()) {
      int32_t candidate = template_.node_at(walk_.next);
      if (template_.contains(scope_node, candidate)) node = candidate;
    }
    // Iterations and sections close when the walk meets a node after them,
    // and at the end of the walk as if it met one more: an iteration that is
    // the last thing in a followed page's scope still runs all its passes.
    if (close_left_scopes(node)) continue;
    if (node < 0) break;
    if (!spend_step(template_.nodes().get(node).source_line)) break;
    if (walk_.skip_node >= 0 && template_.inside(walk_.skip_node, node)) {
      // Nothing below the skip node opens or closes a scope: pass it whole.
      walk_.next = template_.end_of(walk_.skip_node);
      continue;
    }
    ++walk_.next;
    visit(node);
  }
  walk_.open.clear();
}

bool ExtractionEngine::close_left_scopes(int32_t node) {
  while (!walk_.open.empty()) {
    OpenScope& top = walk_.open.back();
    if (node >= 0 && template_.contains(top.element, node)) return false;
    if (top.is_section) {
      close_section(top);
    } else if (end_pass(top)) {
      walk_.next = template_.position_of(top.element);
      // A skip node set in the pass (a follow, a parameter element) lies in
      // the iterate element; the next pass walks its content afresh.
      walk_.skip_node = -1;
      return true;
    }
    walk_.open.pop_back();
  }
  return false;
}

bool ExtractionEngine::end_pass(OpenScope& frame) {
  ++frame.passes;
  if (frame.skipping && frame.passes >= frame.from) {
    frame.skipping = false;
    --walk_.skip_causes;
  }
  if (!frame.finished) {
    bool more = frame.stop_after < 0 || frame.passes < frame.stop_after;
    if (more && frame.passes >= limits_.passes) {
      warning_at(warnings::iteration_pass_limit, frame.line);
      more = false;
    }
    if (more) {
      frame.pass_start = snapshot();
      frame.pass_output_due = true;
      return true;
    }
  }
  if (frame.failed) {
    roll_back(frame.pass_start);
    if (frame.passes <= int64_t{frame.from} + 1) warning_at(warnings::iterate_nothing, frame.line);
  }
  if (frame.skipping) {
    frame.skipping = false;
    --walk_.skip_causes;
  }
  return false;
}

void ExtractionEngine::roll_back(const Snapshot& snapshot) {
  walk_.out = snapshot.out;
  documents_.remove_added_since(snapshot.out.record, snapshot.nodes);
  documents_.drop_sections_from(snapshot.sections);
  // Downloads asked for in the pass still come back, but nothing may use
  // them: their output was taken out with the pass.
  for (auto ticket = static_cast<std::size_t>(snapshot.tickets); ticket < tickets_.size();
       ++ticket) {
    tickets_[ticket].detached = true;
  }
}

void ExtractionEngine::close_section(const OpenScope& section) {
  walk_.out = section.saved;
  if (section.skipping) --walk_.skip_causes;
}

ExtractionEngine::Snapshot ExtractionEngine::snapshot() const {
  Snapshot at;
  at.out = walk_.out;
  at.nodes = documents_.node_count(walk_.out.record);
  at.sections = documents_.section_count();
  at.tickets = static_cast<int32_t>(tickets_.size());
  return at;
}

void ExtractionEngine::visit(int32_t node) {
  const XmlNode& record = template_.nodes().get(node);
  if (record.kind == node_root) return;
  if (record.kind != node_element) {
    if (skip_mode()) return;
    if (record.kind == node_attribute &&
        (extraction::equals_ascii(record.attr_name, "action") ||
         extraction::equals_ascii(record.attr_name, "var") ||
         extraction::equals_ascii(record.attr_name, "from") ||
         extraction::equals_ascii(record.attr_name, "max"))) {
      return;
    }
    copy_node(node);
    return;
  }
  const ActionElement* element = template_.action(node);
  if (element == nullptr) {
    if (!skip_mode()) copy_node(node);
    return;
  }
  run_list(node, *element);
}

void ExtractionEngine::run_list(int32_t node, const ActionElement& element) {
  const int32_t line = element.line;
  for (int32_t i = 0; i < element.unknown_names; ++i) warning_at(warnings::unknown_action, line);
  if (element.actions.empty()) {
    walk_.skip_node = node;
    return;
  }
  ListRun list;
  list.element = &element;
  list.start = snapshot();
  bool iterate_ran = false;
  bool skip_content = element.content_is_parameters;
  const auto count = static_cast<int32_t>(element.actions.size());
  for (int32_t i = 0; i < count && !stopped_; ++i) {
    const Action action = element.actions[static_cast<std::size_t>(i)];
    if (list.ended) {
      warning_at(warnings::ignored_action_aborted, line);
      break;
    }
    if (!spend_step(line)) break;
    const bool has_section = element.section_at >= 0;
    if (has_section && i < element.section_at && extraction::refused_before_section(action)) {
      // A refused erase has searched already: it moves the position, removes nothing.
      if (action == Action::erase) run_erase(list, false);
      warning_at(warnings::ignored_action_pairing, line);
      continue;
    }
    if (has_section && i > element.section_at && extraction::refused_after_section(action)) {
      warning_at(warnings::ignored_action_pairing, line);
      continue;
    }
    const bool address_found = list.url_ran && !list.url_failed;
    if (action == Action::write && !address_found) {
      if (has_section) warning_at(warnings::ignored_action_pairing, line);
      continue;
    }
    const bool after_failed_url = list.url_ran && list.url_failed;
    bool failed = false;
    switch (action) {
      case Action::follow:
        list.follow_met = true;
        list.ended = true;
        if (!skip_mode() && !after_failed_url) {
          documents_.record(walk_.out.record).reached = true;
          schedule(list, DownloadKind::follow, walk_.out.last);
        }
        break;
      case Action::get:
        if (skip_mode() || after_failed_url) break;
        documents_.record(walk_.out.record).reached = true;
        schedule(list, DownloadKind::get, -1);
        break;
      case Action::include: {
        if (skip_mode()) break;
        documents_.record(walk_.out.record).reached = true;
        int32_t output = output_element(list);
        if (after_failed_url || !schedule(list, DownloadKind::include, output)) {
          remove_output(list);
          list.ended = true;
        }
        break;
      }
      case Action::go_to:
        failed = !run_goto(list);
        break;
      case Action::goto_top:
        run_goto_top();
        break;
      case Action::goto_scope:
        failed = !run_goto_scope(list);
        break;
      case Action::erase:
        failed = !run_erase(list, true);
        break;
      case Action::extract:
        failed = !run_extract(list);
        break;
      case Action::extract_url:
        failed = !run_extract_url(list, node);
        break;
      case Action::write:
        if (!skip_mode()) run_write(list);
        break;
      case Action::iterate:
        // One frame per element: a second "iterate" in the list adds nothing.
        if (iterate_ran) break;
        iterate_ran = true;
        if (!run_iterate(list, node, i == element.output_at)) skip_content = true;
        break;
      case Action::section:
        run_section(list, node);
        break;
      case Action::download_site:
        if (skip_mode() || after_failed_url) break;
        documents_.record(walk_.out.record).reached = true;
        run_download_site(list);
        break;
      case Action::ignore:
        list.ended = true;
        break;
    }
    if (failed && extraction::can_end_iteration(action)) {
      end_iteration_by_failure(list, node);
      if (list.iteration_ended) return;
    }
  }
  if (list.follow_met) {
    // The rest of the follow's scope belongs to the walk over the page.
    walk_.skip_node = template_.scope_of(node);
  } else if (skip_content) {
    walk_.skip_node = node;
  }
}

// ---- output ----

int32_t ExtractionEngine::copy_parent(int32_t template_node) {
  XmlParser* document = documents_.document(walk_.out.record);
  if (document == nullptr) return -1;
  const std::vector<int32_t>& origin = documents_.record(walk_.out.record).origin;
  int32_t at = document->valid(walk_.out.last) ? walk_.out.last : 0;
  // Up from the last copy to the copy of the nearest template ancestor.
  while (at > 0) {
    int32_t source = static_cast<std::size_t>(at) < origin.size()
                         ? origin[static_cast<std::size_t>(at)]
                         : -1;
    if (source >= 0 && template_.inside(source, template_node)) break;
    at = document->get(at).parent;
  }
  return std::max(at, 0);
}

void ExtractionEngine::copy_node(int32_t node) {
  int32_t parent = copy_parent(node);
  if (parent < 0) return;
  int32_t copy =
      documents_.add_copy(walk_.out.record, parent, template_.nodes().get(node), node);
  if (copy >= 0) {
    walk_.out.last = copy;
  } else if (documents_.budget_spent()) {
    stop(template_.nodes().get(node).source_line);
  }
}

int32_t ExtractionEngine::output_element(ListRun& list) {
  if (list.output >= 0) return list.output;
  if (skip_mode()) return -1;
  const int32_t node = list.element->node;
  int32_t parent = copy_parent(node);
  if (parent < 0) return -1;
  int32_t element =
      documents_.add_element(walk_.out.record, parent, template_.nodes().get(node).name, node);
  if (element < 0) {
    if (documents_.budget_spent()) stop(list.element->line);
    return -1;
  }
  list.before_output = walk_.out.last;
  list.output = element;
  walk_.out.last = element;
  return element;
}

void ExtractionEngine::remove_output(ListRun& list) {
  if (list.output < 0) return;
  documents_.remove(walk_.out.record, list.output);
  walk_.out.last = list.before_output;
  list.output = -1;
}

void ExtractionEngine::append_text(ListRun& list, String text) {
  int32_t element = output_element(list);
  if (element < 0) return;
  if (documents_.add_text(walk_.out.record, element, in_template_encoding(std::move(text))) < 0) {
    if (documents_.budget_spent()) stop(list.element->line);
    return;
  }
  documents_.record(walk_.out.record).has_content = true;
}

String ExtractionEngine::in_template_encoding(String text) const {
  if (text.encoding() == template_.encoding() && text.code_page() == template_.code_page()) {
    return text;
  }
  // Characters the template's encoding cannot hold become "?"; a text that
  // cannot be converted at all keeps its bytes and the writer's own rules.
  text.silent = true;
  text.convert(template_.encoding(), template_.code_page());
  text.silent = false;
  text.clear_status();
  text.select_all();
  return text;
}

String ExtractionEngine::template_text(const char* ascii) const {
  return in_template_encoding(String(ascii));
}

}  // namespace wayfetch
