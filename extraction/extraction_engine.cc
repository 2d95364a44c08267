// Loading, the entry points of the walks, tickets and budgets.
#include "extraction/extraction_engine.h"

#include <utility>

#include "core/error_codes.h"
#include "extraction/safe_name.h"

namespace wayfetch {

using extraction::DataDocuments;
using extraction::ExtractionTemplate;

bool ExtractionEngine::start(const String& radix) {
  clear_status();
  stopped_ = false;
  tickets_.clear();
  last_address_.clear();
  registry_.reset(limits_.site_anchors);
  messages_ = 0;
  radix_ = radix.to_utf8();
  enews_name_ = extraction::last_component(radix);
  DataDocuments::Limits limits;
  limits.nodes = limits_.document_nodes;
  limits.bytes = limits_.document_bytes;
  limits.sections = limits_.sections;
  limits.held_nodes = limits_.held_nodes;
  limits.held_bytes = limits_.held_bytes;
  documents_.reset(radix_, limits);
  return true;
}

bool ExtractionEngine::loaded(ExtractionTemplate::Load result) {
  if (result == ExtractionTemplate::Load::unreadable) {
    raise_error(errors::extract_template_unreadable, -1, template_.context());
    stopped_ = true;
    return false;
  }
  if (result == ExtractionTemplate::Load::has_errors) {
    raise_error(errors::extract_template_errors, -1, template_.context());
    stopped_ = true;
    return false;
  }
  return true;
}

bool ExtractionEngine::load_template(const String& radix) {
  start(radix);
  String path(radix);
  path.append_ascii(".enews");
  path.select_all();
  return loaded(template_.load_file(path));
}

bool ExtractionEngine::load_template_text(const String& radix, TextScanner text) {
  start(radix);
  return loaded(template_.load_text(std::move(text)));
}

void ExtractionEngine::run_main_walk() {
  if (stopped_ || template_.size() == 0) return;
  documents_.start_main();
  walk_ = Walk();
  walk_.page.clear();
  walk_.out = {0, 0};
  walk(0, 0);
}

void ExtractionEngine::continue_follow(const DownloadRequest& task, const String& page,
                                       const String& page_address) {
  if (stopped_ || !task_live(task.ticket)) return;
  const int32_t follow = task.action_node;
  if (follow <= 0 || follow >= template_.nodes().node_count() || !documents_.valid(task.record)) {
    return;
  }
  const int32_t line = template_.nodes().get(follow).source_line;
  walk_ = Walk();
  walk_.page.assign(page);
  walk_.address = page_address;
  walk_.web_page = extraction::is_web_address(page_address);
  walk_.scope_end = walk_.page.length();
  walk_.out = {task.record, task.output_node};
  walk_.skip_node = follow;
  place_at_anchor(task.anchor, line);
  walk(follow, template_.scope_of(follow));
  if (!walk_.page_used && !stopped_) warning_at(warnings::follow_unused, line);
}

bool ExtractionEngine::task_live(int32_t ticket) const {
  return ticket >= 0 && ticket < static_cast<int32_t>(tickets_.size()) &&
         !tickets_[static_cast<std::size_t>(ticket)].detached;
}

void ExtractionEngine::task_done(int32_t ticket) {
  if (ticket < 0 || ticket >= static_cast<int32_t>(tickets_.size())) return;
  Ticket& entry = tickets_[static_cast<std::size_t>(ticket)];
  if (entry.done) return;
  entry.done = true;
  DataDocuments::Record& record = documents_.record(entry.record);
  if (record.pending > 0) --record.pending;
}

bool ExtractionEngine::downloads_pending() const {
  for (int32_t record = 0; record < documents_.record_count(); ++record) {
    if (documents_.record(record).pending > 0) return true;
  }
  return false;
}

void ExtractionEngine::abandon_pending() {
  for (Ticket& ticket : tickets_) ticket.done = true;
  for (int32_t record = 0; record < documents_.record_count(); ++record) {
    documents_.record(record).pending = 0;
  }
}

bool ExtractionEngine::spend_step(int32_t line) {
  if (stopped_) return false;
  if (++walk_.steps > limits_.walk_steps || walk_.work > limits_.page_work) {
    stop(line);
    return false;
  }
  return true;
}

bool ExtractionEngine::page_work_left(int32_t line) {
  if (stopped_) return false;
  if (walk_.work > limits_.page_work) {
    stop(line);
    return false;
  }
  return true;
}

bool ExtractionEngine::message_allowed() {
  if (messages_ >= limits_.messages) return false;
  ++messages_;
  return true;
}

void ExtractionEngine::error_at(int32_t code, int32_t line) {
  const bool was_silent = silent;
  silent = was_silent || !message_allowed();
  raise_error(code, line, template_.context());
  silent = was_silent;
}

void ExtractionEngine::warning_at(int32_t code, int32_t line) {
  const bool was_silent = silent;
  silent = was_silent || !message_allowed();
  raise_warning(code, line, template_.context());
  silent = was_silent;
}

void ExtractionEngine::stop(int32_t line) {
  if (stopped_) return;
  stopped_ = true;
  // Always logged, past the cap on records too: it ends the eNews.
  raise_error(errors::extract_engine_allocation, line, template_.context());
}

}  // namespace wayfetch
