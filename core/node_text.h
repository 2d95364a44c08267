// NodeText: the text held by a node record, a compact owned copy.
//
// A node record keeps two texts (a name or value, and an attribute's name)
// with their encoding, code page and context slot, but none of a String's
// scanning state: no window, cursor or status. Texts of up to 11 bytes live
// in the record itself, longer ones in one heap block. 24 bytes, so that a
// page of 40 000 nodes does not spend most of its table on empty scanners.
//
// Reading it never allocates: comparisons run over the bytes in place. Where
// a String is needed (to scan, cut or append), str() makes one. Setting a
// text copies the bytes; the context is only named, never held (the parser
// holds the slots of the texts it parsed).
// Not thread-safe.
#ifndef WAYFETCH_CORE_NODE_TEXT_H
#define WAYFETCH_CORE_NODE_TEXT_H

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/string.h"

namespace wayfetch {

class NodeText {
 public:
  static constexpr int32_t inline_capacity = 11;

  NodeText() = default;
  NodeText(const NodeText& other) { copy_from(other); }
  NodeText(NodeText&& other) noexcept { take(other); }
  NodeText& operator=(const NodeText& other) {
    if (this != &other) {
      release();
      copy_from(other);
    }
    return *this;
  }
  NodeText& operator=(NodeText&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  // The other's window with its encoding, code page and context.
  NodeText& operator=(const String& text) {
    assign(text);
    return *this;
  }
  ~NodeText() { release(); }

  // ---- setting ----
  // Replaces the bytes and the labels; the context stays as it was.
  void set_text(std::string_view bytes, TextEncoding encoding, int32_t code_page);
  void set_context(int32_t slot) { context_ = slot; }
  void assign(const String& text);
  // Lower-cases the text in place, as String::lower_case does.
  void lower_case();

  // ---- reading ----
  std::string_view window_bytes() const {
    return std::string_view(reinterpret_cast<const char*>(bytes()),
                            static_cast<std::size_t>(length_));
  }
  int32_t length() const { return length_; }
  int32_t window_length() const { return length_; }
  bool empty() const { return length_ == 0; }
  // An encoding outside the three valid ones reads back as 0, just as invalid.
  TextEncoding encoding() const { return static_cast<TextEncoding>(encoding_); }
  int32_t code_page() const { return code_page_; }
  int32_t context() const { return context_; }
  // The whole text as UTF-8 (for the platform layer, messages and tests).
  std::string to_utf8() const { return str().to_utf8(); }
  // A String holding the text, its labels and context; window the whole text.
  String str() const;
  // The same into `out`, as String::assign does (status cleared, `silent` kept).
  void copy_to(String& out) const {
    out.assign_bytes(window_bytes(), encoding(), code_page_, context_);
  }
  // The bytes, to change in place (never their number).
  uint8_t* mutable_data() { return bytes(); }
  CharReader reader() const {
    return CharReader{bytes(), 0, length_, encoding(), code_page_};
  }

  // ---- comparison (as String's: characters, case folding A-Z only) ----
  int compare(const String& other, bool prefix, bool case_sensitive) const;
  bool equals(const String& other) const { return compare(other, false, false) == 0; }
  bool equals(const char* text) const;
  bool starts_with(const char* text) const;
  bool is_blank() const;

 private:
  const uint8_t* bytes() const {
    if (length_ <= inline_capacity) return small_;
    uint8_t* block;
    std::memcpy(&block, small_, sizeof block);
    return block;
  }
  uint8_t* bytes() {
    return const_cast<uint8_t*>(static_cast<const NodeText*>(this)->bytes());
  }
  void release();
  void copy_from(const NodeText& other);
  void take(NodeText& other) noexcept;

  // The bytes themselves, or a pointer to the heap block when longer than
  // inline_capacity.
  uint8_t small_[inline_capacity] = {};
  uint8_t encoding_ = static_cast<uint8_t>(TextEncoding::SingleByte);
  int32_t length_ = 0;
  int32_t code_page_ = -1;
  int32_t context_ = -1;
};

}  // namespace wayfetch

#endif
