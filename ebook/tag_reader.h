// TagReader: takes a page apart the way the e-book publisher copies it: the
// bytes between tags one at a time, each tag whole with its attributes.
//
// After a "<", read_tag() skips blanks and reads the tag's name up to a
// blank or ">", then name = value attributes: names are upper-cased, a value
// is enclosed in double or single quotation marks or runs to a blank or the
// ">", keeps its first 510 bytes and loses trailing blanks. At most ten
// attributes are kept; further ones overwrite the tenth. A lone "/" (as in
// "<br />") is no attribute. The tag's text is "<NAME>" for a tag without
// attributes and the tag exactly as it stood otherwise; a tag longer than
// 5118 bytes is written again from its name and kept attributes instead, so
// that its text always ends in ">". A comment ("<!--") is left to
// read_comment(), which passes it on up to "->" without holding it.
//
// The reader takes bytes from a ByteSource it does not own and reads no
// further than the ">" that ends a tag, so another reader (a style sheet)
// can continue from the same source. Not thread-safe.
#ifndef WAYFETCH_EBOOK_TAG_READER_H
#define WAYFETCH_EBOOK_TAG_READER_H

#include <cstddef>
#include <string>

#include "core/ascii.h"
#include "ebook/byte_source.h"
#include "ebook/html_tag.h"

namespace wayfetch {

class TagReader {
 public:
  static constexpr std::size_t max_value = 510;
  static constexpr std::size_t max_attributes = 10;
  static constexpr std::size_t max_text = 5118;

  enum class Result {
    tag,      // `tag` holds the tag
    comment,  // "<!--" was read; call read_comment() next
    end,      // the page ended before the tag did
  };

  // REQUIRES: `in` outlives the reader.
  explicit TagReader(ByteSource& in) : in_(in) {}

  // The next byte of the page (0-255), or -1 at its end.
  int get() { return in_.get(); }
  ByteSource& source() { return in_; }

  // Reads the tag whose "<" was just taken.
  Result read_tag(HtmlTag& tag);

  // After Result::comment: passes the rest of the comment, upper-cased, to
  // `put` one byte at a time, up to and including the "->" that ends it (or
  // to the end of the page).
  template <typename Put>
  void read_comment(Put&& put) {
    int previous = '-';  // the last "-" of "<!--" may begin "->"
    for (int c = in_.get(); c >= 0; c = in_.get()) {
      put(ascii::to_upper(static_cast<char>(c)));
      if (previous == '-' && c == '>') return;
      previous = c;
    }
  }

 private:
  // The next byte, also kept in the tag's text while there is room.
  int take();

  ByteSource& in_;
  std::string raw_;
  bool overflow_ = false;
};

}  // namespace wayfetch

#endif
