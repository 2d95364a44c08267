// Safe file names for downloads stored in an eNews folder, and which
// addresses a page from the web may name.
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

#include <string>

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

// Where, inside the eNews folder, a picture is saved that a rendered page
// refers to as `written` (its `src` as the page writes it) and that is
// fetched from `address`: `written` resolved the way the e-book builder
// resolves a picture of the page (ebook/local_link.h: backslashes as
// slashes, query and "#" part dropped, "%XX" decoded, "." and ".." folded),
// when that lands inside the folder, at most four names deep, every name
// without control characters or a leading dot and not one of the eNews's
// own files. Otherwise the safe last component of `address`, as `get` names
// its files. A relative path (UTF-8 for UTF-16 texts, else the text's own
// bytes, as the page holds them); empty when nothing is left.
std::string local_picture_path(const String& written, const String& address,
                               const String& enews_name);

// Whether `absolute` is an http or https address. Pages and documents that
// came from the web may name only such addresses: a `file:` address there
// would let a server read the user's files.
bool is_web_address(const String& absolute);

}  // namespace wayfetch::extraction

#endif
