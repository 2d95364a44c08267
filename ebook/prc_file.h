// PrcFile: the five operations of an e-book database file (.prc), and
// PictureRecordSource, the picture converter a writer gets its bitmap
// records from.
//
// The file layout is in docs/prc_format.md. Implementations report failure
// by returning false; see the implementing class for its message texts.
#ifndef WAYFETCH_EBOOK_PRC_FILE_H
#define WAYFETCH_EBOOK_PRC_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "ebook/record_buffer.h"

namespace wayfetch {

class PrcFile {
 public:
  PrcFile() = default;
  PrcFile(const PrcFile&) = delete;
  PrcFile& operator=(const PrcFile&) = delete;
  virtual ~PrcFile() = default;

  // Writes the database header, the record list and record 0.
  virtual bool write_header() = 0;
  // Writes text record `index` (0-based among the text records) from
  // `length` bytes of text, compressed when the file asks for it.
  virtual bool write_text_record(const uint8_t* bytes, int32_t length, int32_t index) = 0;
  // Converts the picture and writes it as record `index` (0-based across all
  // records after record 0, so the first picture's index is the number of
  // text records).
  virtual bool write_image_record(const std::string& picture_path, int32_t index) = 0;
  // Checks an existing file for import and reads its parameters.
  virtual bool open_import() = 0;
  // Reads back and decodes text record `index`; `destination` receives the
  // text with line feeds expanded to carriage return + line feed. An index
  // past the last text record gives an empty destination and true.
  virtual bool read_text_record(RecordBuffer& destination, int32_t index) = 0;
};

// Makes the bitmap record of one picture. The picture library implements
// it; tests feed ready bytes. Called on the thread that writes the file.
// A source may convert a book's pictures ahead of time, on threads of its
// own, once told which are coming.
class PictureRecordSource {
 public:
  PictureRecordSource() = default;
  PictureRecordSource(const PictureRecordSource&) = delete;
  PictureRecordSource& operator=(const PictureRecordSource&) = delete;
  virtual ~PictureRecordSource() = default;

  // Replaces `record` with the complete bitmap file for the picture at
  // `path`. Returns false and sets `error_text` when no record can be made;
  // decoder exceptions are turned into such a failure, never thrown through.
  virtual bool make_record(const std::string& path, std::vector<uint8_t>& record,
                           std::string& error_text) = 0;

  // One more picture make_record() will be asked for, after those expected
  // before; a source may start converting it. Asking for others stays
  // allowed. The default prepares nothing.
  virtual void expect(const std::string& path) { static_cast<void>(path); }
  // None of the expected pictures not yet asked for will be: work prepared
  // for them may be dropped.
  virtual void expect_none() {}
};

}  // namespace wayfetch

#endif
