// The part that follow, get, include (and download-site) share: finding the
// address and handing the request to the sink; and entering a followed
// page at its anchor.
#include "core/error_codes.h"
#include "extraction/extraction_engine.h"
#include "extraction/safe_name.h"
#include "extraction/words.h"
#include "web/url.h"

namespace wayfetch {

using extraction::ActionElement;

bool ExtractionEngine::absolute_address(const String& address, String& absolute) const {
  return resolve(walk_.address, address, absolute);
}

bool ExtractionEngine::may_fetch(const String& absolute, bool from_page) const {
  if (!web_template_ && !(from_page && walk_.web_page)) return true;
  return extraction::is_web_address(absolute);
}

bool ExtractionEngine::request_address(const ListRun& list, DownloadKind kind,
                                       DownloadRequest& request) {
  const ActionElement& element = *list.element;
  String address;
  const bool from_page = list.url_ran && !list.url_failed;
  if (from_page) {
    address = list.url_found;
  } else if (element.url.present && !element.url.text.empty()) {
    address = element.url.text;
  } else {
    error_at(errors::extract_url_parameter_missing, element.line);
    return false;
  }
  if (kind == DownloadKind::follow || kind == DownloadKind::site_page) {
    anchor_of(address, request.anchor);
  }
  if (!absolute_address(address, request.address) || !may_fetch(request.address, from_page)) {
    error_at(errors::extract_bad_address, element.line);
    return false;
  }
  request.kind = kind;
  request.action_node = element.node;
  return true;
}

bool ExtractionEngine::schedule(ListRun& list, DownloadKind kind, int32_t output_node) {
  const ActionElement& element = *list.element;
  DownloadRequest request;
  if (!request_address(list, kind, request)) return false;
  request.output_node = output_node;
  if (kind == DownloadKind::get) {
    // An address found by extract-url brings no file name of its own.
    String name;
    if (element.save_as.present) {
      name = element.save_as.text;
    } else if (!(list.url_ran && !list.url_failed)) {
      name = extraction::last_component(element.url.text);
    }
    request.file_name = extraction::safe_file_name(name, enews_name_);
  }
  if (!hand_to_sink(request, element.line)) return false;
  if (kind == DownloadKind::get && !skip_mode()) append_text(list, request.file_name);
  return true;
}

bool ExtractionEngine::hand_to_sink(DownloadRequest& request, int32_t line) {
  request.ticket = static_cast<int32_t>(tickets_.size());
  request.record = walk_.out.record;
  request.section = documents_.record(walk_.out.record).section;
  request.line = line;
  SinkAnswer answer = sink_ != nullptr ? sink_->schedule(request) : SinkAnswer::no_connection;
  if (answer == SinkAnswer::no_connection) {
    error_at(errors::extract_no_connection, line);
    error_at(errors::extract_engine_unknown, line);
    return false;
  }
  if (answer != SinkAnswer::accepted) return false;
  tickets_.push_back({walk_.out.record, false, false});
  ++documents_.record(walk_.out.record).pending;
  return true;
}

void ExtractionEngine::place_at_anchor(const String& anchor, int32_t line) {
  if (anchor.empty()) return;
  extraction::PageTag tag;
  String name;
  int32_t at = 0;
  while (read_tag(at, tag)) {
    at = tag.after;
    if (extraction::equals_ascii(tags_.get(tag.element).name, "a") &&
        tags_.attribute(tag.element, "name", name) &&
        extraction::same_text_ignoring_case(name, anchor)) {
      walk_.position = tag.after;
      return;
    }
  }
  warning_at(warnings::anchor_not_found, line);
  walk_.position = 0;
}

}  // namespace wayfetch
