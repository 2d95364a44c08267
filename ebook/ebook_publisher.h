// EbookPublisher: turns the content files of an EbookPackage, with their
// links and pictures, into an e-book (.prc).
//
// publish() works in two stages. It writes an intermediate HTML text: a head
// with the package's metadata and guide, an optional notice page, the body of
// each content file (PageConverter: links, anchors and pictures rewritten to
// the book's filepos and recindex forms, style sheets turned into tags) and
// an "eBook Info" page; then it fills in the link positions and picture
// numbers. A PrcConverter packs that text into compressed text records and
// appends one picture record per distinct picture, in the order of first
// appearance (picture k is record text records + k).
//
// Working files (the intermediate "PRCtemp_N.tmp", "guide.htm" and
// "xyz_metadata.htm") live in a private folder of their own under the
// temporary folder, so the page's folder may be read-only and its own files
// are never touched; they are removed on every path. The e-book is written
// under a temporary name beside `output_path` and renamed over it only when
// complete, so a failed publish leaves an earlier e-book as it was.
//
// The book's text is Windows-1252 unless a content file declares Big5 or GB:
// the pages of a UTF-8 package (EbookPackage::code_page) and our own texts
// (metadata, guide, "eBook Info") are converted, characters Windows-1252
// lacks written as "&#NNNN;"; links, anchors and pictures are still found
// from the original text. The database name is the title in Windows-1252,
// "?" for characters it lacks.
//
// Failure: publish() returns false and error_text() holds the collected
// messages, each followed by " / " (at most 5114 characters in all). The
// package and the picture source are borrowed. One publisher per publish;
// not thread-safe (distinct publishers may run on distinct threads).
#ifndef WAYFETCH_EBOOK_EBOOK_PUBLISHER_H
#define WAYFETCH_EBOOK_EBOOK_PUBLISHER_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ebook/ebook_package.h"
#include "ebook/prc_file.h"
#include "ebook/reference_table.h"
#include "ebook/style_sheet.h"

namespace wayfetch {

class IntermediateFile;

// The maker's web address, printed at the end of the notice page of books
// made with Quick publish.
inline constexpr std::string_view maker_web_address = "https://www.lorvane.example/";

// Receives the progress of a publish, as a progress bar shows it: a range
// per stage, then positions within it.
class PublishProgress {
 public:
  enum class Stage {
    content,       // range: the spine entries; position: the entry converted
    text_records,  // range: all records; position: the records written
    pictures,      // range unchanged; position: the records written
  };
  virtual ~PublishProgress() = default;
  virtual void set_range(Stage stage, int32_t count) = 0;
  virtual void set_position(int32_t position) = 0;
};

class EbookPublisher {
 public:
  static constexpr std::size_t max_error_text = 5114;

  // REQUIRES: `package` and `pictures` outlive the publisher. `pictures`
  // makes the picture records; a book with pictures fails without it.
  EbookPublisher(const EbookPackage& package, PictureRecordSource* pictures)
      : package_(package), pictures_(pictures) {}

  void set_progress(PublishProgress* progress) { progress_ = progress; }
  // Asked between pieces of work (tags and text of a page, records,
  // pictures); once it answers true, publish() stops, removes its working
  // files and the partial book (an earlier book stays as it was) and returns
  // false with "Publishing was interrupted". Empty: never asked.
  void set_stop_check(std::function<bool()> stop) { stop_ = std::move(stop); }
  // Where the converter writes its "\rconverting record %d of %d" lines;
  // nullptr (the default) writes none: a library prints nothing unless its
  // caller, the command line say, asks for it.
  void set_converter_progress(std::FILE* out) { converter_progress_ = out; }

  // The whole conversion into `output_path`: compressed text records when
  // `compress`, the notice page when `notice_page`. True on success.
  bool publish(const std::string& output_path, bool compress, bool notice_page);

  // The failure texts of the last publish ("" after a success).
  const std::string& error_text() const { return error_text_; }
  // The links, anchors and picture slots of the last publish.
  const ReferenceTable& references() const { return references_; }
  // The number of text records of the last book written.
  int32_t text_record_count() const { return text_record_count_; }

 private:
  bool build_intermediate(const std::string& folder, const std::string& path, bool notice_page);
  bool write_working_page(const std::string& path, std::string_view text);
  // Converts one page; `utf8`: its text is UTF-8 to be stored as Windows-1252.
  bool convert_page(IntermediateFile& out, const std::string& path, bool utf8);
  bool write_book(const std::string& intermediate, const std::string& output_path, bool compress);
  void add_error(std::string_view text);
  bool stop_requested() const;
  void set_range(PublishProgress::Stage stage, int32_t count);
  void set_position(int32_t position);

  const EbookPackage& package_;
  PictureRecordSource* pictures_ = nullptr;
  PublishProgress* progress_ = nullptr;
  std::FILE* converter_progress_ = nullptr;
  std::function<bool()> stop_;

  ReferenceTable references_;
  std::unique_ptr<StyleSheet> style_;
  int32_t text_record_count_ = 0;
  std::string error_text_;
};

}  // namespace wayfetch

#endif
