#include "extraction/words.h"

#include <limits>

namespace wayfetch::extraction {

std::vector<TextSpan> words_of(const String& text) {
  std::vector<TextSpan> words;
  CharReader reader = CharReader::window_of(text);
  int32_t start = -1;
  while (!reader.at_end()) {
    int32_t at = reader.position;
    uint16_t c = reader.next();
    if (ascii::is_blank(c)) {
      if (start >= 0) words.push_back({start, at});
      start = -1;
    } else if (start < 0) {
      start = at;
    }
  }
  if (start >= 0) words.push_back({start, reader.position});
  return words;
}

String span_text(const String& text, TextSpan span) {
  String copy;
  if (!span.empty()) {
    std::string_view all(reinterpret_cast<const char*>(text.data()),
                         static_cast<std::size_t>(text.length()));
    copy.set_text(all.substr(static_cast<std::size_t>(span.start),
                             static_cast<std::size_t>(span.end - span.start)),
                  text.encoding(), text.code_page());
  } else {
    copy.set_encoding(text.encoding(), text.code_page());
  }
  copy.set_context(text.context());
  return copy;
}

String first_word(const String& text) {
  std::vector<TextSpan> words = words_of(text);
  if (words.empty()) return span_text(text, TextSpan{});
  return span_text(text, words.front());
}

bool span_equals(const String& text, TextSpan span, std::string_view ascii) {
  CharReader reader{text.data(), span.start, span.end, text.encoding(), text.code_page()};
  for (char wanted : ascii) {
    if (reader.at_end()) return false;
    if (ascii::fold(reader.next()) != ascii::fold(static_cast<uint8_t>(wanted))) return false;
  }
  return reader.at_end();
}

bool equals_ascii(const String& text, std::string_view ascii) {
  return span_equals(text, {text.window_start(), text.window_end()}, ascii);
}

bool same_text_ignoring_case(const String& a, const String& b) {
  CharReader left = CharReader::window_of(a);
  CharReader right = CharReader::window_of(b);
  while (!left.at_end() && !right.at_end()) {
    if (ascii::fold(left.next()) != ascii::fold(right.next())) return false;
  }
  return left.at_end() && right.at_end();
}

bool is_white_text(const String& text) {
  CharReader reader = CharReader::window_of(text);
  while (!reader.at_end()) {
    if (!ascii::is_blank(reader.next())) return false;
  }
  return true;
}

String trimmed(const String& text) {
  CharReader reader = CharReader::window_of(text);
  int32_t first = -1;
  int32_t last = reader.position;
  while (!reader.at_end()) {
    int32_t at = reader.position;
    if (!ascii::is_blank(reader.next())) {
      if (first < 0) first = at;
      last = reader.position;
    }
  }
  return span_text(text, first < 0 ? TextSpan{} : TextSpan{first, last});
}

bool contains_text(const String& haystack, const String& needle, bool case_sensitive) {
  CharReader start = CharReader::window_of(haystack);
  while (true) {
    CharReader rest = start;
    CharReader wanted = CharReader::window_of(needle);
    bool same = true;
    while (same && !wanted.at_end()) {
      if (rest.at_end()) return false;
      uint16_t a = rest.next();
      uint16_t b = wanted.next();
      same = case_sensitive ? a == b : ascii::fold(a) == ascii::fold(b);
    }
    if (same) return true;
    if (start.at_end()) return false;
    start.next();
  }
}

Digits leading_digits(const String& text) {
  Digits digits;
  CharReader reader = CharReader::window_of(text);
  uint16_t c = 0;
  do {
    c = reader.next();
  } while (ascii::is_blank(c));
  constexpr int64_t ceiling = std::numeric_limits<int32_t>::max();
  int64_t value = 0;
  while (c >= '0' && c <= '9') {
    digits.found = true;
    value = value * 10 + (c - '0');
    if (value > ceiling) value = ceiling;
    c = reader.next();
  }
  digits.value = static_cast<int32_t>(value);
  return digits;
}

}  // namespace wayfetch::extraction
