#include "ebook/bitmap_pictures.h"

#include "imaging/picture_record.h"

namespace wayfetch {

void BitmapPictureSource::expect(const std::string& path) {
  // One thread would only move the work off the writer's thread.
  if (threads_ <= 1) return;
  if (pool_ == nullptr) {
    pool_ = std::make_unique<PicturePool>(
        threads_, [](const std::string& picture) { return convert_picture(picture); });
  }
  pool_->add(path);
}

bool BitmapPictureSource::make_record(const std::string& path, std::vector<uint8_t>& record,
                                      std::string& error_text) {
  PictureRecord picture =
      pool_ != nullptr && pool_->is_next(path) ? pool_->take() : convert_picture(path);
  if (!picture.converted) notes_.push_back(path + ": " + picture.message);
  record = std::move(picture.bytes);
  error_text.clear();
  return true;
}

}  // namespace wayfetch
