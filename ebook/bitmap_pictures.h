// BitmapPictureSource: the picture records of e-books, made by the picture
// library (imaging/picture_record.h). It lives in its own small library,
// wayfetch_ebook_pictures, so that the e-book library itself does not
// depend on the picture decoders; programs that publish link both.
//
// Every picture gets a record: one that cannot be read or decoded gets the
// picture library's placeholder, so the record numbers of the book stay
// valid, and a note saying why is kept for the caller to show.
//
// The pictures announced by expect() are converted ahead on a PicturePool
// (ebook/picture_pool.h) and handed out in their order; the records are the
// same bytes as converting each in make_record(). Not thread-safe (one
// source per publish); its pool's threads are its own.
#ifndef WAYFETCH_EBOOK_BITMAP_PICTURES_H
#define WAYFETCH_EBOOK_BITMAP_PICTURES_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ebook/picture_pool.h"
#include "ebook/prc_file.h"

namespace wayfetch {

class BitmapPictureSource : public PictureRecordSource {
 public:
  // `threads`: how many pictures are converted at once ahead of the writer;
  // 0 takes PicturePool::default_threads(), and 1 converts each picture in
  // make_record() on the caller's thread.
  explicit BitmapPictureSource(int threads = 0)
      : threads_(threads > 0 ? threads : PicturePool::default_threads()) {}

  // Always true; `record` is the picture's bitmap or the placeholder.
  bool make_record(const std::string& path, std::vector<uint8_t>& record,
                   std::string& error_text) override;
  void expect(const std::string& path) override;
  void expect_none() override { pool_.reset(); }

  // "PATH: why" for each picture that got the placeholder, in order.
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  int threads_;
  std::unique_ptr<PicturePool> pool_;
  std::vector<std::string> notes_;
};

}  // namespace wayfetch

#endif
