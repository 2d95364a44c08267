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

}  // namespace wayfetch::ascii

#endif
