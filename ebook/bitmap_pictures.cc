#include "ebook/bitmap_pictures.h"

#include "imaging/picture_record.h"

namespace wayfetch {

bool BitmapPictureSource::make_record(const std::string& path, std::vector<uint8_t>& record,
                                      std::string& error_text) {
  PictureRecord picture = convert_picture(path);
  if (!picture.converted) notes_.push_back(path + ": " + picture.message);
  record = std::move(picture.bytes);
  error_text.clear();
  return true;
}

}  // namespace wayfetch
