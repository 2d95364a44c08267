// String: the one text type of the program.
//
// A String holds raw bytes together with the encoding they are to be read in
// (single-byte code page, UTF-16LE, or a double-byte code page), so text from
// Western, Japanese and Chinese pages is carried and compared without loss
// until it is written out. A String is also a scanner over itself: it carries
// a selection window (a byte range) and a cursor; parsers move the cursor and
// narrow the window instead of cutting copies. Operations that take a second
// String use only that string's window unless stated.
//
// Failures are recorded in the String's ErrorState (error 2 allocation, 3 bad
// arguments, 4 mixed encodings, 5 unsupported code page, 6 file access,
// 7 cursor before the text, 9 conversion to UTF-16; warning 2 past the end)
// and the operation returns a neutral value. Not thread-safe: even reading
// operations move the cursor.
#ifndef WAYFETCH_CORE_STRING_H
#define WAYFETCH_CORE_STRING_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/error_sink.h"
#include "core/error_state.h"

namespace wayfetch {

class File;
class NodeText;
struct CharReader;

// How the bytes of a String are read. Values other than these three are
// invalid and make character operations fail with error 4.
enum class TextEncoding : int32_t {
  SingleByte = 1,  // one byte per character, in `code_page`
  Unicode = 2,     // UTF-16 little-endian, two bytes per unit
  Multibyte = 3,   // double-byte code page: one byte, or a lead byte plus a trail byte
};

// The saved scanning state of a String.
struct CursorState {
  int32_t window_start = 0;
  int32_t window_end = 0;
  int32_t cursor = -1;
  int32_t char_width = 0;
};

class String : public ErrorState {
 public:
  // An empty SingleByte text, code page not set, without buffer.
  String() = default;
  // Copies C text up to its terminating zero into a buffer of length + 2
  // bytes (also for ""); nullptr gives an empty string without buffer.
  String(const char* text);  // NOLINT(google-explicit-constructor): literals are texts
  // Copies `text` as SingleByte bytes, code page not set.
  explicit String(std::string_view text);
  // Copies the other's window (see assign).
  String(const String& other);
  // Copies a node's text with its labels and context, as assign does.
  String(const NodeText& text);  // NOLINT(google-explicit-constructor): a node text is a text
  String& operator=(const NodeText& text);
  String(String&& other) noexcept;
  String& operator=(const String& other);
  String& operator=(String&& other) noexcept;
  ~String() = default;

  // Copies the other's window and takes its encoding, code page and context;
  // the window is then the whole text, cursor -1, status cleared.
  void assign(const String& other);
  // The same from bytes outside any String (not this one's own), naming
  // the context slot without holding it.
  void assign_bytes(std::string_view window, TextEncoding encoding, int32_t code_page,
                    int32_t context);
  // Replaces the content. nullptr with a non-zero length: error 3, unchanged.
  void set_text(const uint8_t* bytes, int32_t length, TextEncoding encoding, int32_t code_page);
  void set_text(std::string_view bytes, TextEncoding encoding, int32_t code_page);
  // Length 0, window empty, cursor -1, context -1, status cleared; keeps the buffer.
  void clear();

  // ---- appending (never moves the window; call select_all afterwards) ----
  // Appends the other's window; different encodings or code pages: error 4.
  void append(const String& other);
  // Appends ASCII bytes (as UTF-16 units to a Unicode string).
  void append_ascii(std::string_view text);
  // Appends one code unit (one byte, or two bytes for Unicode).
  void append_char(uint16_t c);
  // Appends `value` in `base` (digits 0-9 then A-Z); a base below 2 appends nothing.
  void append_number(uint32_t value, uint32_t base);
  // Appends `value` as upper-case hexadecimal without leading zeros.
  void append_hex(uint32_t value);
  // Makes room for that many characters.
  void reserve(int32_t characters);

