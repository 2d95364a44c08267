// HtmlTag: one tag of a page body as the e-book publisher reads it, offered
// to the rewriting stages (links and pictures, styles) before it is written.
// A plain value type.
#ifndef WAYFETCH_EBOOK_HTML_TAG_H
#define WAYFETCH_EBOOK_HTML_TAG_H

#include <string>
#include <string_view>
#include <vector>

#include "core/ascii.h"

namespace wayfetch {

struct HtmlAttribute {
  std::string name;  // upper case
  std::string value;
};

struct HtmlTag {
  // The name as it stood in the page; an end tag's name starts with "/".
  std::string name;
  std::vector<HtmlAttribute> attributes;
  // The text written for the tag when no stage rewrites it.
  std::string text;

  bool is_end_tag() const { return !name.empty() && name.front() == '/'; }
  // The element's name: the name without the "/" of an end tag.
  std::string_view element() const {
    std::string_view n = name;
    if (is_end_tag()) n.remove_prefix(1);
    return n;
  }
  // The value of the attribute with this name (any case), or nullptr.
  const std::string* attribute(std::string_view attribute_name) const {
    for (const HtmlAttribute& a : attributes) {
      if (ascii::equals_ignoring_case(a.name, attribute_name)) return &a.value;
    }
    return nullptr;
  }
};

}  // namespace wayfetch

#endif
