#include "web/link_path.h"

#include <algorithm>
#include <vector>

#include "core/ascii.h"

namespace wayfetch {
namespace {

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

// The names between separators; a run of separators counts as one.
std::vector<std::string_view> pieces_of(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && is_separator(text[i])) ++i;
    std::size_t start = i;
    while (i < text.size() && !is_separator(text[i])) ++i;
    if (i > start) pieces.push_back(text.substr(start, i - start));
  }
  return pieces;
}

std::string cut(std::string_view text, std::size_t limit) {
  return std::string(text.substr(0, limit));
}

bool is_drive(std::string_view piece) {
  return piece.size() == 2 && ascii::is_letter(piece[0]) && piece[1] == ':';
}

// The text before the first "#" and the fragment after it. The fragment is
// taken from the whole text, not from its last piece: a slash inside a
// fragment ("a.html#part/2") must not make "2" the file name.
struct Fragmented {
  std::string_view body;
  bool has_fragment = false;
  std::string_view fragment;
};

Fragmented split_fragment(std::string_view text) {
  std::size_t hash = text.find('#');
  if (hash == std::string_view::npos) return {text, false, {}};
  return {text.substr(0, hash), true, text.substr(hash + 1)};
}

}  // namespace

void LinkPath::clear() {
  kind_ = Kind::unknown;
  host_.clear();
  for (std::string& directory : directories_) directory.clear();
  directory_count_ = 0;
  file_name_.clear();
  fragment_.clear();
}

void LinkPath::set(const String& text) {
  if (text.encoding() == TextEncoding::Unicode) {
    String copy(text);
    copy.to_system_code_page();
    code_page_ = copy.code_page();
    set(copy.window_bytes());
    return;
  }
  if (text.code_page() != -1) code_page_ = text.code_page();
  set(text.window_bytes());
}

void LinkPath::set(std::string_view text) {
  if (ascii::starts_with_ignoring_case(text, "http://") ||
      ascii::starts_with_ignoring_case(text, "file://")) {
    set_absolute(text);
    return;
  }
  // Script links name no file. The scheme is matched in any case, as
  // browsers do ("JavaScript:").
  if (ascii::find_ignoring_case(text, "javascript:") != std::string_view::npos) return;
  if ((text.size() >= 2 && text[1] == ':') || text.starts_with("\\\\")) {
    set_absolute("file://" + std::string(text));
    return;
  }
  // A Linux absolute path is a root-relative text; outside web pages it
  // names a local file.
  if (!text.empty() && is_separator(text[0]) && kind_ != Kind::http) kind_ = Kind::file;
  set_relative(text);
}

void LinkPath::append_directory(std::string_view name, bool overwrite_last) {
  if (directory_count_ < max_directories) {
    directories_[directory_count_++] = cut(name, max_directory);
  } else if (overwrite_last) {
    directories_[max_directories - 1] = cut(name, max_directory);
  }
}

void LinkPath::set_absolute(std::string_view text) {
  clear();
  Fragmented parts = split_fragment(text);
  std::vector<std::string_view> pieces = pieces_of(parts.body);
  if (pieces.empty()) return;
  if (ascii::equals_ignoring_case(pieces[0], "http:")) {
    kind_ = Kind::http;
  } else if (ascii::equals_ignoring_case(pieces[0], "file:")) {
    kind_ = Kind::file;
  }
  std::size_t next = 1;
  if (kind_ == Kind::file) {
    // "file:///home/u/a.html" is a local path on the root: three
    // separators leave the host empty, unless a drive letter follows
    // ("file:///C:/a.html"). Two ("file://C:\a.html", "file://server/x") or
    // four ("file://\\server\x") name the host.
    std::string_view after_scheme = parts.body.substr(5);
    std::size_t separators = 0;
    while (separators < after_scheme.size() && is_separator(after_scheme[separators])) {
      ++separators;
    }
    bool local_root = separators == 3 && !(pieces.size() > 1 && is_drive(pieces[1]));
    if (!local_root && pieces.size() > 1) {
      host_ = cut(pieces[1], max_host);
      next = 2;
    }
    if (ascii::equals_ignoring_case(host_, "localhost")) host_.clear();
  } else if (pieces.size() > 1) {
    host_ = cut(pieces[1], max_host);
    next = 2;
  }
  for (std::size_t i = next; i + 1 < pieces.size(); ++i) append_directory(pieces[i], true);
  if (pieces.size() > next) {
    std::string_view last = pieces.back();
    if (last.find_first_of(".?") != std::string_view::npos) {
      file_name_ = cut(last, max_file_name);
    } else {
      append_directory(last, true);
    }
  }
  fragment_ = cut(parts.fragment, max_fragment);
}

void LinkPath::set_relative(std::string_view text) {
  if (!text.empty() && text[0] == '#') {
    fragment_ = cut(text.substr(1), max_fragment);
    return;
  }
  file_name_.clear();
  Fragmented parts = split_fragment(text);
  // A link without "#" points at the start of its file: a fragment left
  // from the previous text would send it elsewhere.
  fragment_ = cut(parts.fragment, max_fragment);
  if (!parts.body.empty() && is_separator(parts.body[0])) directory_count_ = 0;
  std::vector<std::string_view> pieces = pieces_of(parts.body);
  // "dir/#part" names the directory's own page: every name is a directory
  // and the file name stays empty. Only a text with no name and no "#" at
  // all is an error.
  bool directory_link =
      parts.has_fragment && !parts.body.empty() && is_separator(parts.body.back());
  if (pieces.empty() && !directory_link) {
    file_name_ = "error.xxx";
    return;
  }
  std::size_t directories = directory_link ? pieces.size() : pieces.size() - 1;
  for (std::size_t i = 0; i < directories; ++i) {
    if (pieces[i] == "..") {
      if (directory_count_ > 0) --directory_count_;
    } else if (pieces[i] != ".") {
      append_directory(pieces[i], false);
    }
  }
  if (!directory_link) file_name_ = cut(pieces.back(), max_file_name);
}

std::string LinkPath::raw_text() const {
  std::string out;
  if (kind_ == Kind::http) {
    out = "http://" + host_;
    for (std::size_t i = 0; i < directory_count_; ++i) out += "/" + directories_[i];
    if (!file_name_.empty()) out += "/" + file_name_;
  } else {
    // A server is written "//server"; a drive letter is not written, as the
    // path then starts at the root.
    bool drive = host_.size() >= 2 && host_[1] == ':';
    if (!host_.empty() && !drive) out = "//" + host_;
    for (std::size_t i = 0; i < directory_count_; ++i) out += "/" + directories_[i];
    out += "/" + file_name_;
  }
  if (out.size() > max_text) out.resize(max_text);
  if (kind_ != Kind::file) return out;
  // A link to "my%20file.html" names the local file "my file.html": each "%"
  // and the two characters after it become one blank (escapes are not
  // decoded). A "%" near the end takes only what is left.
  std::string replaced;
  replaced.reserve(out.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '%') {
      replaced += ' ';
      i += std::min<std::size_t>(2, out.size() - i - 1);
    } else {
      replaced += out[i];
    }
  }
  return replaced;
}

String LinkPath::text() const {
  String out;
  out.set_text(raw_text(), TextEncoding::SingleByte, code_page_);
  return out;
}

bool LinkPath::same_as(const LinkPath& other) const {
  return raw_text() == other.raw_text();
}

}  // namespace wayfetch
