// The parser's state machine.
//
// One pass over the text, keeping a byte cursor on the character being
// examined. Tokens are byte ranges of the input; only node names, values and
// text runs are copied, into the nodes. Characters are read in the text's
// own encoding (single bytes, UTF-16LE units, or double-byte characters of
// code pages 932/936/950); all markup is ASCII. Nothing here recurses, and
// every scan moves forward except the short look-ahead of raw content, so
// the time is linear in the text. The states are numbered as in
// docs/xml_parser.md.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

enum State : int32_t {
  start = 0,
  after_lt = 1,
  text_run = 2,
  recover = 3,
  skip_to_gt = 4,
  attributes = 5,
  end = 7,
  attribute_value = 8,
  after_attribute_name = 9,
  end_tag = 10,
  comment_body = 11,
  after_bang = 12,
  declaration = 13,
  xsl_text = 14,
  xsl_after_lt = 15,
  xsl_end_tag = 16,
  xsl_text_start = 17,
};

// Message codes.
constexpr int32_t error_bad_name = 18;
constexpr int32_t error_input_failed = 22;
constexpr int32_t error_unknown_end_tag = 23;
constexpr int32_t error_open_comment = 24;
constexpr int32_t error_input_had_errors = 25;
constexpr int32_t warning_empty_stack = 5;
constexpr int32_t warning_no_value = 8;
constexpr int32_t warning_unclosed_above = 9;
constexpr int32_t warning_tag_panic = 12;
constexpr int32_t warning_no_gt = 13;
constexpr int32_t warning_bad_attribute = 14;

bool blank(uint16_t c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
bool letter(uint16_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool name_start(uint16_t c) { return letter(c) || c == '_' || c == ':'; }
bool name_char(uint16_t c) {
  return letter(c) || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' || c == ':';
}
uint8_t fold(uint8_t c) { return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : c; }

}  // namespace

class ParseMachine {
 public:
  ParseMachine(XmlParser& parser, TextScanner& text);
  void run();

 private:
  // ---- characters ----
  // The character at `pos` and its width; width 0 at the end of the text.
  uint16_t char_at(int32_t pos, int32_t* width) const {
    if (pos >= end_) {
      *width = 0;
      return 0;
    }
    uint8_t first = data_[pos];
    if (unicode_) {
      *width = 2;
      return static_cast<uint16_t>(first | (data_[pos + 1] << 8));
    }
    if (lead_[first] && pos + 1 < end_) {  // a lead byte cut off at the end is one byte
      *width = 2;
      return static_cast<uint16_t>((first << 8) | data_[pos + 1]);
    }
    *width = 1;
    return first;
  }
  uint16_t char_at(int32_t pos) const {
    int32_t width = 0;
    return char_at(pos, &width);
  }
  bool at_end(int32_t pos) const { return pos >= end_; }
  int32_t advance(int32_t pos) const {
    int32_t width = 0;
    char_at(pos, &width);
    return pos + (width > 0 ? width : 0);
  }
  int32_t skip_blanks(int32_t pos) const;
  // The end of the name starting at `pos` (== pos when there is none).
  int32_t name_end(int32_t pos) const;
  // The first character `target` at or after `pos`, or end_.
  int32_t find_char(int32_t pos, uint8_t target) const;
  // Whether the name [start, stop) equals, or begins with, an ASCII word.
  bool name_is(int32_t start, int32_t stop, std::string_view word, bool prefix) const;
  // The name [start, stop) as a lower-case ASCII key.
  std::string name_key(int32_t start, int32_t stop) const;
  std::string name_key(const String& name) const;
  std::string_view bytes(int32_t start, int32_t stop) const {
    return std::string_view(reinterpret_cast<const char*>(data_) + start,
                            static_cast<std::size_t>(stop > start ? stop - start : 0));
  }

  // ---- lines ----
  // The line of the character at `pos`: 1 + the line feeds from the start
  // of the parse up to and including that character.
  int32_t line_at(int32_t pos);
  int32_t line() { return line_at(pos_); }

  // ---- nodes and the stack ----
  int32_t new_node(int32_t kind, int32_t start, int32_t stop);
  int32_t new_element(int32_t name_start_pos, int32_t name_stop);
  void push_open(int32_t element, int32_t name_start_pos, int32_t name_stop);
  void pop_open();
  // Closes the open element named [start, stop); the closed element or -1.
  int32_t close_by_name(int32_t start, int32_t stop);
  void emit_xsl_run(int32_t stop);

  // ---- states ----
  void step();
  void state_start();
  void state_after_lt();
  void state_text();
  void state_attributes();
  void state_attribute_value();
  void state_end_tag(bool xsl);
  void state_comment_body();
  void state_declaration();
  void state_xsl_text();
  void state_xsl_after_lt();
  void finish();

  bool xsl_mode() const { return mode_ == 1 || mode_ == 5; }
  bool prolog_mode() const { return mode_ == 4 || mode_ == 7; }
  bool head_mode() const { return mode_ == 3 || mode_ == 6; }

  XmlParser& parser_;
  TextScanner& text_;
  const uint8_t* data_;
  int32_t length_;
  int32_t end_;  // the first offset where no further character starts
  bool unicode_;
  std::array<bool, 256> lead_{};
  bool double_byte_ = false;
  bool detect_ = true;  // run the encoding detection at the end
  int32_t mode_;
  int32_t context_;

  int32_t pos_ = 0;
  int32_t state_ = start;
  int32_t mark_start_ = 0;
  int32_t mark_end_ = 0;
  int32_t tag_start_ = 0;
  // After error 18 the text run begins with the "<" of the bad tag.
  bool text_from_tag_ = false;
  // The element of the start tag being read (its end offset in mode 8).
  int32_t tag_element_ = -1;

  int32_t line_origin_ = 0;
  int32_t line_counted_to_ = 0;  // line feeds counted in [origin, this)
  int32_t line_feeds_ = 0;
};

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
      lead_[static_cast<std::size_t>(b)] = is_double_byte_lead(text.code_page(), static_cast<uint8_t>(b));
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
    if (width == 0 || !blank(c)) return pos;
    pos += width;
  }
}

