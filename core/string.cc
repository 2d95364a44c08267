// Construction, appending, window and cursor of String.
#include "core/string.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/node_text.h"
#include "platform/code_page.h"

namespace wayfetch {
namespace {

// Texts are addressed with 32-bit offsets; two bytes stay free for terminators.
constexpr int64_t max_length = INT32_MAX - 64;

bool is_valid(TextEncoding encoding) {
  return encoding == TextEncoding::SingleByte || encoding == TextEncoding::Unicode ||
         encoding == TextEncoding::Multibyte;
}

}  // namespace

bool is_double_byte_lead(int32_t code_page, uint8_t byte) {
  switch (code_page) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
      return byte >= 0xA1 && byte <= 0xFE;
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

// ---- CharReader ----

CharReader CharReader::window_of(const String& text) {
  return CharReader{text.data(), text.window_start(), text.window_end(), text.encoding(),
                    text.code_page()};
}

CharReader CharReader::literal(const char* text) {
  auto length = text == nullptr ? std::size_t{0} : std::strlen(text);
  return CharReader{reinterpret_cast<const uint8_t*>(text), 0,
                    static_cast<int32_t>(length < INT32_MAX ? length : INT32_MAX),
                    TextEncoding::SingleByte, -1};
}

uint16_t CharReader::next() {
  if (position >= end || data == nullptr) return 0;
  uint8_t first = data[position];
  if (encoding == TextEncoding::Unicode) {
    if (position + 1 >= end) {
      position = end;
      return first;
    }
    uint16_t unit = static_cast<uint16_t>(first | (data[position + 1] << 8));
    position += 2;
    return unit;
  }
  if (encoding == TextEncoding::Multibyte && position + 1 < end &&
      is_double_byte_lead(code_page, first)) {
    uint16_t value = static_cast<uint16_t>((first << 8) | data[position + 1]);
    position += 2;
    return value;
  }
  ++position;
  return first;
}

// ---- construction ----

String::String(const char* text) {
  if (text != nullptr) copy_text(std::string_view(text));
}

String::String(std::string_view text) {
  copy_text(text);
}

void String::copy_text(std::string_view text) {
  set_text(text, TextEncoding::SingleByte, -1);
  // A text, even an empty one, owns a buffer of its length plus the two
  // terminator bytes; only the null pointer gives a string without buffer.
  if (!data_ && error == 0) {
    data_.reset(new (std::nothrow) uint8_t[2]{0, 0});
    if (!data_) {
      raise_error(errors::string_allocation);
      return;
    }
    capacity_ = 2;
  }
}

String::String(const String& other) : ErrorState() {
  assign(other);
}

String::String(const NodeText& text) : ErrorState() {
  text.copy_to(*this);
}

String& String::operator=(const NodeText& text) {
  text.copy_to(*this);
  return *this;
}

String::String(String&& other) noexcept
    : ErrorState(other),
      encoding_(other.encoding_),
      code_page_(other.code_page_),
      window_start_(other.window_start_),
      window_end_(other.window_end_),
      cursor_(other.cursor_),
      context_(other.context_),
      char_width_(other.char_width_),
      capacity_(other.capacity_),
      length_(other.length_),
      data_(std::move(other.data_)),
      context_lease_(std::move(other.context_lease_)) {
  other.capacity_ = 0;
  other.length_ = 0;
  other.window_start_ = other.window_end_ = 0;
  other.cursor_ = -1;
}

String& String::operator=(const String& other) {
  assign(other);
  return *this;
}

String& String::operator=(String&& other) noexcept {
  if (this == &other) return *this;
  ErrorState::operator=(other);
  encoding_ = other.encoding_;
  code_page_ = other.code_page_;
  window_start_ = other.window_start_;
  window_end_ = other.window_end_;
  cursor_ = other.cursor_;
  context_ = other.context_;
  context_lease_ = std::move(other.context_lease_);
  char_width_ = other.char_width_;
  capacity_ = other.capacity_;
  length_ = other.length_;
  data_ = std::move(other.data_);
  other.capacity_ = 0;
  other.length_ = 0;
  other.window_start_ = other.window_end_ = 0;
  other.cursor_ = -1;
  return *this;
}

void String::assign(const String& other) {
  if (this == &other) return;
  assign_bytes(other.window_bytes(), other.encoding_, other.code_page_, other.context_);
  context_lease_ = other.context_lease_;
}

void String::assign_bytes(std::string_view window, TextEncoding encoding, int32_t code_page,
                          int32_t context) {
  // Pointer and size rather than a string_view: g++ 12 at -O3 with -fPIC
  // takes the view for a dangling pointer.
  const char* const bytes = window.data();
  const auto size = static_cast<int32_t>(window.size());
  encoding_ = encoding;
  code_page_ = code_page;
  context_ = context;
  context_lease_.reset();
  clear_status();
  length_ = 0;
  if (size > 0) {
    if (!ensure_capacity(size)) return;
    std::memcpy(data_.get(), bytes, static_cast<std::size_t>(size));
    length_ = size;
    data_[static_cast<std::size_t>(length_)] = 0;
  }
  window_start_ = 0;
  window_end_ = length_;
  cursor_ = -1;
  char_width_ = 1;
}

void String::set_text(const uint8_t* bytes, int32_t length, TextEncoding encoding,
                      int32_t code_page) {
  if ((bytes == nullptr && length != 0) || length < 0) {
    raise_error(errors::string_self_check);
    return;
  }
  if (length == 0) {
    data_.reset();
    capacity_ = 0;
    length_ = 0;
  } else {
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow)
                                          uint8_t[static_cast<std::size_t>(length) + 2]);
    if (!buffer) {
      raise_error(errors::string_allocation);
      return;
    }
    std::memcpy(buffer.get(), bytes, static_cast<std::size_t>(length));
    buffer[static_cast<std::size_t>(length)] = 0;
    buffer[static_cast<std::size_t>(length) + 1] = 0;
    data_ = std::move(buffer);
    capacity_ = length + 2;
    length_ = length;
  }
  encoding_ = encoding;
  code_page_ = code_page;
  window_start_ = 0;
  window_end_ = length_;
  cursor_ = -1;
  char_width_ = 0;
}

