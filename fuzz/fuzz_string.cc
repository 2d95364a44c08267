// Arbitrary bytes through the text layer: the pipe record reader, every
// encoding's character walk, conversions and the scanning readers.
#include <cstddef>
#include <cstdint>

#include "core/string.h"
#include "core/text_scanner.h"

using wayfetch::String;
using wayfetch::TextEncoding;
using wayfetch::TextScanner;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // Records as they would arrive through a pipe.
  const uint8_t* cursor = data;
  int32_t remaining = static_cast<int32_t>(size);
  for (int i = 0; i < 4 && remaining > 0; ++i) {
    String record;
    record.deserialize(cursor, remaining);
    record.next_char();
  }

  static constexpr int32_t code_pages[] = {932, 936, 950, 1252, 20105, 65001, -1, 4242};
  static constexpr TextEncoding encodings[] = {TextEncoding::SingleByte, TextEncoding::Unicode,
                                               TextEncoding::Multibyte};
  TextEncoding encoding = encodings[data[0] % 3];
  int32_t code_page = code_pages[data[1] % 8];
  TextScanner text;
  text.set_text(data + 2, static_cast<int32_t>(size - 2), encoding, code_page);

  int32_t lines = 0;
  while (text.next_char(&lines) != 0 || text.cursor() < text.length()) {
  }
  text.rewind();
  text.next_char();
  for (int i = 0; i < 64 && text.cursor() < text.length(); ++i) {
    switch (i % 5) {
      case 0: text.read_name(&lines, i % 2 == 0); break;
      case 1: text.read_value(&lines); break;
      case 2: text.read_balanced('(', ')'); break;
      case 3: text.read_token(); break;
      default: text.find(String("<a"), false); break;
    }
    if (text.window_end() <= text.cursor()) {
      text.next_char();
    } else {
      text.continue_after_window();
    }
  }
  String stripped;
  text.select_all();
  text.strip_tags(stripped);
  text.select_chars(1, 7);
  text.replace_all(String("a"), String("bb"));

  String copy(text);
  copy.select_all();
  copy.convert(TextEncoding::Unicode, -1);
  copy.convert(TextEncoding::Multibyte, 932);
  copy.lower_case();
  copy.select_extension(true);
  return 0;
}
