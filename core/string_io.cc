// Files, dates and the serialised form of String.
#include <cstring>
#include <new>
#include <string>

#include "core/byte_order.h"
#include "core/file.h"
#include "core/string.h"
#include "platform/date_format.h"

namespace wayfetch {
namespace {

constexpr int32_t record_header = 12;

}  // namespace

bool String::load_file(const String& path) {
  context_lease_ = ContextLease::register_text(path, ErrorSink::retention_keep);
  context_ = context_lease_.slot();
  File file;
  if (!file.open(path, File::read_existing)) {
    raise_error(errors::file_access, context_);
    return false;
  }
  // An empty name keeps the context just registered.
  bool ok = read_file(file, String());
  if (!ok && error != errors::file_access) raise_error(errors::file_access, context_);
  return ok;
}

bool String::read_file(File& file, const String& name) {
  if (!name.empty()) {
    context_lease_ = ContextLease::register_text(name, ErrorSink::retention_transient);
    context_ = context_lease_.slot();
  }
  int64_t size = file.size();
  if (size < 0 || size > INT32_MAX - 64) {
    raise_error(errors::file_access, context_);
    return false;
  }
  int32_t length = static_cast<int32_t>(size);
  TextEncoding encoding = TextEncoding::SingleByte;
  bool big_endian = false;
  file.seek(0, File::Origin::start);
  if (length >= 2) {
    uint8_t mark[2] = {0, 0};
    if (file.read(mark, 2) != 2) {
      raise_error(errors::file_access, context_);
      return false;
    }
    if ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF)) {
      encoding = TextEncoding::Unicode;
      big_endian = mark[0] == 0xFE;
      length -= 2;
    } else {
      file.seek(0, File::Origin::start);
    }
  }
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow)
                                        uint8_t[static_cast<std::size_t>(length) + 2]);
  if (!buffer) {
    raise_error(errors::string_allocation);
    return false;
  }
  if (file.read(buffer.get(), length) != length) {
    raise_error(errors::file_access, context_);
    return false;
  }
  // A big-endian mark means big-endian units: they are turned around so the
  // text is little-endian like every other UTF-16 text of the program.
  if (big_endian) {
    for (int32_t i = 0; i + 1 < length; i += 2) std::swap(buffer[i], buffer[i + 1]);
  }
  buffer[static_cast<std::size_t>(length)] = 0;
  buffer[static_cast<std::size_t>(length) + 1] = 0;
  data_ = std::move(buffer);
  capacity_ = length + 2;
  length_ = length;
  encoding_ = encoding;
  code_page_ = -1;
  window_start_ = 0;
  window_end_ = length_;
  cursor_ = -1;
  char_width_ = 0;
  return true;
}

bool String::format_date(const String& picture) {
  std::string formatted;
  std::string picture_text = picture.to_utf8();
  bool failed = !platform::format_date(picture_text, platform::today(), formatted);
  set_text(formatted, TextEncoding::SingleByte, -1);
  use_system_code_page();
  return failed;
}

int32_t String::serialize(std::span<uint8_t> buffer, int32_t& offset) const {
  std::string_view window = window_bytes();
  int32_t size = record_header + static_cast<int32_t>(window.size());
  if (!buffer.empty()) {
    if (offset < 0 || static_cast<std::size_t>(offset) > buffer.size() ||
        buffer.size() - static_cast<std::size_t>(offset) < static_cast<std::size_t>(size)) {
      return 0;
    }
    uint8_t* at = buffer.data() + offset;
    byte_order::put_le32(at, static_cast<uint32_t>(window.size()));
    byte_order::put_le32(at + 4, static_cast<uint32_t>(code_page_));
    byte_order::put_le32(at + 8, static_cast<uint32_t>(encoding_));
    if (!window.empty()) std::memcpy(at + record_header, window.data(), window.size());
  }
  offset += size;
  return size;
}

bool String::deserialize(const uint8_t*& cursor, int32_t& remaining) {
  clear();
  if (cursor == nullptr || remaining < record_header) {
    if (cursor != nullptr && remaining > 0) cursor += remaining;
    remaining = 0;
    raise_error(errors::out_of_string);
    return false;
  }
  uint32_t length = byte_order::get_le32(cursor);
  int32_t code_page = static_cast<int32_t>(byte_order::get_le32(cursor + 4));
  auto encoding = static_cast<TextEncoding>(byte_order::get_le32(cursor + 8));
  if (length > static_cast<uint32_t>(remaining - record_header)) {
    cursor += remaining;
    remaining = 0;
    raise_error(errors::out_of_string);
    return false;
  }
  set_text(cursor + record_header, static_cast<int32_t>(length), encoding, code_page);
  if (error == errors::string_allocation) {
    // The record is skipped; the text stays empty.
    length_ = 0;
    window_start_ = window_end_ = 0;
  }
  cursor += record_header + length;
  remaining -= record_header + static_cast<int32_t>(length);
  return error == 0;
}

}  // namespace wayfetch
