// The actions that read and edit the current page: goto, goto-top,
// goto-scope, erase, extract with its filters, extract-url and write.
#include <algorithm>
#include <string_view>

#include "core/error_codes.h"
#include "core/text_scanner.h"
#include "extraction/extraction_engine.h"
#include "extraction/safe_name.h"
#include "extraction/words.h"
#include "web/url.h"

namespace wayfetch {

using extraction::ActionElement;
using extraction::Filter;
using extraction::Match;
using extraction::PageTag;

namespace {

// The node table of single tags grows with every tag read; it is emptied
// when it holds this many nodes.
constexpr int32_t tag_table_nodes = 4096;

// The value without one quote character at each end.
String without_quotes(const String& value) {
  String text(value);
  int32_t start = text.window_start();
  int32_t end = text.window_end();
  CharReader reader = CharReader::window_of(text);
  if (!reader.at_end()) {
    uint16_t first = reader.next();
    if (first == '"' || first == '\'') start = reader.position;
  }
  // A quote byte is never the trail byte of a double-byte character, so
  // the last unit (one byte, or two for UTF-16) can be tested on its own.
  const int32_t width = text.encoding() == TextEncoding::Unicode ? 2 : 1;
  if (end - width >= start) {
    CharReader last{text.data(), end - width, end, text.encoding(), text.code_page()};
    uint16_t c = last.next();
    if (c == '"' || c == '\'') end -= width;
  }
  return extraction::span_text(text, {start, end});
}

}  // namespace

int32_t ExtractionEngine::effective_start() const {
  return walk_.position < 0 || walk_.position < walk_.scope_start ? walk_.scope_start
                                                                  : walk_.position;
}

bool ExtractionEngine::markers_given(const ListRun& list) {
  const ActionElement& element = *list.element;
  if (!element.begin.present) error_at(errors::extract_begin_missing, element.line);
  if (!element.end.present) error_at(errors::extract_end_missing, element.line);
  return element.begin.present && element.end.present;
}

bool ExtractionEngine::find(const String& marker, int32_t from, int32_t last_start,
                            bool case_sensitive, Match& match) {
  return walk_.page.find(marker, from, last_start, case_sensitive, match, walk_.work);
}

bool ExtractionEngine::read_tag(int32_t from, PageTag& tag) {
  if (walk_.work > limits_.page_work) return false;
  if (tags_.node_count() > tag_table_nodes) tags_.reset();
  return walk_.page.read_tag(tags_, from, tag, walk_.work);
}

void ExtractionEngine::shift_after_edit(int32_t start, int32_t end, int32_t new_length) {
  // Offsets after the edited range move with the text after it; offsets
  // inside it stay within what replaced it. So the scope keeps covering the
  // same text, and nothing points past the page.
  const int32_t delta = new_length - (end - start);
  auto shift = [&](int32_t& offset) {
    if (offset < 0) return;
    if (offset >= end) {
      offset += delta;
    } else if (offset > start) {
      offset = std::min(offset, start + new_length);
    }
    offset = std::clamp(offset, 0, walk_.page.length());
  };
  shift(walk_.scope_start);
  shift(walk_.scope_end);
  shift(walk_.position);
}

bool ExtractionEngine::run_goto(const ListRun& list) {
  const ActionElement& element = *list.element;
  if (!element.begin.present) {
    error_at(errors::extract_begin_missing, element.line);
    return false;
  }
  const int32_t from = effective_start();
  if (from >= walk_.scope_end) return false;
  Match match;
  if (!find(element.begin.text, from, walk_.scope_end, element.case_sensitive, match)) {
    return false;
  }
  walk_.position = match.end;
  return true;
}

void ExtractionEngine::run_goto_top() {
  walk_.scope_start = 0;
  walk_.scope_end = walk_.page.length();
  walk_.position = 0;
}

bool ExtractionEngine::run_goto_scope(const ListRun& list) {
  const ActionElement& element = *list.element;
  if (!markers_given(list)) return false;
  const int32_t from = walk_.position < 0 ? walk_.scope_start : walk_.position;
  const int32_t whole = walk_.page.length();
  Match begin;
  Match end;
  if (!find(element.begin.text, from, whole, element.case_sensitive, begin) ||
      !find(element.end.text, begin.end, whole, element.case_sensitive, end)) {
    return false;
  }
  walk_.scope_start = begin.end;
  walk_.scope_end = end.start;
  walk_.position = begin.end;
  return true;
}

bool ExtractionEngine::run_erase(const ListRun& list, bool remove) {
  const ActionElement& element = *list.element;
  if (!markers_given(list)) return false;
  const int32_t from = walk_.position < 0 ? walk_.scope_start : walk_.position;
  Match begin;
  Match end;
  if (!find(element.begin.text, from, walk_.scope_end, element.case_sensitive, begin) ||
      !find(element.end.text, begin.end, walk_.scope_end, element.case_sensitive, end)) {
    return false;
  }
  walk_.position = begin.start;
  if (remove && !skip_mode()) {
    walk_.page.erase(begin.start, end.end);
    shift_after_edit(begin.start, end.end, 0);
  }
  return true;
}

bool ExtractionEngine::run_extract(ListRun& list) {
  const ActionElement& element = *list.element;
  bool usable = markers_given(list);
  if (walk_.page.empty()) {
    error_at(errors::extract_no_page, element.line);
    usable = false;
  }
  if (walk_.scope_start > walk_.page.length() || walk_.scope_end > walk_.page.length()) {
    error_at(errors::extract_wrong_selector, element.line);
    usable = false;
  }
  if (!usable) return false;
  const int32_t from = effective_start();
  if (from >= walk_.scope_end) return false;
  Match begin;
  Match end;
  if (!find(element.begin.text, from, walk_.scope_end, element.case_sensitive, begin) ||
      !find(element.end.text, begin.end, walk_.scope_end, element.case_sensitive, end)) {
    return false;
  }
  int32_t start = begin.end;
  int32_t stop = end.start;
  walk_.position = end.start;

  String plain;
  bool have_plain = false;
  for (Filter filter : element.filters) {
    switch (filter) {
      case Filter::first_text:
        first_text(start, stop);
        break;
      case Filter::no_tags: {
        TextScanner range(walk_.page.copy(start, stop));
        range.select_all();
        String stripped;
        range.strip_tags(stripped);
        if (stripped.empty()) {
          stop = start;
        } else {
          plain = stripped;
          have_plain = true;
        }
        break;
      }
      case Filter::get_pics:
        get_pics(list, start, stop);
        break;
    }
  }
  walk_.page_used = true;
  if (!skip_mode()) {
    int32_t output = output_element(list);
    if (output >= 0) {
      documents_.add_attribute(walk_.out.record, output, template_text("content"),
                               template_text("raw-text"));
      append_text(list, have_plain ? plain : walk_.page.copy(start, stop));
    }
  }
  return true;
}

void ExtractionEngine::first_text(int32_t& start, int32_t& end) {
  String range = walk_.page.copy(start, end);
  CharReader reader = CharReader::window_of(range);
  bool in_tag = false;
  bool text_met = false;
  int32_t keep_start = reader.position;
  int32_t keep_end = reader.end;
  while (!reader.at_end()) {
    const int32_t at = reader.position;
    const uint16_t c = reader.next();
    if (text_met) {
      if (c == '<') {
        keep_end = at;
        break;
      }
    } else if (c == '<') {
      in_tag = true;
    } else if (c == '>') {
      in_tag = false;
      keep_start = reader.position;
    } else if (!in_tag && !ascii::is_blank(c)) {
      text_met = true;
    }
  }
  const int32_t origin = start;
  start = origin + keep_start;
  end = origin + std::max(keep_start, keep_end);
}

void ExtractionEngine::get_pics(const ListRun& list, int32_t start, int32_t& end) {
  const ActionElement& element = *list.element;
  int32_t at = start;
  PageTag tag;
  while (at < end && read_tag(at, tag)) {
    if (tag.start >= end) break;
    at = tag.after;
    if (!extraction::equals_ascii(tags_.get(tag.element).name, "img")) continue;
    int32_t source = -1;
    for (int32_t child : tags_.get(tag.element).children) {
      const XmlNode& attribute = tags_.get(child);
      if (attribute.kind == node_attribute && extraction::equals_ascii(attribute.attr_name, "src")) {
        source = child;
        break;
      }
    }
    if (source < 0) continue;
    const XmlNode& attribute = tags_.get(source);
    const int32_t value_start = walk_.page.page_offset(attribute.source_start);
    const int32_t value_end = walk_.page.page_offset(attribute.source_end);
    if (value_start < start || value_end > end || value_end < value_start) continue;
    String address = extraction::trimmed(attribute.name);
    if (address.empty()) continue;
    // The page gets the very name the picture will be saved under.
    String local = extraction::safe_file_name(extraction::last_component(address), enews_name_);
    std::string_view bytes = local.window_bytes();
    walk_.page.replace(value_start, value_end, bytes);
    const int32_t new_length = static_cast<int32_t>(bytes.size());
    const int32_t delta = new_length - (value_end - value_start);
    end += delta;
    at += delta;
    shift_after_edit(value_start, value_end, new_length);

    DownloadRequest request;
    if (!absolute_address(address, request.address) || !may_fetch(request.address, true)) {
      error_at(errors::extract_bad_address, element.line);
      return;
    }
    request.kind = DownloadKind::get;
    request.file_name = local;
    request.action_node = element.node;
    if (!hand_to_sink(request, element.line)) return;
  }
}

bool ExtractionEngine::run_extract_url(ListRun& list, int32_t node) {
  const ActionElement& element = *list.element;
  list.url_ran = true;
  list.url_failed = true;
  const String tag_name =
      element.tag.present && !element.tag.text.empty() ? element.tag.text : String("a");
  const String attribute_name =
      element.attr.present && !element.attr.text.empty() ? element.attr.text : String("href");
  const bool filtered = element.filter.present && !element.filter.text.empty();
  const int32_t saved = walk_.position;
  int32_t at = effective_start();
  if (at < walk_.scope_end) {
    PageTag tag;
    String value;
    while (read_tag(at, tag) && tag.after < walk_.scope_end) {
      at = tag.after;
      if (!extraction::same_text_ignoring_case(tags_.get(tag.element).name, tag_name) ||
          !tags_.attribute(tag.element, attribute_name, value)) {
        continue;
      }
      if (filtered) {
        // The comparison costs the value's length for each character of the filter.
        walk_.work += int64_t{value.window_length()} * element.filter.text.window_length();
        if (!extraction::contains_text(value, element.filter.text, element.case_sensitive)) continue;
      }
      String candidate = without_quotes(value);
      if (extraction::is_white_text(candidate)) continue;
      if (element.unique) {
        auto last = last_address_.find(node);
        if (last != last_address_.end() &&
            extraction::same_text_ignoring_case(last->second, candidate)) {
          continue;
        }
        last_address_[node] = candidate;
      }
      walk_.position = at;
      list.url_failed = false;
      list.url_found = candidate;
      walk_.page_used = true;
      return true;
    }
  }
  walk_.position = saved;
  if (element.unique) last_address_.erase(node);
  return false;
}

void ExtractionEngine::run_write(ListRun& list) {
  String absolute;
  if (!absolute_address(list.url_found, absolute)) return;
  append_text(list, absolute);
}

}  // namespace wayfetch
