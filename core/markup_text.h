// Text placed between markup tags ("Q&A <draft>" as a book's title, a MIME
// comment): "&", "<" and ">" become entities so the text neither opens a tag
// nor loses a character; every other byte stays as it is. Thread-safe.
#ifndef WAYFETCH_CORE_MARKUP_TEXT_H
#define WAYFETCH_CORE_MARKUP_TEXT_H

#include <string>
#include <string_view>

namespace wayfetch {

inline std::string markup_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace wayfetch

#endif
