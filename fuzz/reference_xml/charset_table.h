// The charset names that documents declare, and the code pages they stand for.
//
// Only the names below are known; anything else (utf-8 included) is an
// unsupported encoding for the parser, which then leaves a text as it is.
#ifndef WAYFETCH_FUZZ_REFERENCE_XML_CHARSET_TABLE_H
#define WAYFETCH_FUZZ_REFERENCE_XML_CHARSET_TABLE_H

#include <cstdint>

#include "core/string.h"

namespace wayfetch::reference_xml {

// Looks up `name`'s window (ASCII case-insensitive, whole name). True with
// the encoding and code page when known; false and both untouched otherwise.
bool lookup_charset(const String& name, TextEncoding& encoding, int32_t& code_page);

}  // namespace wayfetch::reference_xml

#endif
