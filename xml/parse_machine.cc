// Characters, lines, the element stack and the course of one parse.
#include "xml/parse_machine.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace wayfetch {

using namespace parse_detail;

ParseMachine::ParseMachine(XmlParser& parser, TextScanner& text)
    : parser_(parser),
      text_(text),
      data_(text.data()),
      length_(text.length()),
      end_(text.length()),
      unicode_(text.encoding() == TextEncoding::Unicode),
      mode_(static_cast<int32_t>(parser.mode())),
      context_(text.context()) {
  pos_ = std::clamp(text.cursor(), 0, length_);
  if (data_ == nullptr) end_ = 0;
  if (unicode_) end_ = pos_ + ((length_ - pos_) & ~1);
  if (text.encoding() == TextEncoding::Multibyte) {
    for (int b = 0; b < 256; ++b) {
      lead_[static_cast<std::size_t>(b)] =
          is_double_byte_lead(text.code_page(), static_cast<uint8_t>(b));
      double_byte_ = double_byte_ || lead_[static_cast<std::size_t>(b)];
    }
  }
  line_origin_ = pos_;
  line_counted_to_ = pos_;
}

int32_t ParseMachine::skip_blanks(int32_t pos) const {
  int32_t width = 0;
  while (true) {
    uint16_t c = char_at(pos, &width);
    if (width == 0 || !ascii::is_blank(c)) return pos;
    pos += width;
  }
}

int32_t ParseMachine::name_end(int32_t pos) const {
  int32_t width = 0;
  uint16_t c = char_at(pos, &width);
  if (width == 0 || !ascii::is_name_start(c)) return pos;
  pos += width;
  while (true) {
    c = char_at(pos, &width);
    if (width == 0 || !ascii::is_name_char(c)) return pos;
    pos += width;
  }
}

int32_t ParseMachine::find_char(int32_t pos, uint8_t target) const {
  if (pos >= end_) return end_;
  if (!unicode_ && !double_byte_) {
    // Single bytes: every byte is a character.
    const void* hit = std::memchr(data_ + pos, target, static_cast<std::size_t>(end_ - pos));
    return hit != nullptr ? static_cast<int32_t>(static_cast<const uint8_t*>(hit) - data_) : end_;
  }
  int32_t width = 0;
  while (true) {
    uint16_t c = char_at(pos, &width);
    if (width == 0 || c == target) return pos;
    pos += width;
  }
}

bool ParseMachine::name_is(int32_t start, int32_t stop, std::string_view word, bool prefix) const {
  std::size_t step = unicode_ ? 2 : 1;
  std::size_t count = static_cast<std::size_t>(stop - start) / step;
  if (prefix ? count < word.size() : count != word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    std::size_t at = static_cast<std::size_t>(start) + k * step;
    if (unicode_ && data_[at + 1] != 0) return false;
    if (ascii::fold(data_[at]) != ascii::fold(static_cast<uint8_t>(word[k]))) return false;
  }
  return true;
}

std::string ParseMachine::name_key(int32_t start, int32_t stop) const {
  std::string key;
  if (unicode_) {
    for (int32_t at = start; at + 1 < stop; at += 2) {
      key.push_back(static_cast<char>(ascii::fold(data_[at])));
      if (data_[at + 1] != 0) key.push_back(static_cast<char>(data_[at + 1]));
    }
  } else {
    for (int32_t at = start; at < stop; ++at)
      key.push_back(static_cast<char>(ascii::fold(data_[at])));
  }
  return key;
}

std::string ParseMachine::name_key(const NodeText& name) const {
  std::string_view view = name.window_bytes();
  std::string key;
  if (name.encoding() == TextEncoding::Unicode) {
    for (std::size_t at = 0; at + 1 < view.size(); at += 2) {
      key.push_back(static_cast<char>(ascii::fold(static_cast<uint8_t>(view[at]))));
      if (view[at + 1] != 0) key.push_back(view[at + 1]);
    }
  } else {
    for (char c : view) key.push_back(static_cast<char>(ascii::fold(static_cast<uint8_t>(c))));
  }
  return key;
}

