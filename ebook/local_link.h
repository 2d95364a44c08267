// Local links: the files that the links, pictures and style sheets of a page
// name, resolved against the page that holds them.
//
// Paths are Linux paths; a page's backslashes count as slashes and a drive
// letter ("C:\dir\a.html") is dropped, as pages written on other systems use
// them. Resolution is lexical (no symbolic links are followed, nothing is
// opened), so two links to the same file give the same text and link targets
// compare with the files they point into. There is no depth limit. Pure
// functions; thread-safe.
#ifndef WAYFETCH_EBOOK_LOCAL_LINK_H
#define WAYFETCH_EBOOK_LOCAL_LINK_H

#include <string>
#include <string_view>

namespace wayfetch {

struct LinkTarget {
  // A local file: its normalised path. Otherwise the address as written
  // before its "#" (a web address, "mailto:", "javascript:" ...).
  std::string file;
  // The text after the first "#"; "" when there is none.
  std::string fragment;
  bool local = false;
};

// "/a/b" for "/a/b/c.html", "/" for "/c.html", "" for "c.html".
std::string folder_of(std::string_view path);
// The part after the last slash or backslash ("" when the path ends in one).
std::string_view file_name_of(std::string_view path);
// Lexical normal form: runs of "/" become one, "." goes, ".." removes the
// name before it (never past the root; kept at the start of a relative path).
std::string normal_path(std::string_view path);
// `relative` taken from `folder` ("" for the current folder); an absolute
// `relative` stands alone. No escapes are decoded.
std::string join_path(std::string_view folder, std::string_view relative);

// Resolves the `href` of a link, picture or style sheet in the page at
// `page_path` (a normalised path). An empty href or one made of "#" and a
// name stays in the page. For local files the query ("?...") is dropped and
// "%XX" escapes are decoded, as a browser opening a file does.
LinkTarget resolve_link(std::string_view page_path, std::string_view href);

}  // namespace wayfetch

#endif
