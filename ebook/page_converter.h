// PageConverter: copies one content file of a book into the intermediate
// text, rewriting what the handheld reads differently.
//
// A text file (name ending in "txt") is copied byte for byte up to its end
// or a 0x1A byte. An HTML file (ending in "htm" or "html") is read up to its
// BODY tag, taking the style sheets of its head (a STYLE element, a linked
// local "text/css" file); then its body is copied up to "</BODY>", followed
// by "<hr>". In the body every tag is offered, in this order, to:
//   - anchors: a tag with an ID, or an A with a NAME, registers that name at
//     the current position (on a short start tag just before it, see
//     IntermediateFile::anchor_position);
//   - links: an A, REFERENCE or METADATA tag with an HREF is written with
//     filepos="XXXXXXXXXX" added;
//   - pictures: an IMG with a SRC becomes <img src="NAME" recindex="XXXXX">
//     and gets a picture slot when NAME is a GIF, JPEG or PNG file that
//     exists (a one-letter name such as "a.gif" is not embedded);
//   - the current style sheet (StyleSheet::rewrite_tag);
// and is written as read when none of them wrote it. Files of other kinds
// are skipped.
//
// Failures return false with a message in `error` (see convert()). The
// converter writes into an IntermediateFile, a ReferenceTable and the
// current style sheet, which it borrows; not thread-safe.
#ifndef WAYFETCH_EBOOK_PAGE_CONVERTER_H
#define WAYFETCH_EBOOK_PAGE_CONVERTER_H

#include <functional>
#include <memory>
#include <string>

#include "ebook/html_tag.h"
#include "ebook/style_sheet.h"

namespace wayfetch {

class IntermediateFile;
class ReferenceTable;
class TagReader;

class PageConverter {
 public:
  // REQUIRES: all three outlive the converter. `style` holds the current
  // style sheet (or none) and is replaced when a page brings its own.
  // `stop` (may be empty) is asked before each tag and block of text; when it
  // answers true, convert() returns false with `error` empty.
  PageConverter(IntermediateFile& out, ReferenceTable& references,
                std::unique_ptr<StyleSheet>& style, const std::function<bool()>& stop)
      : out_(out), references_(references), style_(style), stop_(stop) {}

  // Converts the file at `path` (a normalised path). On failure returns
  // false with `error` set to one of:
  //   "The file PATH, referenced in the Manifest is not available"
  //   "The file PATH, referenced in the Manifest is not a valid OEB Document : no tag <BODY> found"
  //   "The style sheet CSS, linked from PATH, is not available"
  // Write failures are left to the caller (IntermediateFile::failed()).
  bool convert(const std::string& path, std::string& error);

 private:
  bool stopped() const { return stop_ && stop_(); }
  bool copy_text_file(const std::string& path, std::string& error);
  // Handles the head's STYLE and LINK tags; false when a linked local style
  // sheet cannot be read.
  bool take_head_tag(const HtmlTag& tag, TagReader& reader, const std::string& path,
                     std::string& error);
  void write_body_tag(const HtmlTag& tag, const std::string& path);
  bool write_link(const HtmlTag& tag, const std::string& path);
  bool write_picture(const HtmlTag& tag, const std::string& path);

  IntermediateFile& out_;
  ReferenceTable& references_;
  std::unique_ptr<StyleSheet>& style_;
  const std::function<bool()>& stop_;
  std::string styled_;  // reused for the style sheet's output
};

}  // namespace wayfetch

#endif
