// PrcConverter: writes the e-book database file (.prc) from an intermediate
// text file, and reads the text of an existing PalmDOC file back (import).
//
// Writing: set the fields, open(image_count), next_text_record() until it
// returns false, add_image() for each distinct picture in order, close().
// Every record is written at the end of the file and its offset in the
// record list is filled in at that moment; the layout is in
// docs/prc_format.md. A progress line "\rconverting record %d of %d" goes to
// the progress output (standard output unless changed).
//
// Import: set_source(the .prc file), open_import(), read_text_record(i) for
// i below text_record_count(), close(). Any file is safe to import: damaged
// headers, offsets and records are refused with an error text.
//
// Failures return false and leave a formatted message in error_text(); after
// a failure the converter refuses further records. The picture source is not
// owned. Not thread-safe.
#ifndef WAYFETCH_EBOOK_PRC_CONVERTER_H
#define WAYFETCH_EBOOK_PRC_CONVERTER_H

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/file.h"
#include "ebook/prc_file.h"

namespace wayfetch {

class PrcConverter : public PrcFile {
 public:
  // Bytes of text per record.
  static constexpr int32_t record_size = 4096;
  // Length of the fixed database header and of record 0.
  static constexpr int32_t header_size = 78;
  static constexpr int32_t record0_size = 214;
  // The largest record the import reads; the handheld keeps records below 64 KB.
  static constexpr int32_t max_import_record = 65535;

  explicit PrcConverter(PictureRecordSource* pictures = nullptr) : pictures_(pictures) {}
  ~PrcConverter() override { close(); }

  void set_source(std::string path) { source_path_ = std::move(path); }
  void set_target(std::string path) { target_path_ = std::move(path); }
  // The title's bytes become the database name (cut to 31 bytes); pass it
  // in the code page the handheld shows.
  void set_title(std::string_view title) { title_ = title; }
  void set_compress(bool flag) { compress_ = flag; }
  void set_pictures(PictureRecordSource* pictures) { pictures_ = pictures; }
  // Where progress lines go; nullptr (the default) writes none.
  void set_progress_output(std::FILE* out) { progress_ = out; }

  // Opens the source, creates the target (replacing any file), counts the
  // records and writes the header. False with error_text on failure.
  bool open(int32_t image_count);
  // Writes the next text record. False when all text records are done, and
  // on failure (failed() then tells them apart).
  bool next_text_record();
  // Converts and writes the next picture record. False on failure, also when
  // the text records are not all written or more pictures come than were
  // announced to open().
  bool add_image(const std::string& picture_path);
  // Closes both files. False when a failure happened or, after writing, when
  // fewer records were written than the record list holds.
  bool close();

  bool write_header() override;
  bool write_text_record(const uint8_t* bytes, int32_t length, int32_t index) override;
  bool write_image_record(const std::string& picture_path, int32_t index) override;
  bool open_import() override;
  bool read_text_record(RecordBuffer& destination, int32_t index) override;
  // The same, also giving the decoded length (0 past the last text record).
  bool read_text_record(RecordBuffer& destination, int32_t& length_out, int32_t index) {
    const bool ok = read_text_record(destination, index);
    length_out = destination.length();
    return ok;
  }

  int32_t text_record_count() const { return text_record_count_; }
  int32_t image_record_count() const { return image_record_count_; }
  int32_t record_count() const { return record_count_; }
  int32_t text_length() const { return text_length_; }
  int32_t records_done() const { return records_done_; }
  bool compress() const { return compress_; }
  const std::string& title() const { return title_; }
  const std::string& source_path() const { return source_path_; }
  const std::string& target_path() const { return target_path_; }
  bool failed() const { return failed_; }
  // The formatted text of the last failure ("" when none).
  const std::string& error_text() const { return error_text_; }

 private:
  bool fail(std::string text);
  bool write_record(std::span<const uint8_t> bytes, int32_t index);
  bool read_import_record(int32_t record, std::vector<uint8_t>& bytes, std::string& why);

  PictureRecordSource* pictures_ = nullptr;
  std::FILE* progress_ = nullptr;

  std::string source_path_;
  std::string target_path_;
  std::string title_;
  bool compress_ = true;

  File source_;
  File target_;
  bool writing_ = false;
  int32_t text_record_count_ = 0;
  int32_t image_record_count_ = 0;
  int32_t record_count_ = 0;
  int32_t text_length_ = 0;
  int32_t records_done_ = 0;

  // Import: the file's size and the offsets of its record list.
  int64_t import_size_ = 0;
  std::vector<uint32_t> import_offsets_;

  bool failed_ = false;
  std::string error_text_;
};

}  // namespace wayfetch

#endif
