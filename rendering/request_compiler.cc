// Compiling XSL requests: a state machine over the attribute text.
//
// The text's window is decoded once into characters (a double-byte
// character becomes lead*256+trail, so it never equals an ASCII sign) and
// the matching close of every "(", "[" and "{" is found before compiling
// starts, in one pass over the characters per kind, each kind counted on its
// own. Parenthesised content, bracketed conditions and
// the right operand of "|" are requests of their own; instead of recursing,
// the compiler pushes a frame for each and resumes the outer frame with the
// id the inner one produced. A request nested a million levels deep thus
// compiles in linear time on the heap.
#include <climits>
#include <cstdint>
#include <vector>

#include "core/ascii.h"
#include "rendering/xsl_parser.h"

namespace wayfetch {
namespace {

// Matching closes, for each opening position (-1 when unbalanced).
std::vector<int32_t> match_pairs(const std::vector<uint16_t>& text, uint16_t open, uint16_t close) {
  std::vector<int32_t> match(text.size(), -1);
  std::vector<int32_t> pending;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == open) {
      pending.push_back(static_cast<int32_t>(i));
    } else if (text[i] == close && !pending.empty()) {
      match[static_cast<std::size_t>(pending.back())] = static_cast<int32_t>(i);
      pending.pop_back();
    }
  }
  return match;
}

}  // namespace

class RequestCompiler {
 public:
  RequestCompiler(XslParser& parser, const String& text, int32_t line, int32_t owner)
      : parser_(parser),
        steps_(parser.steps_),
        line_(line),
        context_(text.context()),
        owner_(owner) {
    CharReader reader = CharReader::window_of(text);
    while (!reader.at_end()) text_.push_back(reader.next());
    parens_ = match_pairs(text_, '(', ')');
    brackets_ = match_pairs(text_, '[', ']');
    braces_ = match_pairs(text_, '{', '}');
  }

  int32_t run() {
    int32_t entry = steps_.size();
    begin_frame(0, size());
    int32_t result = no_request;
    int32_t code = 0;
    while (code == 0 && result == no_request) {
      int32_t id = no_request;
      code = advance(id);
      // A finished frame hands its id outwards; unions finish their frame
      // at once, so a chain "a | b | c ..." unwinds here without recursion.
      while (code == 0 && id != no_request) {
        frames_.pop_back();
        if (frames_.empty()) {
          result = id;
          break;
        }
        Frame& outer = frames_.back();
        if (outer.pending != pending_union) {
          code = resume(id);
          break;
        }
        RequestStep both;
        both.kind = kind_union;
        both.sub = outer.first;
        both.right = id;
        id = append(both);
        if (id < 0) code = errors::request_syntax;
      }
    }
    if (code != 0) {
      // A faulty request leaves no trace in the table.
      while (steps_.size() > entry) steps_.remove(steps_.size() - 1);
      parser_.raise_error(code, line_, context_);
      return faulty_request;
    }
    return result;
  }

 private:
  // What an outer frame does with the id of the request an inner one compiled.
  enum Pending { pending_none, pending_group, pending_predicate, pending_wrapped, pending_union };

  struct Frame {
    int32_t end = 0;  // the window ends before this character
    int32_t state = 1;
    RequestStep step;    // the current step
    int32_t first = -1;  // the chain's first step: the request id
    int32_t last = -1;   // the chain's last step
    Pending pending = pending_none;
    int32_t close = -1;  // where the inner request's window ended
    int32_t open_bracket = -1;
    int32_t open_brace = -1;
  };

  int32_t size() const { return static_cast<int32_t>(text_.size()); }
  uint16_t at(int32_t i) const { return text_[static_cast<std::size_t>(i)]; }

  // A request of its own over [start, end): blanks before it are skipped once.
  void begin_frame(int32_t start, int32_t end) {
    pos_ = start;
    while (pos_ < end && ascii::is_blank(at(pos_))) ++pos_;
    Frame frame;
    frame.end = end;
    frames_.push_back(std::move(frame));
  }

  // Moves to the next non-blank character when one is left in the window; a
  // run of blanks at the end is left in place, so that a later state can
  // tell "a/ " (ends on blanks) from "a/" (ends on the separator).
  bool skip_blanks(const Frame& frame) {
    int32_t q = pos_;
    while (q < frame.end && ascii::is_blank(at(q))) ++q;
    if (q >= frame.end) return false;
    pos_ = q;
    return true;
  }

