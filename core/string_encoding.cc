// Encodings of String: relabelling, transcoding through UTF-16, lower-casing.
#include <cstring>
#include <string>

#include "core/string.h"
#include "platform/code_page.h"
#include "platform/lower_case.h"

namespace wayfetch {
namespace {

TextEncoding kind_of(int32_t code_page) {
  return platform::is_double_byte_code_page(code_page) ? TextEncoding::Multibyte
                                                       : TextEncoding::SingleByte;
}

std::u16string units_of(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                          (static_cast<uint8_t>(bytes[i + 1]) << 8)));
  }
  return units;
}

std::string bytes_of(const std::u16string& units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

}  // namespace

void String::use_system_code_page() {
  code_page_ = platform::system_code_page;
  encoding_ = kind_of(code_page_);
}

bool String::to_system_code_page() {
  return convert(kind_of(platform::system_code_page), platform::system_code_page);
}

bool String::convert(TextEncoding encoding, int32_t code_page) {
  if (encoding == encoding_ && code_page == code_page_) {
    select_all();
    return true;
  }
  if (encoding == encoding_ && (code_page == -1 || code_page_ == -1)) {
    code_page_ = code_page;
    return true;
  }
  if (length_ == 0) {
    encoding_ = encoding;
    code_page_ = code_page;
    return true;
  }
  int32_t error_before = error;
  std::string_view text(reinterpret_cast<const char*>(data_.get()),
                        static_cast<std::size_t>(length_));

  // Source to UTF-16; an unset source code page counts as the system one.
  std::u16string units;
  bool recovered_conversion = false;
  if (encoding_ == TextEncoding::Unicode) {
    units = units_of(text);
  } else if (encoding_ == TextEncoding::SingleByte || encoding_ == TextEncoding::Multibyte) {
    int32_t source = code_page_ == -1 ? platform::system_code_page : code_page_;
    if (!platform::to_utf16(source, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                            units)) {
      if (encoding != TextEncoding::Unicode) {
        raise_error(errors::encoding_not_supported);
        return false;
      }
      raise_error(errors::unicode_conversion);
      recovered_conversion = true;
      units.clear();
      if (!platform::to_utf16(platform::system_code_page,
                              reinterpret_cast<const uint8_t*>(text.data()), text.size(), units)) {
        return false;
      }
    }
  } else {
    raise_error(errors::string_unknown);
    return false;
  }

  std::string result;
  if (encoding == TextEncoding::Unicode) {
    result = bytes_of(units);
  } else if (encoding == TextEncoding::SingleByte || encoding == TextEncoding::Multibyte) {
    int32_t target = code_page == -1 ? platform::system_code_page : code_page;
    // On Linux the system code page is UTF-8, which needs up to three bytes
    // per UTF-16 unit even for "single-byte" text: the output is sized by the
    // conversion itself, never cut to one byte per unit.
    if (!platform::from_utf16(target, units.data(), units.size(), result)) {
      raise_error(errors::encoding_not_supported);
      return false;
    }
  } else {
    raise_error(errors::string_unknown);
    return false;
  }

  // The new text replaces the old only when no error was pending before and
  // none but a recovered error 9 was raised on the way.
  if (error_before != 0 ||
      (error != 0 && !(recovered_conversion && error == errors::unicode_conversion)))
    return false;
  if (result.size() > static_cast<std::size_t>(INT32_MAX - 64)) {
    raise_error(errors::string_allocation);
    return false;
  }
  replace_bytes(result);
  encoding_ = encoding;
  code_page_ = code_page;
  select_all();
  cursor_ = -1;
  char_width_ = 0;
  return true;
}

void String::match_encoding(const String& other) {
  bool mine_unicode = encoding_ == TextEncoding::Unicode;
  bool theirs_unicode = other.encoding_ == TextEncoding::Unicode;
  if (mine_unicode && !theirs_unicode) {
    if (convert(TextEncoding::SingleByte, platform::system_code_page)) {
      encoding_ = other.encoding_;
      code_page_ = other.code_page_;
    }
  } else if (!mine_unicode && theirs_unicode) {
    encoding_ = TextEncoding::SingleByte;
    code_page_ = platform::system_code_page;
    convert(TextEncoding::Unicode, -1);
  } else if (!mine_unicode && !theirs_unicode) {
    encoding_ = other.encoding_;
    code_page_ = other.code_page_;
  }
}

const uint8_t* String::lower_case() {
  c_str();
  if (!data_) return nullptr;
  uint8_t* bytes = data_.get();
  switch (encoding_) {
    case TextEncoding::Unicode:
      for (int32_t i = 0; i + 1 < length_; i += 2) {
        char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        unit = platform::lower_unit(unit);
        bytes[i] = static_cast<uint8_t>(unit & 0xFF);
        bytes[i + 1] = static_cast<uint8_t>(unit >> 8);
      }
      break;
    case TextEncoding::Multibyte:
      // Double-byte characters are stepped over whole; only single bytes are lowered.
      for (int32_t i = 0; i < length_; ++i) {
        if (i + 1 < length_ && is_double_byte_lead(code_page_, bytes[i])) {
          ++i;
        } else {
          bytes[i] = platform::lower_byte(bytes[i]);
        }
      }
      break;
    default:
      for (int32_t i = 0; i < length_; ++i) bytes[i] = platform::lower_byte(bytes[i]);
      break;
  }
  return bytes;
}

const char* String::c_str() {
  if (!ensure_capacity(length_)) return "";
  data_[static_cast<std::size_t>(length_)] = 0;
  return reinterpret_cast<const char*>(data_.get());
}

const char16_t* String::wide_str() {
  // Two zero bytes at an even offset; an odd length gets one more byte of room.
  int32_t end = (length_ + 1) & ~1;
  if (!ensure_capacity(end)) return u"";
  data_[static_cast<std::size_t>(length_)] = 0;
  data_[static_cast<std::size_t>(end)] = 0;
  data_[static_cast<std::size_t>(end) + 1] = 0;
  return reinterpret_cast<const char16_t*>(data_.get());
}

std::string String::to_utf8() const {
  std::string_view text(reinterpret_cast<const char*>(data_.get()),
                        data_ ? static_cast<std::size_t>(length_) : 0);
  if (text.empty()) return {};
  std::u16string units;
  if (encoding_ == TextEncoding::Unicode) {
    units = units_of(text);
  } else {
    int32_t source = code_page_ == -1 ? platform::system_code_page : code_page_;
    if (source == platform::system_code_page) return std::string(text);
    if (!platform::to_utf16(source, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                            units)) {
      return std::string(text);
    }
  }
  std::string out;
  platform::from_utf16(platform::system_code_page, units.data(), units.size(), out);
  return out;
}

std::u16string String::window_utf16() const {
  std::string_view window = window_bytes();
  if (encoding_ == TextEncoding::Unicode) return units_of(window);
  std::u16string units;
  int32_t source = code_page_ == -1 ? platform::system_code_page : code_page_;
  platform::to_utf16(source, reinterpret_cast<const uint8_t*>(window.data()), window.size(), units);
  return units;
}

}  // namespace wayfetch
