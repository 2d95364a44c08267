// LinkPath: the path of a file inside a publication, and the target of a
// link between such files, in a fixed-depth model.
//
// A path has a kind (unknown, file or http), a host (for a file path a
// server name, or the drive letter of a Windows path such as "C:"), up to 9
// directory names, a file name and a fragment (the part after "#"). Links
// are followed by setting their text on the path of the page that holds
// them; the text of the result names the target file.
//
// Input texts may use slashes or backslashes (a run of them counts as one)
// and may carry a drive letter or a "\\server" prefix. File paths are written
// as Linux paths: "/home/u/site/a.html", "//server/share/a.html"; a drive
// letter is not written. Longer parts are cut to the limits below; further
// directories are dropped (relative texts) or overwrite the ninth (absolute
// ones). Nothing fails. A LinkPath is a plain value; not thread-safe.
#ifndef WAYFETCH_WEB_LINK_PATH_H
#define WAYFETCH_WEB_LINK_PATH_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/string.h"

namespace wayfetch {

class LinkPath {
 public:
  enum class Kind : int32_t { unknown = -1, file = 1, http = 2 };

  static constexpr std::size_t max_host = 511;
  static constexpr std::size_t max_directories = 9;
  static constexpr std::size_t max_directory = 255;
  static constexpr std::size_t max_file_name = 511;
  static constexpr std::size_t max_fragment = 511;
  static constexpr std::size_t max_text = 511;

  // Kind unknown, everything empty.
  void clear();

  // Applies `text` to the path:
  // - "http://..." or "file://..." (any case) replaces the whole path;
  // - a text containing "javascript:" (any case) is ignored;
  // - a drive path ("C:\dir\a.html") or a network path ("\\server\share\a")
  //   replaces the whole path and makes it a file path;
  // - anything else is relative to the current path: "#name" changes only
  //   the fragment; otherwise the file name and fragment are replaced, ".."
  //   removes a directory, "." is skipped, a leading separator starts from
  //   the root (and makes a path that is not http a file path, so that
  //   "/home/u/a.html" on a cleared path is the Linux file), a "#" right
  //   after a separator ("dir/#top") leaves the file name empty, and a text
  //   without any name or "#" gives the file name "error.xxx".
  // UTF-16 text is taken in the system code page (UTF-8).
  void set(const String& text);
  void set(std::string_view text);
  void set(const char* text) { set(text == nullptr ? std::string_view() : std::string_view(text)); }

  // The path as text, at most 511 characters. http: "http://host/dir/file";
  // others: "//host" for a server, then "/" and each directory, then "/" and
  // the file name. In file paths each "%" and the two characters after it
  // become one blank. The fragment is not part of the text.
  String text() const;

  // Whether the two texts are equal byte for byte.
  bool same_as(const LinkPath& other) const;

  Kind kind() const { return kind_; }
  const std::string& host() const { return host_; }
  std::size_t directory_count() const { return directory_count_; }
  // REQUIRES: index < directory_count().
  const std::string& directory(std::size_t index) const { return directories_[index]; }
  const std::string& file_name() const { return file_name_; }
  const std::string& fragment() const { return fragment_; }

 private:
  void set_absolute(std::string_view text);
  void set_relative(std::string_view text);
  void append_directory(std::string_view name, bool overwrite_last);
  std::string raw_text() const;

  Kind kind_ = Kind::unknown;
  std::string host_;
  std::array<std::string, max_directories> directories_;
  std::size_t directory_count_ = 0;
  std::string file_name_;
  std::string fragment_;
  int32_t code_page_ = -1;  // of the texts set, for text()
};

}  // namespace wayfetch

#endif
