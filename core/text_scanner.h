// TextScanner: a String with the marks and checkpoint the parsers scan with.
//
// Each reader first skips blanks (tab, line feed, carriage return, space)
// unless stated, selects the token it read as the window, and leaves the
// cursor at the token's start, so the caller continues with
// continue_after_window. Readers never read outside the text. Not thread-safe.
#ifndef WAYFETCH_CORE_TEXT_SCANNER_H
#define WAYFETCH_CORE_TEXT_SCANNER_H

#include <cstdint>

#include "core/string.h"

namespace wayfetch {

class TextScanner : public String {
 public:
  using String::String;
  TextScanner() = default;
  explicit TextScanner(const String& text) : String(text) {}

  // Moves the cursor (starting with next_char when it is -1) past blanks.
  void skip_blanks(int32_t* line_counter = nullptr);
  // Cursor = window end, char width unknown.
  void continue_after_window();

  void mark_start_here() { mark_start_ = cursor_ < 0 ? 0 : cursor_; }
  void mark_end_here() { mark_end_ = cursor_ < 0 ? 0 : cursor_; }
  void set_marks(int32_t start, int32_t end) {
    mark_start_ = start;
    mark_end_ = end;
  }
  // Window = [mark_start, mark_end), clamped to the text.
  void select_marked() { select_bytes(mark_start_, mark_end_); }
  // Exchanges the window with the two marks.
  void swap_window_and_marks();
  int32_t mark_start() const { return mark_start_; }
  int32_t mark_end() const { return mark_end_; }

  // Saves and restores cursor and char width.
  void checkpoint() {
    checkpoint_cursor_ = cursor_;
    checkpoint_width_ = char_width_;
  }
  void back_to_checkpoint() {
    cursor_ = checkpoint_cursor_;
    char_width_ = checkpoint_width_;
  }

  // A name: starts with A-Z, a-z, "_" (or ":" unless strict); continues with
  // letters, digits, "_" (and "-", ".", ":" unless strict). Otherwise an
  // empty window at the cursor.
  void read_name(int32_t* line_counter, bool strict);
  // The run up to the next blank.
  void read_token();
  // The run of "0"-"9".
  void read_digits();
  // A value in single or double quotes (the text between them; ">" also ends
  // it; a value that reaches the end of the text selects nothing), or an
  // unquoted value up to a blank or ">".
  void read_value(int32_t* line_counter = nullptr);
  // Selects up to the `close` that balances an already read `open`. Returns
  // true, with an empty window at the end of the text, when unbalanced.
  bool read_balanced(uint16_t open, uint16_t close);
  // Searches from the cursor for the pattern's window; on success the window
  // is the match, else an empty window at the start. The cursor is restored
  // and the warning cleared.
  bool find(const String& pattern, bool case_sensitive);
  // `out` = the window without everything from "<" to the next ">"; when that
  // is empty, this window is made empty.
  void strip_tags(String& out);

 private:
  // The cursor as a starting byte offset (-1 counts as 0).
  int32_t position() const { return cursor_ < 0 ? 0 : cursor_; }
  // The character at byte `offset` and its width (0 at the end).
  uint16_t char_at(int32_t offset, int32_t* width) const;

  int32_t mark_start_ = 0;
  int32_t mark_end_ = 0;
  int32_t checkpoint_cursor_ = -1;
  int32_t checkpoint_width_ = 0;
};

}  // namespace wayfetch

#endif
