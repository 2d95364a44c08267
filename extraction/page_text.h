// PageText: the text of the page an extraction walk works on.
//
// The page's actions search it, copy ranges out of it, read it one HTML tag
// at a time and edit it (`erase` removes ranges, "get-pics" rewrites
// picture addresses). All offsets here are byte offsets into the current
// text ("logical" offsets); edits shift what follows them.
//
// Edits must not cost the length of the page each: an iteration that erases
// thousands of blocks would turn quadratic. The text is therefore held as a
// gap buffer: the bytes before the gap, a hole, the bytes after it. An edit
// moves the gap to its place (paying for the distance moved, not for the
// page) and widens or fills it. Reading from an offset moves the gap before
// that offset, so everything read is contiguous in one TextScanner, which
// the parser can scan in place.
//
// Every read and search is bounded by the page; offsets passed in are
// clamped to [0, length()]. Single-threaded: one walk owns its page.
#ifndef WAYFETCH_EXTRACTION_PAGE_TEXT_H
#define WAYFETCH_EXTRACTION_PAGE_TEXT_H

#include <cstdint>
#include <string_view>

#include "core/string.h"
#include "core/text_scanner.h"
#include "xml/xml_parser.h"

namespace wayfetch::extraction {

struct Match {
  int32_t start = 0;
  int32_t end = 0;
};

// One start tag read from the page: the element's node in the parser that
// read it, the offset of its "<" and the offset just after it.
struct PageTag {
  int32_t element = -1;
  int32_t start = 0;
  int32_t after = 0;
};

class PageText {
 public:
  PageText() = default;

  // Takes `text` (its bytes, encoding, code page and context) as the page.
  void assign(const String& text);
  // The empty page (the main walk has none).
  void clear();

  int32_t length() const { return text_.length() - gap_length(); }
  bool empty() const { return length() == 0; }
  TextEncoding encoding() const { return text_.encoding(); }
  int32_t code_page() const { return text_.code_page(); }
  int32_t context() const { return text_.context(); }

  // Searches `pattern` from `from`, comparing characters (ASCII case folded
  // unless `case_sensitive`), and accepts only a match that starts at or
  // before `last_start`. Adds the bytes examined to `work`.
  bool find(const String& pattern, int32_t from, int32_t last_start, bool case_sensitive,
            Match& match, int64_t& work);

  // The bytes [start, end) as a text in the page's encoding.
  String copy(int32_t start, int32_t end);

  // Removes [start, end).
  void erase(int32_t start, int32_t end);
  // Replaces [start, end) by `bytes` (already in the page's encoding).
  void replace(int32_t start, int32_t end, std::string_view bytes);

  // Reads the next start tag at or after `from` with `parser` in the
  // single-tag mode. The parser's table grows by the tag's nodes (callers
  // reset it now and then). False when no tag is left. Offsets of the
  // tag's nodes are turned into page offsets by `page_offset` until the
  // page is read or edited again. Adds the bytes read to `work`.
  bool read_tag(XmlParser& parser, int32_t from, PageTag& tag, int64_t& work);
  // A source offset of a node just read by read_tag, as a page offset; -1 stays -1.
  int32_t page_offset(int32_t source_offset) const;

 private:
  int32_t gap_length() const { return gap_end_ - gap_start_; }
  int32_t clamp(int32_t offset) const;
  // Moves the gap so that it starts at or before `offset` and everything
  // from `offset` on is contiguous; returns the byte where `offset` lies.
  int32_t contiguous_from(int32_t offset);
  // Moves the gap to start exactly at `offset`.
  void gap_to(int32_t offset);

  TextScanner text_;
  int32_t gap_start_ = 0;
  int32_t gap_end_ = 0;
};

}  // namespace wayfetch::extraction

#endif
