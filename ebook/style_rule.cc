// Converting a style rule's declarations into tags and attributes.
#include <array>

#include "core/ascii.h"
#include "ebook/style_sheet.h"

namespace wayfetch {
namespace {

struct Conversion {
  const char* property;
  const char* value;
  const char* open_tag;
  const char* close_tag;
  const char* attribute;
};

// The handheld's reader knows these properties only as tags. The rows stay
// exactly as the reader's files have always been made, "line-trough" and its
// empty tags included.
constexpr std::array<Conversion, 23> conversions = {{
    {"font-family", "", "", "", ""},
    {"font-style", "normal", "", "", ""},
    {"font-style", "italic", "<i>", "</i>", ""},
    {"font-style", "oblique", "<i>", "</i>", ""},
    {"font-weight", "normal", "", "", ""},
    {"font-weight", "400", "", "", ""},
    {"font-weight", "bold", "<b>", "</b>", ""},
    {"font-weight", "700", "<b>", "</b>", ""},
    {"font-size", "xx-small", "<small>", "</small>", ""},
    {"font-size", "x-small", "<small>", "</small>", ""},
    {"font-size", "small", "", "", ""},
    {"font-size", "medium", "<h4>", "</h4>", ""},
    {"font-size", "large", "<h3>", "</h3>", ""},
    {"font-size", "x-large", "<h2>", "</h2>", ""},
    {"font-size", "xx-large", "<h1>", "</h1>", ""},
    {"text-decoration", "none", "", "", ""},
    {"text-decoration", "blink", "", "", ""},
    {"text-decoration", "underline", "<u>", "</u>", ""},
    {"text-decoration", "line-trough", "<>", "<>", ""},
    {"text-align", "left", "", "", "align='left'"},
    {"text-align", "right", "", "", "align='right'"},
    {"text-align", "center", "", "", "align='center'"},
    {"text-align", "justify", "", "", "align='justify'"},
}};

bool is_zero_margin(const std::string& value) {
  return ascii::equals_ignoring_case(value, "0px") || value == "0%";
}

}  // namespace

void StyleRule::convert() {
  open_tags.clear();
  attributes.clear();
  close_tags.clear();
  for (const StyleDeclaration& d : declarations) {
    for (const Conversion& row : conversions) {
      if (!ascii::equals_ignoring_case(d.property, row.property) ||
          !ascii::equals_ignoring_case(d.value, row.value)) {
        continue;
      }
      open_tags += row.open_tag;
      // Closing tags nest: the last opened closes first.
      close_tags.insert(0, row.close_tag);
      if (*row.attribute != '\0') {
        attributes += row.attribute;
        attributes += ' ';
      }
    }
  }
  // Spacing and page breaks have no tag of their own; they become sizes on
  // the element and separators around it.
  for (const StyleDeclaration& d : declarations) {
    const std::string& property = d.property;
    if (ascii::equals_ignoring_case(property, "text-indent")) {
      attributes += "width='" + d.value + "' ";
    } else if (ascii::equals_ignoring_case(property, "margin-top")) {
      if (!is_zero_margin(d.value)) attributes += "height='" + d.value + "' ";
    } else if (ascii::equals_ignoring_case(property, "margin-bottom")) {
      if (!is_zero_margin(d.value)) close_tags += " <br> <div height='" + d.value + "'></div>";
    } else if (ascii::equals_ignoring_case(property, "page-break-before")) {
      if (ascii::equals_ignoring_case(d.value, "always")) open_tags.insert(0, "<hr>");
    } else if (ascii::equals_ignoring_case(property, "page-break-after")) {
      if (ascii::equals_ignoring_case(d.value, "always")) close_tags += "<hr>";
    }
  }
}

}  // namespace wayfetch