  bool read_name(const Frame& frame, String& name) {
    if (pos_ >= frame.end || !ascii::is_name_start(at(pos_))) return false;
    std::string bytes;
    while (pos_ < frame.end && ascii::is_name_char(at(pos_))) {
      bytes.push_back(static_cast<char>(at(pos_)));
      ++pos_;
    }
    name = String(std::string_view(bytes));
    return true;
  }

  // Decimal digits; values past the 32-bit range stay at its top.
  int32_t read_number(const Frame& frame) {
    int64_t value = 0;
    while (pos_ < frame.end && ascii::is_digit(at(pos_))) {
      value = value * 10 + (at(pos_) - '0');
      if (value > INT32_MAX) value = INT32_MAX;
      ++pos_;
    }
    return static_cast<int32_t>(value);
  }

  int32_t append(const RequestStep& step) {
    int32_t id = steps_.size();
    RequestStep& slot = steps_.at(id);
    if (&slot == &steps_.get(-1)) return -1;  // the table cannot grow
    slot = step;
    return id;
  }

  // Appends the current step at the end of the chain.
  bool append_linked(Frame& frame) {
    int32_t id = append(frame.step);
    if (id < 0) return false;
    if (frame.last >= 0) steps_.at(frame.last).next = id;
    if (frame.first < 0) frame.first = id;
    frame.last = id;
    return true;
  }

  // Runs the top frame until it finishes (`id` set), pushes an inner frame
  // (`id` left at -1) or fails (an error code is returned).
  int32_t advance(int32_t& id) {
    Frame& frame = frames_.back();
    for (;;) {
      // An exhausted window ends the request; state 5 handles it itself.
      if (pos_ >= frame.end && frame.state != 5) {
        if (frame.state == 3 || frame.state == 6) return errors::request_end_of_text;
        if (!append_linked(frame)) return errors::request_syntax;
        id = frame.first;
        return 0;
      }
      switch (frame.state) {
        case 1: {
          frame.step = RequestStep();
          if (!skip_blanks(frame)) {
            // Only blanks were left: the request ends without another step.
            if (frame.first < 0 && !append_linked(frame)) return errors::request_syntax;
            id = frame.first;
            return 0;
          }
          uint16_t c = at(pos_);
          if (c == '(') {
            int32_t close = parens_[static_cast<std::size_t>(pos_)];
            if (close < 0 || close >= frame.end) return errors::request_brackets;
            frame.step.kind = kind_group;
            frame.pending = pending_group;
            frame.close = close;
            begin_frame(pos_ + 1, close);
            return 0;
          }
          if (c == '*') {
            frame.step.kind = kind_any_element;
            ++pos_;
            frame.state = 2;
          } else if (c == '.') {
            ++pos_;
            if (pos_ < frame.end && at(pos_) == '.') {
              frame.step.kind = kind_parent;
              ++pos_;
            } else {
              frame.step.kind = kind_self;
            }
            frame.state = 4;
          } else if (c == '/') {
            frame.step.kind = kind_root;
            ++pos_;
            frame.step.axis = axis_children;
            if (pos_ < frame.end && at(pos_) == '/') {
              frame.step.axis = axis_descendants;
              ++pos_;
            }
            frame.state = 5;
          } else {
            if (!read_name(frame, frame.step.name)) return errors::request_syntax;
            frame.step.kind = kind_named;
            frame.state = 2;
          }
          break;
        }
        case 2:
          if (skip_blanks(frame) && at(pos_) == '[') {
            frame.open_bracket = pos_;
            frame.open_brace = -1;
            ++pos_;
            if (skip_blanks(frame) && at(pos_) == '{') {
              frame.step.wraps = true;
              frame.open_brace = pos_;
              ++pos_;
            }
            frame.state = 3;
          } else {
            frame.state = 4;
          }
          break;
        case 3: {
          skip_blanks(frame);
          uint16_t c = at(pos_);
          if (c == '#') {
            ++pos_;
            skip_blanks(frame);
            String name;
            if (!read_name(frame, name)) return errors::request_no_identifier;
            if (name.equals("last")) {
              frame.step.subscript = subscript_last;
            } else if (name.equals("any")) {
              frame.step.subscript = subscript_any;
            } else if (name.equals("random")) {
              frame.step.subscript = subscript_random;
            } else {
              int32_t slot = parser_.loop_slot_of(name, owner_);
              if (slot < 0) return errors::request_unknown_loop_index;
              frame.step.subscript = subscript_loop_index;
              frame.step.loop_slot = slot;
            }
            frame.state = 6;
          } else if (ascii::is_digit(c)) {
            frame.step.first = read_number(frame);
            frame.step.subscript = subscript_index;
            if (skip_blanks(frame) && at(pos_) == '.') {
              if (pos_ + 1 >= frame.end || at(pos_ + 1) != '.') return errors::request_syntax;
              pos_ += 2;
              if (skip_blanks(frame) && ascii::is_digit(at(pos_))) {
                frame.step.last = read_number(frame);
                frame.step.subscript = subscript_range;
              } else {
                frame.step.subscript = subscript_from;
              }
            }
            frame.state = 6;
          } else {
            // A condition: compiled as a request, never evaluated.
            int32_t close = frame.step.wraps
                                ? braces_[static_cast<std::size_t>(frame.open_brace)]
                                : brackets_[static_cast<std::size_t>(frame.open_bracket)];
            if (close < 0 || close >= frame.end || close < pos_) return errors::request_brackets;
            frame.pending = frame.step.wraps ? pending_wrapped : pending_predicate;
            frame.close = close;
            begin_frame(pos_, close);
            return 0;
          }
          break;
        }
        case 4:
          if (skip_blanks(frame) && at(pos_) == '/') {
            ++pos_;
            frame.step.axis = axis_children;
            if (pos_ < frame.end && at(pos_) == '/') {
              frame.step.axis = axis_descendants;
              ++pos_;
            }
          }
          frame.state = 5;
          break;
        case 5:
          if (skip_blanks(frame) && at(pos_) == '|') {
            if (!append_linked(frame)) return errors::request_syntax;
            frame.pending = pending_union;
            begin_frame(pos_ + 1, frame.end);
            return 0;
          }
          if (pos_ < frame.end && at(pos_) == '[') {
            // A second subscript applies to the result of the step so far.
            int32_t alone = append(frame.step);
            if (alone < 0) return errors::request_syntax;
            frame.step = RequestStep();
            frame.step.kind = kind_group;
            frame.step.sub = alone;
            frame.state = 2;
            break;
          }
          if (!append_linked(frame)) return errors::request_syntax;
          frame.state = 1;
          break;
        case 6:
          skip_blanks(frame);
          if (frame.step.wraps) {
            if (at(pos_) != '}') return errors::request_brackets;
            ++pos_;
            if (!skip_blanks(frame)) return errors::request_brackets;
          }
          if (at(pos_) != ']') return errors::request_brackets;
          ++pos_;
          frame.state = 4;
          break;
        default:
          return errors::request_syntax;
      }
    }
  }

