#include "ebook/windows_1252.h"

#include "platform/code_page.h"

namespace wayfetch {
namespace {

constexpr int first_special = 0x80;
constexpr int special_count = 32;  // 80-9F: the only bytes that are not their own character

// The characters of bytes 80-9F, as the platform's conversion (iconv, with
// the five holes 81 8D 8F 90 9D mapped to the C1 controls as Windows does)
// decodes them; taken once rather than kept as a second table of our own.
const std::u16string& special_characters() {
  static const std::u16string table = [] {
    std::array<uint8_t, special_count> bytes{};
    for (int i = 0; i < special_count; ++i) bytes[i] = static_cast<uint8_t>(first_special + i);
    std::u16string out;
    if (!platform::to_utf16(1252, bytes.data(), bytes.size(), out) ||
        out.size() != bytes.size()) {
      out.assign(bytes.begin(), bytes.end());
    }
    return out;
  }();
  return table;
}

// The byte-order mark says "UTF-8" and is no text: a reader would show it.
constexpr char32_t byte_order_mark = 0xFEFF;

}  // namespace

int windows_1252_byte(char32_t character) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
    return static_cast<int>(character);
  }
  const std::u16string& specials = special_characters();
  for (int i = 0; i < special_count; ++i) {
    if (specials[static_cast<std::size_t>(i)] == character) return first_special + i;
  }
  return -1;
}

void Utf8To1252::put(uint8_t byte, std::string& out) {
  if (held_ > 0) {
    // The second byte of a few leads has a narrower range: it rules out
    // over-long forms, surrogates and characters beyond U+10FFFF.
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (held_ == 1) {
      if (bytes_[0] == 0xE0) low = 0xA0;
      if (bytes_[0] == 0xED) high = 0x9F;
      if (bytes_[0] == 0xF0) low = 0x90;
      if (bytes_[0] == 0xF4) high = 0x8F;
    }
    if (byte >= low && byte <= high) {
      bytes_[static_cast<std::size_t>(held_++)] = byte;
      character_ = (character_ << 6) | (byte & 0x3F);
      if (held_ == length_) {
        held_ = 0;
        emit(character_, out);
      }
      return;
    }
    // Not UTF-8 after all: the bytes so far are Windows-1252 text; the new
    // byte may begin something valid.
    finish(out);
  }
  if (byte < 0x80) {
    out += static_cast<char>(byte);
    return;
  }
  if (byte >= 0xC2 && byte <= 0xDF) {
    length_ = 2;
    character_ = byte & 0x1F;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    length_ = 3;
    character_ = byte & 0x0F;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    length_ = 4;
    character_ = byte & 0x07;
  } else {
    out += static_cast<char>(byte);  // a stray continuation or an invalid lead
    return;
  }
  bytes_[0] = byte;
  held_ = 1;
}

void Utf8To1252::write(std::string_view bytes, std::string& out) {
  for (char c : bytes) put(static_cast<uint8_t>(c), out);
}

void Utf8To1252::finish(std::string& out) {
  out.append(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::size_t>(held_));
  held_ = 0;
}

void Utf8To1252::emit(char32_t character, std::string& out) {
  if (character == byte_order_mark) return;
  if (const int byte = windows_1252_byte(character); byte >= 0) {
    out += static_cast<char>(byte);
  } else if (question_marks_) {
    out += '?';
  } else {
    out += "&#" + std::to_string(static_cast<uint32_t>(character)) + ';';
  }
}

std::string windows_1252_or_question_marks(std::string_view text) {
  Utf8To1252 converter(Utf8To1252::Missing::question_mark);
  std::string out;
  converter.write(text, out);
  converter.finish(out);
  return out;
}

}  // namespace wayfetch
