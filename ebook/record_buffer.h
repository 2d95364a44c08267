// RecordBuffer: the bytes of one e-book record with their length.
//
// The PalmDOC operations (ebook/palmdoc.h) replace a buffer's contents with
// their result; the buffer owns its bytes and grows as needed, so no result
// is ever cut short. Not thread-safe; a buffer belongs to the operation that
// uses it.
#ifndef WAYFETCH_EBOOK_RECORD_BUFFER_H
#define WAYFETCH_EBOOK_RECORD_BUFFER_H

#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace wayfetch {

class RecordBuffer {
 public:
  RecordBuffer() = default;
  explicit RecordBuffer(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  RecordBuffer(const uint8_t* bytes, int32_t length) { assign(bytes, length); }
  explicit RecordBuffer(std::string_view bytes) {
    assign(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
  }

  // Copies `length` bytes; nullptr or a negative length leaves the buffer empty.
  void assign(const uint8_t* bytes, int32_t length) {
    if (bytes == nullptr || length <= 0) {
      bytes_.clear();
      return;
    }
    bytes_.assign(bytes, bytes + length);
  }
  // Takes over `bytes` as the new contents.
  void replace(std::vector<uint8_t>&& bytes) { bytes_ = std::move(bytes); }
  void clear() { bytes_.clear(); }

  int32_t length() const { return static_cast<int32_t>(bytes_.size()); }
  bool empty() const { return bytes_.empty(); }
  const uint8_t* data() const { return bytes_.data(); }
  std::span<const uint8_t> bytes() const { return bytes_; }
  std::string_view view() const {
    return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
  }
  const std::vector<uint8_t>& vector() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace wayfetch

#endif