int32_t ParseMachine::line_at(int32_t pos) {
  int32_t step = unicode_ ? 2 : 1;
  int32_t limit = std::min(pos + step, end_);
  if (limit < line_origin_) limit = line_origin_;
  if (unicode_) limit = line_origin_ + ((limit - line_origin_) & ~1);
  auto count = [&](int32_t from, int32_t to) {
    int32_t feeds = 0;
    if (unicode_) {
      for (int32_t at = from; at < to; at += 2) {
        if (data_[at] == '\n' && data_[at + 1] == 0) ++feeds;
      }
    } else {
      const uint8_t* at = data_ + from;
      const uint8_t* stop = data_ + to;
      while (at < stop) {
        const void* hit = std::memchr(at, '\n', static_cast<std::size_t>(stop - at));
        if (hit == nullptr) break;
        ++feeds;
        at = static_cast<const uint8_t*>(hit) + 1;
      }
    }
    return feeds;
  };
  if (limit >= line_counted_to_) {
    line_feeds_ += count(line_counted_to_, limit);
  } else {
    line_feeds_ -= count(limit, line_counted_to_);
  }
  line_counted_to_ = limit;
  parser_.line_ = 1 + line_feeds_;
  return parser_.line_;
}

int32_t ParseMachine::new_node(int32_t kind, int32_t start, int32_t stop) {
  int32_t index = parser_.add_node(parser_.current_, kind, bytes(start, stop), text_);
  if (index < 0) return -1;
  XmlNode& node = parser_.nodes_.at(index);
  node.source_start = start;
  node.source_end = stop;
  node.source_line = line();
  return index;
}

int32_t ParseMachine::new_element(int32_t name_start_pos, int32_t name_stop) {
  int32_t element = new_node(node_element, name_start_pos, name_stop);
  tag_element_ = element;
  if (element < 0) return -1;
  // An element spans from its "<"; its end is the end of its name until a
  // ">" of "/>" or its end tag moves it.
  parser_.nodes_.at(element).source_start = tag_start_;
  push_open(element, name_start_pos, name_stop);
  parser_.current_ = element;
  return element;
}

void ParseMachine::push_open(int32_t element, int32_t name_start_pos, int32_t name_stop) {
  Storage<int32_t>& stack = parser_.open_elements_;
  int32_t position = stack.top() - 1;
  stack.push(element);
  if (stack.top() - 1 == position) return;  // the stack could not grow
  std::string key = name_key(name_start_pos, name_stop);
  auto [it, inserted] = parser_.open_by_name_.try_emplace(std::move(key), position);
  parser_.open_same_below_.push_back(inserted ? -1 : it->second);
  it->second = position;
}

void ParseMachine::pop_open() {
  Storage<int32_t>& stack = parser_.open_elements_;
  if (stack.top() <= 1) {
    // Not met by the parser itself: a "/>" always closes the element its
    // start tag just pushed.
    parser_.raise_warning(warnings::empty_stack, line(), context_);
    return;
  }
  int32_t position = stack.top() - 2;
  int32_t element = stack.pop();
  if (!parser_.open_same_below_.empty()) {
    int32_t below = parser_.open_same_below_.back();
    parser_.open_same_below_.pop_back();
    auto it = parser_.open_by_name_.find(name_key(parser_.nodes_.get(element).name));
    if (it != parser_.open_by_name_.end() && it->second == position) {
      if (below < 0) {
        parser_.open_by_name_.erase(it);
      } else {
        it->second = below;
      }
    }
  }
}

int32_t ParseMachine::close_by_name(int32_t start, int32_t stop) {
  Storage<int32_t>& stack = parser_.open_elements_;
  NodeStore& nodes = parser_.nodes_;
  if (stack.top() <= 1) return -1;
  int32_t top = stack.top() - 2;
  int32_t last = stack.get(top);
  std::string key = name_key(start, stop);
  if (name_key(nodes.get(last).name) == key) {
    nodes.at(last).closed = 1;
    parser_.current_ = nodes.get(last).parent;
    pop_open();
    return last;
  }
  parser_.raise_warning(warnings::unclosed_above, line(), context_);
  auto found = parser_.open_by_name_.find(key);
  if (found == parser_.open_by_name_.end()) return -1;
  int32_t k = found->second;
  int32_t target = stack.get(k);
  // Everything opened above the element becomes its direct child, in stack
  // order, still unclosed, ending where this end tag begins.
  for (int32_t j = k + 1; j <= top; ++j) {
    int32_t moved = stack.get(j);
    int32_t old_parent = nodes.get(moved).parent;
    if (parser_.valid(old_parent)) {
      ChildList& siblings = nodes.at(old_parent).children;
      for (int32_t p = siblings.size() - 1; p >= 0; --p) {
        if (siblings.get(p) == moved) {
          siblings.remove(p);
          break;
        }
      }
    }
    nodes.at(target).children.push(moved);
    XmlNode& node = nodes.at(moved);
    node.parent = target;
    node.source_end = tag_start_;
  }
  nodes.at(target).closed = 1;
  parser_.current_ = nodes.get(target).parent;
  while (stack.top() - 2 >= k) pop_open();
  return target;
}

