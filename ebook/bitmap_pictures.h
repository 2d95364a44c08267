// BitmapPictureSource: the picture records of e-books, made by the picture
// library (imaging/picture_record.h). It lives in its own small library,
// wayfetch_ebook_pictures, so that the e-book library itself does not
// depend on the picture decoders; programs that publish link both.
//
// Every picture gets a record: one that cannot be read or decoded gets the
// picture library's placeholder, so the record numbers of the book stay
// valid, and a note saying why is kept for the caller to show. Not
// thread-safe (one source per publish).
#ifndef WAYFETCH_EBOOK_BITMAP_PICTURES_H
#define WAYFETCH_EBOOK_BITMAP_PICTURES_H

#include <cstdint>
#include <string>
#include <vector>

#include "ebook/prc_file.h"

namespace wayfetch {

class BitmapPictureSource : public PictureRecordSource {
 public:
  // Always true; `record` is the picture's bitmap or the placeholder.
  bool make_record(const std::string& path, std::vector<uint8_t>& record,
                   std::string& error_text) override;

  // "PATH: why" for each picture that got the placeholder, in order.
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  std::vector<std::string> notes_;
};

}  // namespace wayfetch

#endif
