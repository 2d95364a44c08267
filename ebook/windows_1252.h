// Windows-1252 for the book's text: the handheld and e-book readers take the
// text of a book (unless it declares Big5 or GB) and its database name in
// that code page, while today's pages and our own texts are mostly UTF-8.
//
// Utf8To1252 converts a UTF-8 byte stream as it comes, a byte or a run at a
// time (a character cut between two runs is held until its last byte):
// characters Windows-1252 has become their byte, the others the numeric
// character reference "&#NNNN;" (decimal); the byte-order mark is dropped.
// Bytes that are not valid UTF-8
// are taken as Windows-1252 already and pass unchanged, so a page that only
// claimed to be UTF-8 loses nothing. Pure values; thread-safe per object.
#ifndef WAYFETCH_EBOOK_WINDOWS_1252_H
#define WAYFETCH_EBOOK_WINDOWS_1252_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace wayfetch {

// The Windows-1252 byte of a Unicode character, or -1 when it has none.
int windows_1252_byte(char32_t character);

class Utf8To1252 {
 public:
  // What a character Windows-1252 lacks becomes.
  enum class Missing { reference, question_mark };
  explicit Utf8To1252(Missing missing = Missing::reference)
      : question_marks_(missing == Missing::question_mark) {}

  // Appends the Windows-1252 form of `byte` to `out` (nothing while a
  // character is incomplete).
  void put(uint8_t byte, std::string& out);
  // The same for a run of bytes.
  void write(std::string_view bytes, std::string& out);
  // Appends the bytes of a character left incomplete, unchanged.
  void finish(std::string& out);
  bool pending() const { return held_ > 0; }

 private:
  void emit(char32_t character, std::string& out);

  bool question_marks_;
  std::array<uint8_t, 4> bytes_{};
  int held_ = 0;   // bytes of the current character taken so far
  int length_ = 0;  // bytes the current character needs
  char32_t character_ = 0;
};

// `text` (UTF-8, invalid bytes taken as Windows-1252) in Windows-1252 with
// "?" for each character the code page lacks: the form of a database name.
std::string windows_1252_or_question_marks(std::string_view text);

// Whether `text` starts with the UTF-8 byte-order mark EF BB BF.
inline bool starts_with_utf8_mark(std::string_view text) {
  return text.starts_with("\xEF\xBB\xBF");
}

}  // namespace wayfetch

#endif
