// PalmDOC compression of e-book text records.
//
// Every text record of an e-book holds up to 4096 bytes of text compressed on
// its own. The compressor's choices are fixed to the byte (earliest
// occurrence in a 2047-byte window, lengths 3 to 10, space pairs, escape
// runs of at most eight bytes), because they decide the bytes of every
// e-book; the record format and the exact rules are in docs/prc_format.md.
//
// All operations are pure functions of their input and thread-safe on
// distinct buffers. Results grow as needed: no input is too long to
// compress, decode or expand.
#ifndef WAYFETCH_EBOOK_PALMDOC_H
#define WAYFETCH_EBOOK_PALMDOC_H

#include <cstdint>
#include <span>
#include <vector>

#include "ebook/record_buffer.h"

namespace wayfetch {

// Replaces the contents with their compressed form; returns the new length.
int32_t compress(RecordBuffer& buffer);

// Replaces the contents with the decoded bytes and returns the new length.
// Malformed data (a back-reference before the start of the output or of
// distance 0, an escape run cut off by the end) returns -1 and leaves the
// buffer unchanged.
int32_t decompress(RecordBuffer& buffer);

// Replaces every line feed by carriage return + line feed; returns the new length.
int32_t expand_line_ends(RecordBuffer& buffer);

namespace palmdoc {

// The window and length limits of a back-reference.
inline constexpr int32_t max_distance = 2047;
inline constexpr int32_t min_match = 3;
inline constexpr int32_t max_match = 10;
// The longest run of bytes one escape code carries.
inline constexpr int32_t max_escape_run = 8;

// The compressed form of `input` (the same bytes as compress()).
std::vector<uint8_t> compress_bytes(std::span<const uint8_t> input);

// Decodes `input` into `output` (replaced). Returns false for malformed data;
// `output` then holds the bytes decoded before the fault.
bool decompress_bytes(std::span<const uint8_t> input, std::vector<uint8_t>& output);

}  // namespace palmdoc
}  // namespace wayfetch

#endif