int32_t ParseMachine::name_end(int32_t pos) const {
  int32_t width = 0;
  uint16_t c = char_at(pos, &width);
  if (width == 0 || !name_start(c)) return pos;
  pos += width;
  while (true) {
    c = char_at(pos, &width);
    if (width == 0 || !name_char(c)) return pos;
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
    if (fold(data_[at]) != fold(static_cast<uint8_t>(word[k]))) return false;
  }
  return true;
}

std::string ParseMachine::name_key(int32_t start, int32_t stop) const {
  std::string key;
  if (unicode_) {
    for (int32_t at = start; at + 1 < stop; at += 2) {
      key.push_back(static_cast<char>(fold(data_[at])));
      if (data_[at + 1] != 0) key.push_back(static_cast<char>(data_[at + 1]));
    }
  } else {
    for (int32_t at = start; at < stop; ++at) key.push_back(static_cast<char>(fold(data_[at])));
  }
  return key;
}

std::string ParseMachine::name_key(const String& name) const {
  std::string_view view = name.window_bytes();
  std::string key;
  if (name.encoding() == TextEncoding::Unicode) {
    for (std::size_t at = 0; at + 1 < view.size(); at += 2) {
      key.push_back(static_cast<char>(fold(static_cast<uint8_t>(view[at]))));
      if (view[at + 1] != 0) key.push_back(view[at + 1]);
    }
  } else {
    for (char c : view) key.push_back(static_cast<char>(fold(static_cast<uint8_t>(c))));
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
    parser_.raise_warning(warning_empty_stack, line(), context_);
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
  Storage<XmlNode>& nodes = parser_.nodes_;
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
  parser_.raise_warning(warning_unclosed_above, line(), context_);
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
      Storage<int32_t>& siblings = nodes.at(old_parent).children;
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
  if (mode_ == 3 || mode_ == 6 || mode_ == 8) parser_.silent = true;
  if (text_.error != 0) {
    parser_.raise_error(error_input_had_errors, 1, context_);
    detect_ = false;
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
    text_.raise_error(4);
  }
  while (state_ != end) {
    if (text_.error != 0) {
      parser_.raise_error(error_input_failed, line(), context_);
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
        parser_.raise_warning(warning_no_value, line(), context_);
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
      parser_.raise_error(error_input_failed, line(), context_);
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
      parser_.raise_error(error_bad_name, line(), context_);
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
  if ((mode_ == 2 && (name_is(name, name_stop, "begin", false) ||
                      name_is(name, name_stop, "end", false) ||
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
    parser_.raise_warning(warning_bad_attribute, line(), context_);
    pos_ = advance(name);
  } else {
    parser_.raise_warning(warning_tag_panic, line(), context_);
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
    int32_t width = 0;
    while (true) {
      uint16_t c = char_at(scan, &width);
      if (width == 0 || c == first || c == '>') break;
      scan += width;
    }
    // A quoted value that runs to the end of the text selects nothing.
    value_stop = at_end(scan) ? value_start : scan;
    resume = value_start;
  } else {
    int32_t width = 0;
    while (true) {
      uint16_t c = char_at(value_stop, &width);
      if (width == 0 || blank(c) || c == '>') break;
      value_stop += width;
    }
  }
  if (value_stop == value_start) {
    parser_.raise_warning(warning_no_value, line(), context_);
    pos_ = resume;
    uint16_t c = char_at(pos_);
    if (!at_end(pos_) && (c == '"' || c == '\'')) pos_ = advance(pos_);
    state_ = attributes;
    return;
  }
  // The stored value ends at its first double quote.
  int32_t stored_stop = value_start;
  int32_t width = 0;
  while (stored_stop < value_stop) {
    if (char_at(stored_stop, &width) == '"') break;
    stored_stop += width;
  }
  const Storage<int32_t>& children = parser_.nodes_.get(parser_.current_).children;
  int32_t last = children.size() > 0 ? children.get(children.size() - 1) : -1;
  if (!parser_.valid(last) || parser_.nodes_.get(last).kind != node_attribute) {
    parser_.raise_error(27, line(), context_);
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
    parser_.raise_error(error_bad_name, line(), context_);
    text_from_tag_ = true;
    state_ = recover;
    return;
  }
  int32_t closed = close_by_name(name, name_stop);
  pos_ = name_stop;
  if (closed < 0) {
    parser_.raise_error(error_unknown_end_tag, line(), context_);
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
    parser_.raise_warning(warning_no_gt, line(), context_);
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
  parser_.raise_error(error_open_comment, line(), context_);
  mark_end_ = end_;
  if (mode_ != 8) new_node(node_comment, mark_start_, mark_end_);
  state_ = mode_ == 8 ? start : recover;
}

void ParseMachine::state_declaration() {
  int32_t gt = find_char(pos_, '>');
  if (at_end(gt)) {
    pos_ = end_;
    parser_.raise_error(error_open_comment, line(), context_);
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
  if (mode_ == 3 || mode_ == 6 || mode_ == 8) parser_.silent = false;
  text_.set_cursor(pos_ >= end_ ? length_ : pos_);
  text_.set_marks(mark_start_, mark_end_);
  if (pos_ >= end_) text_.raise_warning(2);
}

void XmlParser::parse(TextScanner& text) {
  ParseMachine machine(*this, text);
  machine.run();
}

bool XmlParser::parse_files(const Storage<String>& names, ParseMode mode) {
  bool all_loaded = true;
  for (int32_t i = 0; i < names.size(); ++i) {
    TextScanner text;
    if (!text.load_file(names.get(i))) {
      raise_error(26, -1, text.context());
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