  // ---- window and cursor ----
  void select_all();
  // Window = characters [from, to), clamped; returns the characters in it.
  int32_t select_chars(int32_t from, int32_t to);
  // Window = bytes [start, end), clamped to the text.
  void select_bytes(int32_t start, int32_t end);
  // Cursor -1, char width 1, window empty at 0, status cleared.
  void rewind();
  void select_file_name();
  void select_directory(bool with_separator);
  void select_extension(bool with_dot);
  // The character at the cursor (lead*256+trail for a double-byte one).
  // Cursor -1 on a non-empty text: error 7, 0. At or past the end: warning 2, 0.
  uint16_t current_char();
  // Advances by one character and returns the new one (0 with warning 2 at the
  // end). Counts line feeds into `line_counter` when given.
  uint16_t next_char(int32_t* line_counter = nullptr);
  bool in_window() const;
  bool window_empty() const { return window_start_ >= window_end_; }
  CursorState save_cursor() const;
  void restore_cursor(const CursorState& state);
  // Moves the cursor to a byte offset (-1 .. length); char width unknown.
  void set_cursor(int32_t offset);

  // ---- comparison (case folding is A-Z only; both status headers untouched) ----
  // Compares the windows character by character (UTF-16 units; a double-byte
  // character as lead*256+trail): -1, 0 or 1 as this window sorts before,
  // equal to or after the other's. With `prefix`, also 0 when the other's
  // window is a prefix of this one, and 1 when this one ends first. An empty
  // window sorts before a non-empty one, also as a prefix.
  int compare(const String& other, bool prefix, bool case_sensitive) const;
  // The same over two character readers (an empty range sorts first).
  static int compare_readers(CharReader mine, CharReader theirs, bool prefix,
                             bool case_sensitive);
  bool equals(const String& other) const { return compare(other, false, false) == 0; }
  bool equals(const char* text) const;
  bool starts_with(const char* text) const;
  bool starts_with(const String& other) const { return compare(other, true, false) == 0; }
  // Every character of the window is tab, line feed, carriage return or space.
  bool is_blank() const;

  // ---- numbers (no sign, no validation: every character counts as a digit) ----
  int32_t to_integer() const;
  int32_t to_integer_base(int32_t base) const;
  // Sum of the window's bytes taken as signed 8-bit values.
  int32_t checksum() const;

  // ---- encodings ----
  // Relabels as the system code page (UTF-8) without converting.
  void use_system_code_page();
  bool to_system_code_page();
  // Transcodes the whole text; returns false and leaves it unchanged on failure.
  bool convert(TextEncoding encoding, int32_t code_page);
  // Makes this text combinable with `other` (see the class comment).
  void match_encoding(const String& other);
  // Lower-cases the whole text in place and returns the bytes.
  const uint8_t* lower_case();
  // The bytes followed by one zero byte (the buffer is made when absent).
  const char* c_str();
  // The text followed by a zero UTF-16 unit.
  const char16_t* wide_str();
  // The window's bytes.
  std::string_view window_bytes() const;
  // The whole text as UTF-8 (for the platform layer, messages and tests).
  std::string to_utf8() const;
  // The window as UTF-16.
  std::u16string window_utf16() const;

  // ---- files ----
  // Reads a whole file, detecting a UTF-16 byte-order mark. While an error
  // sink is installed the path is registered (retention 1) as this text's
  // context; the slot is released when this text and its copies (and the
  // parsers that parsed them) are gone. Error 6 on failure.
  bool load_file(const String& path);
  // The same from an open file; `name` is registered with retention 2.
  bool read_file(File& file, const String& name);

