// Safe file names for downloads stored in an eNews folder.
//
// Templates and pages name the files that downloads are saved under (the
// `save-as` attribute, the last component of an address, an `img src`).
// Before such a name is used, or written into a page or a data document,
// it is made one plain file name inside the eNews folder: no folder
// separators, no control characters, no leading dot (so neither "." nor
// ".." nor a hidden file), and never one of the eNews's own files (its
// template, rendering template, data files, page and e-book). A name that
// is already safe is kept exactly. Pure functions, thread-safe.
#ifndef WAYFETCH_EXTRACTION_SAFE_NAME_H
#define WAYFETCH_EXTRACTION_SAFE_NAME_H

#include "core/string.h"

namespace wayfetch::extraction {

// What follows the last "/" or "\" of the window (the whole window when it
// has neither). Double-byte trail bytes never count as a "\".
String last_component(const String& text);

// Whether `name` is one of the files of the eNews called `enews_name`
// (the last component of its radix): enews_name + ".enews", ".xsl",
// ".html", ".prc", ".data.xml" or ".data" + anything + ".xml", compared
// without ASCII case.
bool is_enews_file(const String& name, const String& enews_name);

// The safe form of `name`, in `name`'s encoding: its last component,
// control characters replaced by "_", leading dots dropped, and a "_" put
// in front when it would be one of the eNews's own files. Empty when
// nothing is left (the download then has no file name).
String safe_file_name(const String& name, const String& enews_name);

}  // namespace wayfetch::extraction

#endif
