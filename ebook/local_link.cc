#include "ebook/local_link.h"

#include <vector>

#include "core/ascii.h"

namespace wayfetch {
namespace {

// "%41" becomes "A"; a "%" not followed by two hex digits stays as it is.
std::string percent_decoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && ascii::hex_value(text[i + 1]) >= 0 &&
        ascii::hex_value(text[i + 2]) >= 0) {
      out += static_cast<char>(ascii::hex_value(text[i + 1]) * 16 + ascii::hex_value(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The length of a scheme ("http", "mailto") ending in ":" at the start of
// `text`, or 0. A single letter is a drive, not a scheme.
std::size_t scheme_length(std::string_view text) {
  if (text.empty() || !ascii::is_letter(text[0])) return 0;
  std::size_t i = 1;
  while (i < text.size() && (ascii::is_letter(text[i]) || (text[i] >= '0' && text[i] <= '9') ||
                             text[i] == '+' || text[i] == '-' || text[i] == '.')) {
    ++i;
  }
  if (i >= text.size() || text[i] != ':' || i < 2) return 0;
  return i;
}

}  // namespace

std::string folder_of(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string_view file_name_of(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string normal_path(std::string_view path) {
  const bool absolute = !path.empty() && path.front() == '/';
  std::vector<std::string_view> names;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(at, end - at);
    at = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!names.empty() && names.back() != "..") {
        names.pop_back();
      } else if (!absolute) {
        names.push_back(name);  // a relative path may start above its folder
      }
      continue;
    }
    names.push_back(name);
  }
  if (names.empty()) return absolute ? std::string("/") : std::string(".");
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (absolute || i > 0) out += '/';
    out += names[i];
  }
  return out;
}

std::string join_path(std::string_view folder, std::string_view relative) {
  if (!relative.empty() && relative.front() == '/') return normal_path(relative);
  if (folder.empty()) return normal_path(relative);
  std::string joined(folder);
  joined += '/';
  joined += relative;
  return normal_path(joined);
}

LinkTarget resolve_link(std::string_view page_path, std::string_view href) {
  while (!href.empty() && ascii::is_html_space(href.front())) href.remove_prefix(1);
  while (!href.empty() && ascii::is_html_space(href.back())) href.remove_suffix(1);

  LinkTarget target;
  std::string_view body = href;
  const std::size_t hash = href.find('#');
  if (hash != std::string_view::npos) {
    body = href.substr(0, hash);
    target.fragment = std::string(href.substr(hash + 1));
  }
  if (body.empty()) {
    target.file = std::string(page_path);
    target.local = true;
    return target;
  }

  std::string path(body);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (const std::size_t scheme = scheme_length(path); scheme > 0) {
    // A file address names a local file; anything else is outside the book.
    const bool file_scheme = ascii::equals_ignoring_case(path.substr(0, scheme), "file");
    std::string_view rest = std::string_view(path).substr(scheme + 1);
    if (file_scheme && rest.starts_with("///")) {
      path = std::string(rest.substr(2));
    } else if (file_scheme && ascii::equals_ignoring_case(rest.substr(0, 12), "//localhost/")) {
      path = std::string(rest.substr(11));
    } else {
      target.file = std::string(body);
      return target;
    }
    // "file:///C:/dir" carries a drive letter.
    if (path.size() >= 3 && ascii::is_letter(path[1]) && path[2] == ':') path = path.substr(3);
  } else if (path.size() >= 2 && ascii::is_letter(path[0]) && path[1] == ':') {
    // A drive letter: the rest is the path on it.
    const std::string rest = path.substr(2);
    path.assign(rest.starts_with('/') ? 0 : 1, '/');
    path += rest;
  } else if (path.starts_with("//")) {
    // "//host/x": a web address without its scheme, or a network share.
    target.file = std::string(body);
    return target;
  }
  if (const std::size_t query = path.find('?'); query != std::string::npos) path.resize(query);
  path = percent_decoded(path);
  // "?page=2" alone stays in the page, as in a browser.
  target.file = path.empty() ? std::string(page_path) : join_path(folder_of(page_path), path);
  target.local = true;
  return target;
}

}  // namespace wayfetch
