#include "ebook/byte_source.h"

#include "core/file.h"

namespace wayfetch {

int FileByteSource::get() {
  if (at_ == filled_) {
    if (ended_) return -1;
    filled_ = file_.read(block_.data(), static_cast<int32_t>(block_.size()));
    at_ = 0;
    if (filled_ <= 0) {
      filled_ = 0;
      ended_ = true;
      return -1;
    }
  }
  return block_[static_cast<std::size_t>(at_++)];
}

void FileByteSource::release() {
  // Bytes read ahead but not taken go back to the file.
  if (at_ < filled_) file_.seek(at_ - filled_, File::Origin::current);
  filled_ = 0;
  at_ = 0;
}

}  // namespace wayfetch
