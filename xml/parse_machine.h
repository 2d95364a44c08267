// The parser's state machine (internal to xml/).
//
// One pass over the text, keeping a byte cursor on the character being
// examined. Tokens are byte ranges of the input; only node names, values and
// text runs are copied, into the nodes. Characters are read in the text's
// own encoding (single bytes, UTF-16LE units, or double-byte characters of
// code pages 932/936/950); all markup is ASCII. Nothing here recurses, and
// every scan moves forward except the short look-ahead of raw content, so
// the time is linear in the text. The states are numbered as in
// docs/xml_parser.md. One machine serves one call of XmlParser::parse.
#ifndef WAYFETCH_XML_PARSE_MACHINE_H
#define WAYFETCH_XML_PARSE_MACHINE_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ascii.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace parse_detail {

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

}  // namespace parse_detail

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
  // Every byte is a character: scans may run over bytes.
  bool single_byte() const { return !unicode_ && !double_byte_; }
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
  std::string name_key(const NodeText& name) const;
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
  bool detect_ = true;          // run the encoding detection at the end
  bool touch_text_ = true;      // leave the cursor and marks where the parse stopped
  bool caller_silent_ = false;  // the parser's setting before a quiet mode silenced it
  int32_t mode_;
  int32_t context_;

  int32_t pos_ = 0;
  int32_t state_ = parse_detail::start;
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

}  // namespace wayfetch

#endif