  // The top frame receives the id of the group or condition its inner
  // frame compiled.
  int32_t resume(int32_t id) {
    Frame& frame = frames_.back();
    pos_ = frame.close + 1;
    switch (frame.pending) {
      case pending_group:
        frame.step.sub = id;
        frame.state = 2;
        break;
      case pending_predicate:
        frame.step.subscript = subscript_predicate;
        frame.step.predicate = id;
        frame.state = 4;
        break;
      case pending_wrapped:
        frame.step.subscript = subscript_predicate;
        frame.step.predicate = id;
        if (!skip_blanks(frame) || at(pos_) != ']') return errors::request_brackets;
        ++pos_;
        frame.state = 4;
        break;
      default:
        return errors::request_syntax;
    }
    frame.pending = pending_none;
    return 0;
  }

  XslParser& parser_;
  Storage<RequestStep>& steps_;
  int32_t line_;
  int32_t context_;
  int32_t owner_;
  std::vector<uint16_t> text_;
  std::vector<int32_t> parens_;
  std::vector<int32_t> brackets_;
  std::vector<int32_t> braces_;
  std::vector<Frame> frames_;
  int32_t pos_ = 0;
};

int32_t XslParser::compile_request(const String& text, int32_t template_line, int32_t owner_node) {
  if (!text.self_check()) {
    raise_error(errors::parse_input_errors, template_line, text.context());
    return faulty_request;
  }
  RequestCompiler compiler(*this, text, template_line, owner_node);
  int32_t id = compiler.run();
  // New steps start with their any-counter at 0.
  if (any_counters_.size() < static_cast<std::size_t>(steps_.size())) {
    any_counters_.resize(static_cast<std::size_t>(steps_.size()), 0);
  }
  return id;
}

}  // namespace wayfetch