void ParseMachine::emit_xsl_run(int32_t stop) {
  if (stop > mark_start_) new_node(node_text, mark_start_, stop);
}

void ParseMachine::run() {
  parser_.line_ = 1;
  caller_silent_ = parser_.silent;
  if (mode_ == 3 || mode_ == 6 || mode_ == 8) parser_.silent = true;
  if (text_.error != 0) {
    parser_.raise_error(errors::parse_input_errors, 1, context_);
    detect_ = false;
    touch_text_ = false;  // nothing was read: the text stays as it was given
    finish();
    return;
  }
  // A double-byte text whose code page has no lead-byte table cannot be
  // read; the text reports it as its own reader would.
  if (text_.encoding() == TextEncoding::Multibyte && text_.code_page() != -1 &&
      text_.code_page() != 932 && text_.code_page() != 936 && text_.code_page() != 950 &&
      length_ - pos_ > 1) {
    text_.is_lead_byte(data_[pos_]);
  }
  if (text_.encoding() != TextEncoding::SingleByte && text_.encoding() != TextEncoding::Unicode &&
      text_.encoding() != TextEncoding::Multibyte) {
    text_.raise_error(errors::string_unknown);
  }
  while (state_ != end) {
    if (text_.error != 0) {
      parser_.raise_error(errors::parse_unknown, line(), context_);
      break;
    }
    if (parser_.node_count() >= parser_.node_limit()) {
      parser_.raise_error(errors::parse_node_not_created, line(), context_);
      break;
    }
    if (at_end(pos_)) {
      // A text that ends inside "<", "< " or "</" of the XSL text modes keeps
      // its last run.
      if (xsl_mode() && (state_ == xsl_text || state_ == xsl_after_lt || state_ == xsl_end_tag)) {
        emit_xsl_run(end_);
      }
      break;
    }
    step();
  }
  finish();
}

void ParseMachine::finish() {
  int32_t warning = 0;
  if (detect_ && (mode_ == 3 || mode_ == 4 || mode_ == 5)) {
    warning = parser_.detect_encoding(parser_.mode(), text_);
  }
  if (warning != 0) parser_.raise_warning(warning, context_);
  parser_.raw_ = false;
  parser_.state_ = 0;
  parser_.open_elements_.clear();
  parser_.open_by_name_.clear();
  parser_.open_same_below_.clear();
  parser_.current_ = 0;
  // The quiet modes give the caller's setting back: a parser its caller
  // silenced must not start logging after a page head or a single tag.
  if (mode_ == 3 || mode_ == 6 || mode_ == 8) parser_.silent = caller_silent_;
  if (!touch_text_) return;
  text_.set_cursor(pos_ >= end_ ? length_ : pos_);
  text_.set_marks(mark_start_, mark_end_);
  if (pos_ >= end_) text_.raise_warning(warnings::past_end);
}

void XmlParser::parse(TextScanner& text) {
  hold_context(text.context_lease());
  ParseMachine machine(*this, text);
  machine.run();
}

bool XmlParser::parse_files(const Storage<String>& names, ParseMode mode) {
  bool all_loaded = true;
  for (int32_t i = 0; i < names.size(); ++i) {
    TextScanner text;
    if (!text.load_file(names.get(i))) {
      raise_error(errors::parse_template_unreadable, -1, text.context());
      all_loaded = false;
      continue;
    }
    XmlParser scratch;
    scratch.silent = i > 0;
    scratch.set_mode(ParseMode::xml_prolog_encoding);
    scratch.parse(text);
    text.rewind();
    set_mode(mode);
    parse(text);
  }
  return all_loaded;
}

}  // namespace wayfetch
