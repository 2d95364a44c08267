// IntermediateFile: the HTML text an e-book is made from, written front to
// back through a buffer, with in-place patches once it is complete.
//
// Positions are byte offsets from the start of the file, so a position is
// also the reading position in the finished book. The writer remembers where
// the last tag before the current position opened, which places an anchor
// that follows a short start tag ("<h2><a name=x>") on that tag instead.
//
// Text handed over may be UTF-8 that the book stores as Windows-1252
// (set_utf8_text): it is converted on the way in (ebook/windows_1252.h), so
// positions count the bytes the book holds.
//
// A failed write (disk full, I/O error) makes failed() true; later writes are
// dropped. The file is created new, replacing any file of that name. Not
// thread-safe.
#ifndef WAYFETCH_EBOOK_INTERMEDIATE_FILE_H
#define WAYFETCH_EBOOK_INTERMEDIATE_FILE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ascii.h"
#include "core/file.h"
#include "ebook/windows_1252.h"

namespace wayfetch {

class IntermediateFile {
 public:
  // An anchor moves back onto a tag whose "<" is at most this far before its ">".
  static constexpr int64_t anchor_reach = 11;

  IntermediateFile();

  // Creates the file (replacing any). False when it cannot be created.
  bool create(const std::string& path);
  // Writes what is buffered and closes. False when any write failed.
  bool close();
  bool is_open() const { return file_.is_open(); }
  bool failed() const { return failed_; }
  const std::string& path() const { return path_; }

  // Whether what put() and write() receive from now on is UTF-8 to be
  // written as Windows-1252 with "&#NNNN;" for characters it lacks. A
  // character left incomplete by the text before is written as it stands.
  void set_utf8_text(bool on);

  void put(char c) {
    if (utf8_text_ && (static_cast<unsigned char>(c) >= 0x80 || to_1252_.pending())) {
      converted_.clear();
      to_1252_.put(static_cast<uint8_t>(c), converted_);
      write_bytes(converted_);
      return;
    }
    if (buffer_.size() == buffer_.capacity()) flush();
    track(c, position());
    buffer_.push_back(c);
  }
  void write(std::string_view bytes);
  // Writes the buffer to the file.
  bool flush();

  // The offset the next byte will have (a character still incomplete not
  // counted).
  int64_t position() const { return written_ + static_cast<int64_t>(buffer_.size()); }
  // Where an anchor registered now points: the current position, or the "<"
  // of the tag just before it when nothing but blanks follows that tag and
  // the tag is at most anchor_reach bytes long.
  int64_t anchor_position() const;

  // Overwrites bytes at `position` (already written) without changing the
  // length. False when out of range or the write fails.
  bool patch(int64_t position, std::string_view bytes);

 private:
  void write_bytes(std::string_view bytes);
  void track(char c, int64_t at) {
    if (ascii::is_html_space(c)) return;
    if (c == '<') last_open_ = at;
    last_visible_ = c;
    last_visible_at_ = at;
    open_before_visible_ = last_open_;
  }

  File file_;
  std::string path_;
  std::vector<char> buffer_;
  int64_t written_ = 0;
  bool failed_ = false;
  // The last byte that is not blank, its offset, and the latest "<" at or before it.
  char last_visible_ = 0;
  int64_t last_visible_at_ = -1;
  int64_t last_open_ = -1;
  int64_t open_before_visible_ = -1;
  bool utf8_text_ = false;
  Utf8To1252 to_1252_;
  std::string converted_;  // reused for converted text
};

}  // namespace wayfetch

#endif
