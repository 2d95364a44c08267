#include "ebook/byte_source.h"

#include <cstring>

#include "core/file.h"

namespace wayfetch {

bool FileByteSource::fill() {
  if (at_ < filled_) return true;
  if (ended_) return false;
  filled_ = file_.read(block_.data(), static_cast<int32_t>(block_.size()));
  at_ = 0;
  if (filled_ <= 0) {
    failed_ = filled_ < 0;
    filled_ = 0;
    ended_ = true;
    return false;
  }
  return true;
}

int FileByteSource::get() {
  if (!fill()) return -1;
  return block_[static_cast<std::size_t>(at_++)];
}

std::string_view FileByteSource::take_run(char stop) {
  if (!fill()) return {};
  const char* begin = reinterpret_cast<const char*>(block_.data()) + at_;
  const auto available = static_cast<std::size_t>(filled_ - at_);
  const void* hit = std::memchr(begin, static_cast<unsigned char>(stop), available);
  const std::size_t length =
      hit == nullptr ? available : static_cast<std::size_t>(static_cast<const char*>(hit) - begin);
  at_ += static_cast<int32_t>(length);
  return {begin, length};
}

void FileByteSource::release() {
  // Bytes read ahead but not taken go back to the file.
  if (at_ < filled_) file_.seek(at_ - filled_, File::Origin::current);
  filled_ = 0;
  at_ = 0;
}

}  // namespace wayfetch
