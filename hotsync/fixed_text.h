// Copies text into the fixed-size, zero-terminated character fields of the
// conduit interface's records.
#ifndef WAYFETCH_HOTSYNC_FIXED_TEXT_H
#define WAYFETCH_HOTSYNC_FIXED_TEXT_H

#include <algorithm>
#include <cstring>
#include <string_view>

namespace wayfetch::hotsync {

// The field gets `text` cut to size - 1 bytes and zeros after it.
template <std::size_t size>
void copy_text(char (&field)[size], std::string_view text) {
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

// Like copy_text, but a text that does not fit leaves the field empty (a
// path cut short would name another file).
template <std::size_t size>
void copy_whole_text(char (&field)[size], std::string_view text) {
  copy_text(field, text.size() < size ? text : std::string_view());
}

}  // namespace wayfetch::hotsync

#endif
