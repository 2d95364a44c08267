// The states of the parse, one operation each.
#include <cstring>

#include "xml/parse_machine.h"

namespace wayfetch {

using namespace parse_detail;

void ParseMachine::step() {
  switch (state_) {
    case start:
      state_start();
      break;
    case after_lt:
      state_after_lt();
      break;
    case text_run:
      state_text();
      break;
    case recover:
      parser_.raw_ = false;
      state_ = xsl_mode() ? xsl_text_start : mode_ == 8 ? end : text_run;
      break;
    case skip_to_gt: {
      pos_ = find_char(pos_, '>');
      if (mode_ == 1) {
        state_ = xsl_text_start;
      } else if (mode_ == 5) {
        state_ = end;
      } else if (mode_ == 8) {
        state_ = parser_.raw_ ? text_run : end;
      } else {
        state_ = text_run;
      }
      pos_ = advance(pos_);
      break;
    }
    case attributes:
      state_attributes();
      break;
    case attribute_value:
      state_attribute_value();
      break;
    case after_attribute_name: {
      int32_t at = skip_blanks(pos_);
      if (char_at(at) == '=') {
        pos_ = advance(at);
        state_ = attribute_value;
      } else {
        pos_ = at;
        parser_.raise_warning(warnings::attribute_no_value, line(), context_);
        state_ = attributes;
      }
      break;
    }
    case end_tag:
      state_end_tag(false);
      break;
    case comment_body:
      state_comment_body();
      break;
    case after_bang: {
      int32_t at = skip_blanks(advance(pos_));
      int32_t second = advance(at);
      if (char_at(at) == '-' && !at_end(second) && char_at(second) == '-') {
        pos_ = advance(second);
        state_ = comment_body;
      } else {
        state_ = declaration;
      }
      break;
    }
    case declaration:
      state_declaration();
      break;
    case xsl_text:
      state_xsl_text();
      break;
    case xsl_after_lt:
      state_xsl_after_lt();
      break;
    case xsl_end_tag:
      state_end_tag(true);
      break;
    case xsl_text_start:
      mark_start_ = pos_;
      state_ = xsl_text;
      break;
    default:
      parser_.raise_error(errors::parse_unknown, line(), context_);
      state_ = end;
      break;
  }
}

void ParseMachine::state_start() {
  pos_ = skip_blanks(pos_);
  if (xsl_mode()) {
    state_ = xsl_text_start;
    return;
  }
  if (mode_ == 8) pos_ = find_char(pos_, '<');
  if (!at_end(pos_) && char_at(pos_) == '<') {
    tag_start_ = pos_;
    pos_ = advance(pos_);
    state_ = after_lt;
  } else {
    state_ = text_run;
  }
}

void ParseMachine::state_after_lt() {
  int32_t name = skip_blanks(pos_);
  int32_t name_stop = name_end(name);
  pos_ = name;
  if (name_stop == name) {
    uint16_t c = char_at(name);
    if (!at_end(name) && (c == '!' || c == '?')) {
      mark_start_ = name;
      state_ = after_bang;
    } else if (prolog_mode()) {
      state_ = end;
    } else if (mode_ == 8) {
      state_ = start;
    } else if (!at_end(name) && c == '/') {
      pos_ = advance(name);
      state_ = end_tag;
    } else {
      parser_.raise_error(errors::parse_bad_tag_name, line(), context_);
      text_from_tag_ = true;
      state_ = recover;
    }
    return;
  }
  if (prolog_mode()) {
    state_ = end;
    return;
  }
  new_element(name, name_stop);
  if ((mode_ == 2 &&
       (name_is(name, name_stop, "begin", false) || name_is(name, name_stop, "end", false) ||
        name_is(name, name_stop, "filter", false))) ||
      ((head_mode() || mode_ == 8) && name_is(name, name_stop, "script", false))) {
    parser_.raw_ = true;
  }
  pos_ = name_stop;
  state_ = attributes;
}

void ParseMachine::state_text() {
  mark_start_ = text_from_tag_ ? tag_start_ : pos_;
  text_from_tag_ = false;
  while (true) {
    pos_ = find_char(pos_, '<');
    if (at_end(pos_) || !parser_.raw_) break;
    // Raw content ends only at the end tag of the element that holds it.
    int32_t at = skip_blanks(advance(pos_));
    if (char_at(at) == '/' && !at_end(at)) {
      int32_t name = skip_blanks(advance(at));
      int32_t name_stop = name_end(name);
      const XmlNode& holder = parser_.nodes_.get(parser_.current_);
      if (name_stop > name && name_key(name, name_stop) == name_key(holder.name)) {
        parser_.raw_ = false;
        break;
      }
    }
    pos_ = advance(pos_);
  }
  mark_end_ = pos_;
  if (mode_ == 8) {
    state_ = end;
    return;
  }
  if (mark_end_ > mark_start_) new_node(node_text, mark_start_, mark_end_);
  if (at_end(pos_)) {
    state_ = end;
    return;
  }
  tag_start_ = pos_;
  pos_ = advance(pos_);
  state_ = after_lt;
}

void ParseMachine::state_attributes() {
  int32_t name = skip_blanks(pos_);
  int32_t name_stop = name_end(name);
  if (name_stop > name) {
    int32_t attribute = new_node(node_attribute, name, name);
    if (attribute >= 0) {
      XmlNode& node = parser_.nodes_.at(attribute);
      node.attr_name.set_text(bytes(name, name_stop), text_.encoding(), text_.code_page());
      node.attr_name.set_context(context_);
      node.source_start = -1;
      node.source_end = -1;
    }
    pos_ = name_stop;
    state_ = after_attribute_name;
    return;
  }
  pos_ = name;
  uint16_t c = char_at(name);
  if (c == '>') {
    int32_t after = advance(name);
    if (mode_ == 1) {
      state_ = xsl_text_start;
    } else if (mode_ == 5) {
      state_ = end;
    } else if (mode_ == 8) {
      if (parser_.valid(tag_element_)) parser_.nodes_.at(tag_element_).source_end = after;
      state_ = parser_.raw_ ? text_run : end;
    } else {
      state_ = text_run;
    }
    pos_ = after;
    return;
  }
  if (c == '/') {
    int32_t gt = skip_blanks(advance(name));
    if (char_at(gt) == '>' && !at_end(gt)) {
      int32_t closing = parser_.current_;
      if (closing > 0 && parser_.valid(closing)) {
        XmlNode& element = parser_.nodes_.at(closing);
        element.source_end = advance(gt);
        element.closed = 1;
        parser_.current_ = parser_.valid(element.parent) ? element.parent : 0;
      }
      pop_open();
      parser_.raw_ = false;
      pos_ = gt;  // the ">" ends the tag in this same state
      return;
    }
  }
  if (mode_ != 8) {
    parser_.raise_warning(warnings::bad_attribute_name, line(), context_);
    pos_ = advance(name);
  } else {
    parser_.raise_warning(warnings::tag_panic, line(), context_);
    pos_ = advance(name);
    state_ = end;
  }
}

void ParseMachine::state_attribute_value() {
  int32_t at = skip_blanks(pos_);
  uint16_t first = char_at(at);
  int32_t value_start = at;
  int32_t value_stop = at;
  int32_t resume = at;
  if (!at_end(at) && (first == '"' || first == '\'')) {
    value_start = advance(at);
    int32_t scan = value_start;
    if (single_byte()) {
      while (scan < end_ && data_[scan] != first && data_[scan] != '>') ++scan;
    } else {
      int32_t width = 0;
      while (true) {
        uint16_t c = char_at(scan, &width);
        if (width == 0 || c == first || c == '>') break;
        scan += width;
      }
    }
    if (at_end(scan)) {
      // A quoted value that runs to the end of the text selects nothing, and
      // the parse ends there: the rest of the text is the unfinished value,
      // not further attributes.
      parser_.raise_warning(warnings::attribute_no_value, line(), context_);
      pos_ = scan;
      state_ = attributes;
      return;
    }
    value_stop = scan;
    resume = value_start;
  } else {
    if (single_byte()) {
      while (value_stop < end_ && !ascii::is_blank(data_[value_stop]) && data_[value_stop] != '>') {
        ++value_stop;
      }
    } else {
      int32_t width = 0;
      while (true) {
        uint16_t c = char_at(value_stop, &width);
        if (width == 0 || ascii::is_blank(c) || c == '>') break;
        value_stop += width;
      }
    }
  }
  if (value_stop == value_start) {
    parser_.raise_warning(warnings::attribute_no_value, line(), context_);
    pos_ = resume;
    uint16_t c = char_at(pos_);
    if (!at_end(pos_) && (c == '"' || c == '\'')) pos_ = advance(pos_);
    state_ = attributes;
    return;
  }
  // The stored value ends at its first double quote.
  int32_t stored_stop = value_start;
  if (single_byte()) {
    const void* quote = std::memchr(data_ + value_start, '"',
                                    static_cast<std::size_t>(value_stop - value_start));
    stored_stop = quote == nullptr ? value_stop
                                   : static_cast<int32_t>(static_cast<const uint8_t*>(quote) - data_);
  } else {
    int32_t width = 0;
    while (stored_stop < value_stop) {
      if (char_at(stored_stop, &width) == '"') break;
      stored_stop += width;
    }
  }
  const ChildList& children = parser_.nodes_.get(parser_.current_).children;
  int32_t last = children.size() > 0 ? children.get(children.size() - 1) : -1;
  if (!parser_.valid(last) || parser_.nodes_.get(last).kind != node_attribute) {
    parser_.raise_error(errors::parse_node_not_created, line(), context_);
  } else {
    XmlNode& attribute = parser_.nodes_.at(last);
    attribute.name.set_text(bytes(value_start, stored_stop), text_.encoding(), text_.code_page());
    attribute.name.set_context(context_);
    attribute.source_start = value_start;
    attribute.source_end = value_stop;
    attribute.source_line = line_at(value_start);
    if (attribute.attr_name.equals("content") && attribute.name.equals("raw-text")) {
      parser_.raw_ = true;
    }
  }
  pos_ = value_stop;
  uint16_t c = char_at(pos_);
  if (!at_end(pos_) && (c == '"' || c == '\'')) pos_ = advance(pos_);
  state_ = attributes;
}

void ParseMachine::state_end_tag(bool xsl) {
  int32_t name = skip_blanks(pos_);
  int32_t name_stop = name_end(name);
  pos_ = name;
  if (xsl) {
    if (!name_is(name, name_stop, "xsl:", true)) {
      state_ = xsl_text;
      return;
    }
    emit_xsl_run(tag_start_);
  } else if (name_stop == name) {
    parser_.raise_error(errors::parse_bad_tag_name, line(), context_);
    text_from_tag_ = true;
    state_ = recover;
    return;
  }
  int32_t closed = close_by_name(name, name_stop);
  pos_ = name_stop;
  if (closed < 0) {
    parser_.raise_error(errors::parse_unknown_end_tag, line(), context_);
    state_ = recover;
    return;
  }
  if (head_mode() && name_is(name, name_stop, "head", false)) {
    state_ = end;
    return;
  }
  int32_t gt = skip_blanks(name_stop);
  if (!at_end(gt) && char_at(gt) == '>') {
    pos_ = advance(gt);
    parser_.nodes_.at(closed).source_end = pos_;
    state_ = xsl ? xsl_text_start : text_run;
  } else {
    pos_ = gt;
    parser_.raise_warning(warnings::no_closing_bracket, line(), context_);
    parser_.nodes_.at(closed).source_end = gt;
    state_ = skip_to_gt;
  }
}

void ParseMachine::state_comment_body() {
  int32_t at = pos_;
  while (true) {
    at = find_char(at, '-');
    if (at_end(at)) break;
    int32_t second = advance(at);
    int32_t third = advance(second);
    if (char_at(second) == '-' && char_at(third) == '>' && !at_end(third)) {
      mark_end_ = third;
      if (mode_ != 8) new_node(node_comment, mark_start_, mark_end_);
      pos_ = advance(third);
      state_ = mode_ == 8 ? start : text_run;
      return;
    }
    at = second;
  }
  pos_ = end_;
  parser_.raise_error(errors::parse_open_comment, line(), context_);
  mark_end_ = end_;
  if (mode_ != 8) new_node(node_comment, mark_start_, mark_end_);
  state_ = mode_ == 8 ? start : recover;
}

void ParseMachine::state_declaration() {
  int32_t gt = find_char(pos_, '>');
  if (at_end(gt)) {
    pos_ = end_;
    parser_.raise_error(errors::parse_open_comment, line(), context_);
    mark_end_ = end_;
    if (mode_ != 8) new_node(node_comment, mark_start_, mark_end_);
    state_ = mode_ == 8 ? start : recover;
    return;
  }
  mark_end_ = gt;
  if (mode_ != 8) new_node(node_comment, mark_start_, mark_end_);
  pos_ = advance(gt);
  state_ = prolog_mode() ? end : mode_ == 8 ? start : text_run;
}

void ParseMachine::state_xsl_text() {
  int32_t lt = find_char(pos_, '<');
  if (at_end(lt)) {
    pos_ = end_;
    mark_end_ = end_;
    emit_xsl_run(end_);
    state_ = end;
    return;
  }
  tag_start_ = lt;
  mark_end_ = lt;
  pos_ = advance(lt);
  state_ = xsl_after_lt;
}

void ParseMachine::state_xsl_after_lt() {
  int32_t name = skip_blanks(pos_);
  int32_t name_stop = name_end(name);
  pos_ = name;
  if (name_stop == name) {
    if (!at_end(name) && char_at(name) == '/') {
      pos_ = advance(name);
      state_ = xsl_end_tag;
    } else {
      state_ = xsl_text;
    }
    return;
  }
  if (!name_is(name, name_stop, "xsl:", true)) {
    state_ = xsl_text;
    return;
  }
  emit_xsl_run(tag_start_);
  new_element(name, name_stop);
  pos_ = name_stop;
  state_ = attributes;
}

}  // namespace wayfetch
