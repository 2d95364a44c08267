#include "core/text_scanner.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/ascii.h"

namespace wayfetch {

uint16_t TextScanner::char_at(int32_t offset, int32_t* width) const {
  CharReader reader{data(), offset, length_, encoding_, code_page_};
  if (offset < 0 || reader.at_end()) {
    *width = 0;
    return 0;
  }
  uint16_t c = reader.next();
  *width = reader.position - offset;
  return c;
}

void TextScanner::skip_blanks(int32_t* line_counter) {
  // Line feeds are counted when the cursor arrives on them, as next_char does.
  if (cursor_ == -1) next_char(line_counter);
  int32_t width = 0;
  while (cursor_ < length_) {
    if (!ascii::is_blank(char_at(cursor_, &width))) break;
    cursor_ += width;
    int32_t next_width = 0;
    if (line_counter != nullptr && char_at(cursor_, &next_width) == '\n') ++*line_counter;
  }
  char_width_ = 0;
}

void TextScanner::continue_after_window() {
  cursor_ = window_end_;
  char_width_ = 0;
}

void TextScanner::swap_window_and_marks() {
  int32_t start = window_start_;
  int32_t end = window_end_;
  select_bytes(mark_start_, mark_end_);
  mark_start_ = start;
  mark_end_ = end;
}

void TextScanner::read_name(int32_t* line_counter, bool strict) {
  skip_blanks(line_counter);
  int32_t start = position();
  int32_t at = start;
  int32_t width = 0;
  uint16_t c = char_at(at, &width);
  // Strict names are letters, digits and "_" only; others are XML names.
  if (width > 0 && (strict ? ascii::is_letter(c) || c == '_' : ascii::is_name_start(c))) {
    at += width;
    while (true) {
      c = char_at(at, &width);
      if (width == 0) break;
      bool more =
          strict ? ascii::is_letter(c) || ascii::is_digit(c) || c == '_' : ascii::is_name_char(c);
      if (!more) break;
      at += width;
    }
  }
  select_bytes(start, at);
  cursor_ = start;
  char_width_ = 0;
}

void TextScanner::read_token() {
  skip_blanks();
  int32_t start = position();
  int32_t at = start;
  int32_t width = 0;
  while (true) {
    uint16_t c = char_at(at, &width);
    if (width == 0 || ascii::is_blank(c)) break;
    at += width;
  }
  select_bytes(start, at);
  cursor_ = start;
  char_width_ = 0;
}

void TextScanner::read_digits() {
  skip_blanks();
  int32_t start = position();
  int32_t at = start;
  int32_t width = 0;
  while (true) {
    uint16_t c = char_at(at, &width);
    if (width == 0 || !ascii::is_digit(c)) break;
    at += width;
  }
  select_bytes(start, at);
  cursor_ = start;
  char_width_ = 0;
}

void TextScanner::read_value(int32_t* line_counter) {
  skip_blanks(line_counter);
  int32_t start = position();
  int32_t width = 0;
  uint16_t first = char_at(start, &width);
  if (width == 0) {
    select_bytes(start, start);
    cursor_ = start;
    return;
  }
  if (first == '"' || first == '\'') {
    int32_t value_start = start + width;
    int32_t at = value_start;
    while (true) {
      uint16_t c = char_at(at, &width);
      if (width == 0) {
        // The value runs to the end of the text: nothing is selected.
        select_bytes(value_start, value_start);
        cursor_ = value_start;
        char_width_ = 0;
        return;
      }
      if (c == first || c == '>') break;
      if (c == '\n' && line_counter != nullptr) ++*line_counter;
      at += width;
    }
    select_bytes(value_start, at);
    cursor_ = value_start;
    char_width_ = 0;
    return;
  }
  int32_t at = start;
  while (true) {
    uint16_t c = char_at(at, &width);
    if (width == 0 || ascii::is_blank(c) || c == '>') break;
    at += width;
  }
  select_bytes(start, at);
  cursor_ = start;
  char_width_ = 0;
}

bool TextScanner::read_balanced(uint16_t open, uint16_t close) {
  skip_blanks();
  int32_t start = position();
  int32_t at = start;
  int32_t depth = 1;
  int32_t width = 0;
  while (true) {
    uint16_t c = char_at(at, &width);
    if (width == 0) {
      select_bytes(length_, length_);
      cursor_ = start;
      char_width_ = 0;
      return true;
    }
    if (c == open) {
      ++depth;
    } else if (c == close && --depth == 0) {
      break;
    }
    at += width;
  }
  select_bytes(start, at);
  cursor_ = start;
  char_width_ = 0;
  return false;
}

bool TextScanner::find(const String& pattern, bool case_sensitive) {
  // A search starts a fresh question: a warning left by an earlier reader
  // no longer applies (the search itself raises none).
  warning = 0;
  int32_t start = position();
  std::string_view needle = pattern.window_bytes();
  if (needle.empty() || start >= length_) {
    select_bytes(start, start);
    return false;
  }
  bool byte_wise =
      encoding_ == TextEncoding::SingleByte && pattern.encoding() == TextEncoding::SingleByte;
  if (byte_wise) {
    // Every byte is a character: scan for the first byte in both cases.
    const auto* text = data();
    auto n = static_cast<std::size_t>(length_);
    auto m = needle.size();
    auto first = static_cast<uint8_t>(needle[0]);
    uint8_t first_folded = static_cast<uint8_t>(ascii::fold(first));
    uint8_t first_upper = (first_folded >= 'a' && first_folded <= 'z')
                              ? static_cast<uint8_t>(first_folded - 32)
                              : first_folded;
    for (std::size_t at = static_cast<std::size_t>(start); at + m <= n; ++at) {
      uint8_t c = text[at];
      bool candidate = case_sensitive ? c == first : (c == first_folded || c == first_upper);
      if (!candidate) continue;
      bool match = true;
      for (std::size_t k = 1; k < m && match; ++k) {
        uint8_t a = text[at + k];
        auto b = static_cast<uint8_t>(needle[k]);
        match = case_sensitive ? a == b : ascii::fold(a) == ascii::fold(b);
      }
      if (match) {
        select_bytes(static_cast<int32_t>(at), static_cast<int32_t>(at + m));
        return true;
      }
    }
    select_bytes(start, start);
    return false;
  }
  CharReader walk{data(), start, length_, encoding_, code_page_};
  while (!walk.at_end()) {
    CharReader rest = walk;
    CharReader wanted = CharReader::window_of(pattern);
    bool match = true;
    while (!wanted.at_end()) {
      if (rest.at_end()) {
        match = false;
        break;
      }
      uint16_t a = rest.next();
      uint16_t b = wanted.next();
      if (case_sensitive ? a != b : ascii::fold(a) != ascii::fold(b)) {
        match = false;
        break;
      }
    }
    if (match) {
      select_bytes(walk.position, rest.position);
      return true;
    }
    walk.next();
  }
  select_bytes(start, start);
  return false;
}

void TextScanner::strip_tags(String& out) {
  std::string kept;
  CharReader reader = CharReader::window_of(*this);
  bool in_tag = false;
  while (!reader.at_end()) {
    int32_t at = reader.position;
    uint16_t c = reader.next();
    if (in_tag) {
      if (c == '>') in_tag = false;
      continue;
    }
    if (c == '<') {
      in_tag = true;
      continue;
    }
    kept.append(reinterpret_cast<const char*>(data()) + at,
                static_cast<std::size_t>(reader.position - at));
  }
  out.set_text(kept, encoding_, code_page_);
  if (kept.empty()) select_bytes(window_start_, window_start_);
}

}  // namespace wayfetch
