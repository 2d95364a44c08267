// Comparison, numbers and rewriting of String.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/ascii.h"
#include "core/string.h"

namespace wayfetch {

int String::compare(const String& other, bool prefix, bool case_sensitive) const {
  if (this == &other) return 0;
  return compare_readers(CharReader::window_of(*this), CharReader::window_of(other), prefix,
                         case_sensitive);
}

int String::compare_readers(CharReader mine, CharReader theirs, bool prefix,
                            bool case_sensitive) {
  bool mine_empty = mine.at_end();
  bool theirs_empty = theirs.at_end();
  if (mine_empty && theirs_empty) return 0;
  if (mine_empty) return -1;
  if (theirs_empty) return 1;
  while (!mine.at_end() && !theirs.at_end()) {
    uint16_t a = mine.next();
    uint16_t b = theirs.next();
    if (!case_sensitive) {
      a = ascii::fold(a);
      b = ascii::fold(b);
    }
    if (a != b) return a < b ? -1 : 1;
  }
  if (mine.at_end() && theirs.at_end()) return 0;
  if (prefix) return theirs.at_end() ? 0 : 1;
  return mine.at_end() ? -1 : 1;
}

bool String::equals(const char* text) const {
  String literal(text);
  return compare(literal, false, false) == 0;
}

bool String::starts_with(const char* text) const {
  String literal(text);
  return compare(literal, true, false) == 0;
}

bool String::is_blank() const {
  CharReader reader = CharReader::window_of(*this);
  while (!reader.at_end()) {
    if (!ascii::is_blank(reader.next())) return false;
  }
  return true;
}

int32_t String::to_integer() const {
  uint32_t value = 0;
  CharReader reader = CharReader::window_of(*this);
  while (!reader.at_end()) value = value * 10 + (static_cast<uint32_t>(reader.next()) - '0');
  return static_cast<int32_t>(value);
}

int32_t String::to_integer_base(int32_t base) const {
  uint32_t value = 0;
  CharReader reader = CharReader::window_of(*this);
  while (!reader.at_end()) {
    uint32_t c = ascii::fold(reader.next());
    uint32_t digit = c <= '`' ? c - '0' : c - 87;
    value = value * static_cast<uint32_t>(base) + digit;
  }
  return static_cast<int32_t>(value);
}

int32_t String::checksum() const {
  int32_t sum = 0;
  for (char c : window_bytes()) sum += static_cast<int8_t>(c);
  return sum;
}

int32_t String::replace_all(const String& find, const String& replacement) {
  // Without a replacement the text is rebuilt unchanged: only a cursor inside
  // the window moves, to the window start, as after any rewrite.
  auto unchanged = [this] {
    if (cursor_ >= window_start_ && cursor_ < window_end_) {
      cursor_ = window_start_;
      char_width_ = 0;
    }
    return 0;
  };
  // An empty `find` never begins the rest of the window (as starts_with).
  if (find.window_empty() || length_ == 0) return unchanged();
  std::string_view text(reinterpret_cast<const char*>(data_.get()),
                        static_cast<std::size_t>(length_));
  std::string_view with = replacement.window_bytes();
  std::string rebuilt;
  rebuilt.reserve(static_cast<std::size_t>(length_));
  rebuilt.append(text.substr(0, static_cast<std::size_t>(window_start_)));
  int32_t count = 0;
  CharReader walk = CharReader::window_of(*this);
  while (!walk.at_end()) {
    // Does the rest of the window begin with `find`?
    CharReader rest = walk;
    CharReader pattern = CharReader::window_of(find);
    bool match = true;
    while (!pattern.at_end()) {
      if (rest.at_end() || ascii::fold(rest.next()) != ascii::fold(pattern.next())) {
        match = false;
        break;
      }
    }
    if (match) {
      rebuilt.append(with);
      walk.position = rest.position;
      ++count;
    } else {
      int32_t at = walk.position;
      walk.next();
      rebuilt.append(
          text.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(walk.position - at)));
    }
  }
  int32_t new_window_end = static_cast<int32_t>(rebuilt.size());
  rebuilt.append(text.substr(static_cast<std::size_t>(window_end_)));
  if (count == 0) return unchanged();
  if (rebuilt.size() > static_cast<std::size_t>(INT32_MAX - 64)) {
    raise_error(errors::string_allocation);
    return 0;
  }
  int32_t change = new_window_end - window_end_;
  int32_t old_start = window_start_;
  int32_t old_end = window_end_;
  replace_bytes(rebuilt);
  window_start_ = old_start;
  window_end_ = new_window_end;
  if (cursor_ >= old_end) {
    cursor_ += change;
  } else if (cursor_ >= old_start) {
    cursor_ = old_start;
  }
  char_width_ = 0;
  return count;
}

void String::fill_from(const String& other) {
  if (other.encoding_ != encoding_ || other.code_page_ != code_page_) {
    raise_error(errors::string_unknown);
    return;
  }
  std::string_view source = other.window_bytes();
  std::string copy(source);  // `other` may be this string
  int32_t room = window_end_ - window_start_;
  int32_t n = std::min(room, static_cast<int32_t>(copy.size()));
  if (encoding_ == TextEncoding::Unicode) n &= ~1;
  if (n > 0) std::memcpy(data_.get() + window_start_, copy.data(), static_cast<std::size_t>(n));
  for (int32_t i = window_start_ + n; i < window_end_; ++i) {
    bool high_byte = encoding_ == TextEncoding::Unicode && ((i - window_start_) & 1) != 0;
    data_[static_cast<std::size_t>(i)] = high_byte ? 0 : ' ';
  }
}

}  // namespace wayfetch
