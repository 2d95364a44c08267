#include "ebook/intermediate_file.h"

#include <limits>

namespace wayfetch {
namespace {

// Read and write, always created new.
constexpr uint8_t create_code = 0x17;
constexpr std::size_t buffer_size = 64 * 1024;

}  // namespace

IntermediateFile::IntermediateFile() {
  buffer_.reserve(buffer_size);
}

bool IntermediateFile::create(const std::string& path) {
  path_ = path;
  written_ = 0;
  buffer_.clear();
  failed_ = false;
  last_visible_ = 0;
  last_visible_at_ = last_open_ = open_before_visible_ = -1;
  return file_.open(path, create_code);
}

bool IntermediateFile::flush() {
  if (buffer_.empty()) return !failed_;
  if (!failed_) {
    const auto size = static_cast<int32_t>(buffer_.size());
    if (!file_.is_open() || file_.write(buffer_.data(), size) != size) failed_ = true;
  }
  // Positions keep counting after a failure, so what callers remember stays
  // consistent; the file is given up anyway.
  written_ += static_cast<int64_t>(buffer_.size());
  buffer_.clear();
  return !failed_;
}

int64_t IntermediateFile::anchor_position() const {
  if (last_visible_ == '>' && open_before_visible_ >= 0 &&
      last_visible_at_ - open_before_visible_ <= anchor_reach) {
    return open_before_visible_;
  }
  return position();
}

bool IntermediateFile::patch(int64_t position, std::string_view bytes) {
  if (!flush()) return false;
  if (position < 0 || position + static_cast<int64_t>(bytes.size()) > written_ ||
      bytes.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    return false;
  }
  const auto size = static_cast<int32_t>(bytes.size());
  if (file_.seek(position, File::Origin::start) != position ||
      file_.write(bytes.data(), size) != size || file_.seek(0, File::Origin::end) != written_) {
    failed_ = true;
    return false;
  }
  return true;
}

bool IntermediateFile::close() {
  const bool ok = flush();
  file_.close();
  return ok;
}

}  // namespace wayfetch