void String::set_text(std::string_view bytes, TextEncoding encoding, int32_t code_page) {
  if (static_cast<int64_t>(bytes.size()) > max_length) {
    raise_error(errors::string_allocation);
    return;
  }
  set_text(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()),
           encoding, code_page);
}

void String::clear() {
  length_ = 0;
  window_start_ = window_end_ = 0;
  cursor_ = -1;
  context_ = -1;
  context_lease_.reset();
  char_width_ = 0;
  clear_status();
}

bool String::ensure_capacity(int32_t length) {
  if (length < 0 || static_cast<int64_t>(length) > max_length) {
    raise_error(errors::string_allocation);
    return false;
  }
  if (capacity_ >= length + 2 && data_) return true;
  // The growth rule: the needed size plus 22 bytes of slack.
  int64_t wanted = static_cast<int64_t>(length) + 2 + 22;
  if (wanted > INT32_MAX) wanted = INT32_MAX;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[static_cast<std::size_t>(wanted)]);
  if (!buffer) {
    raise_error(errors::string_allocation);
    return false;
  }
  if (data_ && length_ > 0)
    std::memcpy(buffer.get(), data_.get(), static_cast<std::size_t>(length_));
  std::memset(buffer.get() + length_, 0, static_cast<std::size_t>(wanted - length_));
  data_ = std::move(buffer);
  capacity_ = static_cast<int32_t>(wanted);
  return true;
}

void String::replace_bytes(std::string_view bytes) {
  length_ = 0;
  if (!bytes.empty()) {
    if (!ensure_capacity(static_cast<int32_t>(std::min<std::size_t>(bytes.size(), max_length)))) {
      return;
    }
    std::memcpy(data_.get(), bytes.data(), bytes.size());
    length_ = static_cast<int32_t>(bytes.size());
    data_[static_cast<std::size_t>(length_)] = 0;
    data_[static_cast<std::size_t>(length_) + 1] = 0;
  }
}

// ---- appending ----

void String::append(const String& other) {
  if (other.encoding_ != encoding_ || other.code_page_ != code_page_ || !is_valid(encoding_)) {
    raise_error(errors::string_unknown);
    return;
  }
  std::string_view window = other.window_bytes();
  if (window.empty()) return;
  int64_t needed = static_cast<int64_t>(length_) + static_cast<int64_t>(window.size());
  if (needed > max_length) {
    raise_error(errors::string_allocation);
    return;
  }
  // `other` may be this string: copy through a view that survives reallocation.
  std::string copy;
  if (&other == this) {
    copy.assign(window);
    window = copy;
  }
  if (!ensure_capacity(static_cast<int32_t>(needed))) return;
  std::memcpy(data_.get() + length_, window.data(), window.size());
  length_ = static_cast<int32_t>(needed);
  data_[static_cast<std::size_t>(length_)] = 0;
}

