#include "ebook/intermediate_file.h"

#include <algorithm>
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
  utf8_text_ = false;
  to_1252_ = Utf8To1252();
  last_visible_ = 0;
  last_visible_at_ = last_open_ = open_before_visible_ = -1;
  return file_.open(path, create_code);
}

void IntermediateFile::set_utf8_text(bool on) {
  if (to_1252_.pending()) {
    converted_.clear();
    to_1252_.finish(converted_);
    write_bytes(converted_);
  }
  utf8_text_ = on;
}

void IntermediateFile::write(std::string_view bytes) {
  // Plain ASCII, the bulk of most pages, needs no conversion.
  if (utf8_text_ && (to_1252_.pending() ||
                     std::any_of(bytes.begin(), bytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))) {
    converted_.clear();
    to_1252_.write(bytes, converted_);
    write_bytes(converted_);
    return;
  }
  write_bytes(bytes);
}

void IntermediateFile::write_bytes(std::string_view bytes) {
  // The same bookkeeping as put() byte by byte: the last visible byte of
  // the run, and the last "<" at or before it ("<" is itself visible).
  std::size_t visible = bytes.size();
  while (visible > 0 && ascii::is_html_space(bytes[visible - 1])) --visible;
  if (visible > 0) {
    const int64_t at = position();
    const std::size_t open = bytes.rfind('<', visible - 1);
    if (open != std::string_view::npos) last_open_ = at + static_cast<int64_t>(open);
    last_visible_ = bytes[visible - 1];
    last_visible_at_ = at + static_cast<int64_t>(visible - 1);
    open_before_visible_ = last_open_;
  }
  while (!bytes.empty()) {
    if (buffer_.size() == buffer_.capacity()) flush();
    const std::size_t room = std::min(bytes.size(), buffer_.capacity() - buffer_.size());
    buffer_.insert(buffer_.end(), bytes.data(), bytes.data() + room);
    bytes.remove_prefix(room);
  }
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
  set_utf8_text(false);
  const bool ok = flush();
  file_.close();
  return ok;
}

}  // namespace wayfetch
