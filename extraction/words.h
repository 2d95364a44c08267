// Words, names and numbers read from template texts.
//
// Template texts come in any encoding the program knows (single bytes,
// UTF-16, double-byte code pages), so everything here reads characters
// through CharReader and reports positions as byte offsets into the text.
// Names are compared with ASCII case folding (A-Z only); white space is
// tab, line feed, carriage return and space. Pure functions, thread-safe.
#ifndef WAYFETCH_EXTRACTION_WORDS_H
#define WAYFETCH_EXTRACTION_WORDS_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/ascii.h"
#include "core/string.h"

namespace wayfetch::extraction {

// A run of a text's bytes: [start, end).
struct TextSpan {
  int32_t start = 0;
  int32_t end = 0;
  bool empty() const { return start >= end; }
};


// The words of `text`'s window, in order.
std::vector<TextSpan> words_of(const String& text);
// The bytes of `span` as a text with `text`'s encoding, code page and context.
String span_text(const String& text, TextSpan span);
// The first word of the window (white space before it skipped); empty when none.
String first_word(const String& text);
// Whether the characters of `span` spell `ascii`, ignoring ASCII case.
bool span_equals(const String& text, TextSpan span, std::string_view ascii);
// Whether the whole window spells `ascii`, ignoring ASCII case.
bool equals_ascii(const String& text, std::string_view ascii);
// Whether two windows hold the same characters, ignoring ASCII case. Texts
// of different encodings compare by character code.
bool same_text_ignoring_case(const String& a, const String& b);
// Whether the window holds only white space (an empty window does).
bool is_white_text(const String& text);
// The window without the white space at both ends.
String trimmed(const String& text);
// Whether `needle`'s window occurs in `haystack`'s window (an empty needle
// does), comparing characters and folding ASCII case unless `case_sensitive`.
bool contains_text(const String& haystack, const String& needle, bool case_sensitive);

// The decimal digits that follow any white space at the start of the
// window. `found` is false when there are none; `value` saturates at
// 2^31-1, so a long run of digits never wraps.
struct Digits {
  bool found = false;
  int32_t value = 0;
};
Digits leading_digits(const String& text);

}  // namespace wayfetch::extraction

#endif