  // ---- other ----
  // Replaces every case-insensitive occurrence of `find` in the window.
  int32_t replace_all(const String& find, const String& replacement);
  // Overwrites the window with the other's window, padding with spaces.
  void fill_from(const String& other);
  // Sets the text to today's date with a date picture (empty: the short
  // date), in the system code page. Returns true when formatting FAILED.
  bool format_date(const String& picture);
  // Writes a record (12-byte little-endian header: length, code page,
  // encoding; then the window's bytes) at buffer[offset] and adds its size to
  // `offset`. An empty `buffer` only computes the size. Returns the record
  // size, or 0 (writing nothing) when the record does not fit the buffer.
  int32_t serialize(std::span<uint8_t> buffer, int32_t& offset) const;
  // Reads one record at `cursor`, advancing it and reducing `remaining`. A
  // record that claims more bytes than remain: error 7, empty text, and the
  // rest of the input is consumed so that callers' loops end.
  bool deserialize(const uint8_t*& cursor, int32_t& remaining);

  // ---- fields ----
  TextEncoding encoding() const { return encoding_; }
  int32_t code_page() const { return code_page_; }
  int32_t length() const { return length_; }
  int32_t capacity() const { return capacity_; }
  int32_t window_start() const { return window_start_; }
  int32_t window_end() const { return window_end_; }
  int32_t window_length() const { return window_end_ - window_start_; }
  int32_t cursor() const { return cursor_; }
  int32_t char_width() const { return char_width_; }
  int32_t context() const { return context_; }
  // Names a slot without holding it (the holder keeps it alive).
  void set_context(int32_t slot) {
    context_ = slot;
    context_lease_.reset();
  }
  // The share in the context slot this text holds (empty unless loaded from
  // a file while a sink was installed, or copied from such a text).
  const ContextLease& context_lease() const { return context_lease_; }
  // Relabels without converting.
  void set_encoding(TextEncoding encoding, int32_t code_page) {
    encoding_ = encoding;
    code_page_ = code_page;
  }
  // The bytes (nullptr when no buffer exists).
  const uint8_t* data() const { return data_.get(); }
  uint8_t* mutable_data() { return data_.get(); }
  bool empty() const { return length_ == 0; }

  // Whether `byte` starts a double-byte character in this text's code page.
  // An unsupported code page raises error 5 and answers false.
  bool is_lead_byte(uint8_t byte);

 protected:
  // The width of the character at byte `offset` (0 at or past the end).
  int32_t width_at(int32_t offset);
  // Grows the buffer so that `length` bytes plus two terminators fit.
  bool ensure_capacity(int32_t length);
  // Replaces the content with `bytes` without touching encoding and context.
  void replace_bytes(std::string_view bytes);
  // The C-text constructors: SingleByte, code page not set, capacity length + 2.
  void copy_text(std::string_view text);

  TextEncoding encoding_ = TextEncoding::SingleByte;
  int32_t code_page_ = -1;
  int32_t window_start_ = 0;
  int32_t window_end_ = 0;
  int32_t cursor_ = -1;
  int32_t context_ = -1;
  int32_t char_width_ = 0;
  int32_t capacity_ = 0;
  int32_t length_ = 0;
  std::unique_ptr<uint8_t[]> data_;
  ContextLease context_lease_;  // holds context_ when this text registered it
};

// Decodes characters of a byte range without moving any cursor: the shared
// reader of comparisons, searches and conversions.
struct CharReader {
  const uint8_t* data;
  int32_t position;
  int32_t end;
  TextEncoding encoding;
  int32_t code_page;

  static CharReader window_of(const String& text);
  // C text up to its zero, read as String(text) reads it.
  static CharReader literal(const char* text);
  bool at_end() const { return position >= end; }
  // The next character (lead*256+trail for a double-byte one) with
  // `position` moved past its bytes; 0 when at the end.
  uint16_t next();
};

// Whether a byte is a lead byte of a double-byte code page (932, 936, 950).
bool is_double_byte_lead(int32_t code_page, uint8_t byte);

// yes = 0, no = 1, unknown = 2.
enum class YesNo : int32_t { yes = 0, no = 1, unknown = 2 };
// "yes" and "no" (any case); anything else is unknown.
YesNo parse_yes_no(const String& text);
const char* yes_no_text(YesNo value);

}  // namespace wayfetch

#endif
