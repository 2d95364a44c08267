// The node record's compact text.
#include "core/node_text.h"

#include <cstdlib>

#include "core/ascii.h"

namespace wayfetch {

namespace {

uint8_t encoding_byte(TextEncoding encoding) {
  auto value = static_cast<int32_t>(encoding);
  return value >= 1 && value <= 3 ? static_cast<uint8_t>(value) : 0;
}

}  // namespace

void NodeText::release() {
  if (length_ > inline_capacity) std::free(bytes());
  length_ = 0;
}

void NodeText::copy_from(const NodeText& other) {
  encoding_ = other.encoding_;
  code_page_ = other.code_page_;
  context_ = other.context_;
  set_text(other.window_bytes(), other.encoding(), other.code_page_);
}

void NodeText::take(NodeText& other) noexcept {
  std::memcpy(small_, other.small_, sizeof small_);
  encoding_ = other.encoding_;
  length_ = other.length_;
  code_page_ = other.code_page_;
  context_ = other.context_;
  other.length_ = 0;
}

void NodeText::set_text(std::string_view bytes, TextEncoding encoding, int32_t code_page) {
  // The bytes may be this text's own: copy them before letting go.
  auto length = static_cast<int32_t>(bytes.size() < INT32_MAX ? bytes.size() : INT32_MAX);
  if (length <= inline_capacity) {
    uint8_t copy[inline_capacity];
    if (length > 0) std::memcpy(copy, bytes.data(), static_cast<std::size_t>(length));
    release();
    if (length > 0) std::memcpy(small_, copy, static_cast<std::size_t>(length));
    length_ = length;
  } else {
    auto* block = static_cast<uint8_t*>(std::malloc(static_cast<std::size_t>(length)));
    if (block == nullptr) {
      // Out of memory: the text is left empty rather than half written.
      release();
    } else {
      std::memcpy(block, bytes.data(), static_cast<std::size_t>(length));
      release();
      std::memcpy(small_, &block, sizeof block);
      length_ = length;
    }
  }
  encoding_ = encoding_byte(encoding);
  code_page_ = code_page;
}

void NodeText::assign(const String& text) {
  set_text(text.window_bytes(), text.encoding(), text.code_page());
  context_ = text.context();
}

void NodeText::lower_case() {
  if (length_ == 0) return;
  String lowered = str();
  lowered.lower_case();
  std::memcpy(bytes(), lowered.data(), static_cast<std::size_t>(length_));
}

String NodeText::str() const {
  String text;
  copy_to(text);
  return text;
}

int NodeText::compare(const String& other, bool prefix, bool case_sensitive) const {
  return String::compare_readers(reader(), CharReader::window_of(other), prefix, case_sensitive);
}

bool NodeText::equals(const char* text) const {
  return String::compare_readers(reader(), CharReader::literal(text), false, false) == 0;
}

bool NodeText::starts_with(const char* text) const {
  return String::compare_readers(reader(), CharReader::literal(text), true, false) == 0;
}

bool NodeText::is_blank() const {
  CharReader chars = reader();
  while (!chars.at_end()) {
    if (!ascii::is_blank(chars.next())) return false;
  }
  return true;
}

}  // namespace wayfetch
