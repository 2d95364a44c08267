// Small text helpers of the configuration reader and writer, kept free of
// allocation and code-page conversion where the text is plain ASCII: a
// configuration of a thousand eNews has a hundred thousand names and values.
// Thread-safe (pure functions).
#ifndef WAYFETCH_CONFIG_CONFIG_TEXT_H
#define WAYFETCH_CONFIG_CONFIG_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>

#include "core/string.h"
#include "core/text_scanner.h"
#include "xml/xml_parser.h"

namespace wayfetch::config_text {

// The window as UTF-16; ASCII bytes are widened directly, anything else goes
// through the text's code page (String::window_utf16).
std::u16string utf16_of(const String& text);

// The same with A-Z folded to a-z, for comparing names.
std::u16string folded_utf16_of(const String& text);

// UTF-8 bytes (a path, a settings value) as a text in the system code page.
String utf8_text(std::string_view utf8);

// Whether the window equals `ascii`, A-Z matching a-z (a name of the
// configuration's vocabulary: "enews", "file-count").
bool is_name(const String& text, std::string_view ascii);

// A decimal number of 0 to 4294967295, blanks around it allowed, into `out`.
// False (and `out` unchanged) for a sign, any other character, no digits or
// a larger number: such a value never wraps into a wrong one.
bool read_number(const String& text, uint32_t& out);

// Parses a whole document into `tree` (an empty parser set to `mode`), after
// a quiet look at its prolog for the code page it names ("shift_jis"...),
// as most documents name none. False when the parser reported an error.
bool parse_document(TextScanner& text, XmlParser& tree);

}  // namespace wayfetch::config_text

#endif
