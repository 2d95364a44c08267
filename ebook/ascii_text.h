// Case rules of HTML and style-sheet names: A-Z and a-z only, as the page
// bytes may be in any code page.
#ifndef WAYFETCH_EBOOK_ASCII_TEXT_H
#define WAYFETCH_EBOOK_ASCII_TEXT_H

#include <algorithm>
#include <string>
#include <string_view>

namespace wayfetch::ascii {

inline char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) { return upper(c); });
  return out;
}

inline bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return upper(x) == upper(y); });
}

inline bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         equals_ignoring_case(text.substr(0, prefix.size()), prefix);
}

inline bool ends_with_ignoring_case(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equals_ignoring_case(text.substr(text.size() - suffix.size()), suffix);
}

// The offset of the first occurrence of `needle` in any case, or npos.
inline std::size_t find_ignoring_case(std::string_view text, std::string_view needle) {
  if (needle.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
    if (equals_ignoring_case(text.substr(i, needle.size()), needle)) return i;
  }
  return std::string_view::npos;
}

}  // namespace wayfetch::ascii

#endif