void String::append_ascii(std::string_view text) {
  for (char c : text) append_char(static_cast<uint8_t>(c));
}

void String::append_char(uint16_t c) {
  if (!is_valid(encoding_)) {
    raise_error(errors::string_unknown);
    return;
  }
  int32_t width = encoding_ == TextEncoding::Unicode ? 2 : 1;
  if (!ensure_capacity(length_ + width)) return;
  data_[static_cast<std::size_t>(length_++)] = static_cast<uint8_t>(c & 0xFF);
  if (width == 2) data_[static_cast<std::size_t>(length_++)] = static_cast<uint8_t>(c >> 8);
  data_[static_cast<std::size_t>(length_)] = 0;
}

void String::append_number(uint32_t value, uint32_t base) {
  if (base < 2 || base > 36) return;
  // The highest power of the base not above the value, found by
  // multiplication that stops before it would overflow.
  uint32_t power = 1;
  while (power <= value / base) power *= base;
  while (power > 0) {
    uint32_t digit = value / power;
    value %= power;
    append_char(static_cast<uint16_t>(digit < 10 ? '0' + digit : 'A' + digit - 10));
    power /= base;
  }
}

void String::append_hex(uint32_t value) {
  append_number(value, 16);
}

void String::reserve(int32_t characters) {
  if (characters <= 0) return;
  int64_t bytes = static_cast<int64_t>(characters) * (encoding_ == TextEncoding::Unicode ? 2 : 1);
  if (bytes > max_length) {
    raise_error(errors::string_allocation);
    return;
  }
  ensure_capacity(static_cast<int32_t>(bytes));
}

// ---- window and cursor ----

void String::select_all() {
  window_start_ = 0;
  window_end_ = length_;
}

void String::select_bytes(int32_t start, int32_t end) {
  start = std::clamp(start, 0, length_);
  end = std::clamp(end, start, length_);
  window_start_ = start;
  window_end_ = end;
}

int32_t String::select_chars(int32_t from, int32_t to) {
  if (from < 0) from = 0;
  if (to < from) to = from;
  if (encoding_ == TextEncoding::SingleByte) {
    select_bytes(from, to);
    return window_end_ - window_start_;
  }
  if (encoding_ == TextEncoding::Unicode) {
    int64_t start = std::min<int64_t>(int64_t{2} * from, length_);
    int64_t end = std::min<int64_t>(int64_t{2} * to, length_);
    select_bytes(static_cast<int32_t>(start), static_cast<int32_t>(end));
    return (window_end_ - window_start_ + 1) / 2;
  }
  // Multibyte: walk characters from the start with the lead-byte test, so an
  // unsupported code page raises error 5 as reading characters does.
  int32_t at = 0;
  int32_t index = 0;
  while (index < from && at < length_) {
    at += width_at(at);
    ++index;
  }
  int32_t start = at;
  int32_t count = 0;
  while (index < to && at < length_) {
    at += width_at(at);
    ++index;
    ++count;
  }
  window_start_ = start;
  window_end_ = at;
  return count;
}

void String::rewind() {
  cursor_ = -1;
  char_width_ = 1;
  window_start_ = window_end_ = 0;
  clear_status();
}

namespace {
// The byte offset of the last "/" or "\" in the text, or -1. Both are
// ASCII and never trail bytes in UTF-16 units, so a byte walk by units is safe.
int32_t last_separator(const String& text) {
  CharReader reader{text.data(), 0, text.length(), text.encoding(), text.code_page()};
  int32_t found = -1;
  while (!reader.at_end()) {
    int32_t at = reader.position;
    uint16_t c = reader.next();
    if (c == '/' || c == '\\') found = at;
  }
  return found;
}
}  // namespace

void String::select_file_name() {
  rewind();
  int32_t separator = last_separator(*this);
  int32_t width = encoding_ == TextEncoding::Unicode ? 2 : 1;
  select_bytes(separator < 0 ? 0 : separator + width, length_);
}

void String::select_directory(bool with_separator) {
  rewind();
  int32_t separator = last_separator(*this);
  if (separator < 0) {
    select_bytes(0, 0);
    return;
  }
  int32_t width = encoding_ == TextEncoding::Unicode ? 2 : 1;
  select_bytes(0, with_separator ? separator + width : separator);
}

void String::select_extension(bool with_dot) {
  select_file_name();
  CharReader reader = CharReader::window_of(*this);
  int32_t dot = -1;
  while (!reader.at_end()) {
    int32_t at = reader.position;
    if (reader.next() == '.') dot = at;
  }
  if (dot < 0) {
    select_bytes(window_end_, window_end_);
    return;
  }
  int32_t width = encoding_ == TextEncoding::Unicode ? 2 : 1;
  select_bytes(with_dot ? dot : dot + width, window_end_);
}

bool String::is_lead_byte(uint8_t byte) {
  if (code_page_ == -1) return false;
  if (!platform::is_double_byte_code_page(code_page_)) {
    raise_error(errors::encoding_not_supported);
    return false;
  }
  return is_double_byte_lead(code_page_, byte);
}

int32_t String::width_at(int32_t offset) {
  if (offset < 0 || offset >= length_) return 0;
  switch (encoding_) {
    case TextEncoding::SingleByte:
      return 1;
    case TextEncoding::Unicode:
      return 2;
    case TextEncoding::Multibyte:
      // A lead byte cut off at the end of the text counts as one byte.
      if (offset + 1 < length_ && is_lead_byte(data_[static_cast<std::size_t>(offset)])) return 2;
      return 1;
    default:
      raise_error(errors::string_unknown);
      return 1;
  }
}

uint16_t String::current_char() {
  if (cursor_ == -1) {
    if (length_ > 0) {
      raise_error(errors::out_of_string);
    } else {
      raise_warning(warnings::past_end);
    }
    return 0;
  }
  if (cursor_ < 0 || cursor_ >= length_) {
    raise_warning(warnings::past_end);
    return 0;
  }
  if (char_width_ == 0) char_width_ = width_at(cursor_);
  const uint8_t* at = data_.get() + cursor_;
  switch (encoding_) {
    case TextEncoding::SingleByte:
      return at[0];
    case TextEncoding::Unicode:
      if (cursor_ + 1 >= length_) {
        raise_warning(warnings::past_end);
        return 0;
      }
      return static_cast<uint16_t>(at[0] | (at[1] << 8));
    case TextEncoding::Multibyte:
      if (char_width_ == 2) return static_cast<uint16_t>((at[0] << 8) | at[1]);
      return at[0];
    default:
      raise_error(errors::string_unknown);
      return 0;
  }
}

uint16_t String::next_char(int32_t* line_counter) {
  if (length_ == 0) {
    cursor_ = 0;
    raise_warning(warnings::past_end);
    return 0;
  }
  if (cursor_ == -1) {
    cursor_ = 0;
  } else {
    if (cursor_ >= length_) {
      cursor_ = length_;
      raise_warning(warnings::past_end);
      return 0;
    }
    if (char_width_ == 0) char_width_ = width_at(cursor_);
    cursor_ += char_width_ > 0 ? char_width_ : 1;
  }
  char_width_ = 0;
  if (cursor_ >= length_) {
    cursor_ = length_;
    raise_warning(warnings::past_end);
    return 0;
  }
  uint16_t c = current_char();
  if (line_counter != nullptr && c == '\n') ++*line_counter;
  return c;
}

bool String::in_window() const {
  return cursor_ != -1 && window_start_ <= cursor_ && cursor_ < window_end_;
}

CursorState String::save_cursor() const {
  return CursorState{window_start_, window_end_, cursor_, char_width_};
}

void String::restore_cursor(const CursorState& state) {
  window_start_ = std::clamp(state.window_start, 0, length_);
  window_end_ = std::clamp(state.window_end, window_start_, length_);
  cursor_ = std::clamp(state.cursor, -1, length_);
  char_width_ = state.char_width;
}

void String::set_cursor(int32_t offset) {
  cursor_ = std::clamp(offset, -1, length_);
  char_width_ = 0;
}

std::string_view String::window_bytes() const {
  if (!data_ || window_end_ <= window_start_) return {};
  return std::string_view(reinterpret_cast<const char*>(data_.get()) + window_start_,
                          static_cast<std::size_t>(window_end_ - window_start_));
}

// ---- YesNo ----

YesNo parse_yes_no(const String& text) {
  if (text.equals("yes")) return YesNo::yes;
  if (text.equals("no")) return YesNo::no;
  return YesNo::unknown;
}

const char* yes_no_text(YesNo value) {
  switch (value) {
    case YesNo::yes:
      return "yes";
    case YesNo::no:
      return "no";
    default:
      return "unknown";
  }
}

}  // namespace wayfetch
