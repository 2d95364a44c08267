// StyleSheet: the class-based style rules of a page, turned into the plain
// tags and attributes the handheld understands.
//
// read() takes the rules of a STYLE element or a linked style sheet; while
// the publisher copies the page body, rewrite_tag() writes a styled
// element's start tag with the rule's opening tags before it and its
// attributes inside it, and the element's end tag with the rule's closing
// tags after it. A sheet holds at most 200 rules of at most 20 declarations
// each and tracks at most 50 open styled elements; beyond these limits rules,
// declarations and elements are read and ignored. Not thread-safe.
#ifndef WAYFETCH_EBOOK_STYLE_SHEET_H
#define WAYFETCH_EBOOK_STYLE_SHEET_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ebook/byte_source.h"
#include "ebook/html_tag.h"

namespace wayfetch {

class File;

struct StyleDeclaration {
  std::string property;
  std::string value;
};

struct StyleRule {
  std::string tag;         // upper case; empty for a selector ".class"
  std::string class_name;  // upper case; empty when the selector has none
  std::vector<StyleDeclaration> declarations;
  std::string open_tags;   // written before the element's start tag
  std::string attributes;  // written inside the element's start tag
  std::string close_tags;  // written after the element's end tag

  // Fills open_tags, attributes and close_tags from the declarations.
  void convert();
};

// A rule applied to an open element.
struct AppliedStyle {
  int32_t rule = -1;  // index into StyleSheet::rules()
  std::string element;
};

class StyleSheet {
 public:
  static constexpr int32_t max_rules = 200;
  static constexpr int32_t max_declarations = 20;
  static constexpr int32_t max_stacked = 50;
  // Longer selectors, properties and values keep their first 256 characters.
  static constexpr std::size_t max_token = 256;

  // Replaces the rules by those read from `in` and empties the stack. Reads
  // until no further rule can be read (the end of a STYLE element, a
  // malformed rule, a tag inside a rule or the end of the input); returns
  // true. A value ends at a blank, ";", a line end or the rule's "}".
  bool read(ByteSource& in);
  // The same from the current position of an open file, which is left just
  // after the last character the rules took (after "</STYLE>" in a page);
  // false when reading the file failed (the rules read before stay).
  bool read(File& file);

  // The first rule whose class equals `class_name` and whose tag is empty or
  // equals `tag` (any case), or nullptr.
  const StyleRule* find(std::string_view tag, std::string_view class_name) const;

  // The stack of open styled elements; push ignores a rule beyond the 50th.
  void push(int32_t rule, std::string_view element);
  // The same for a rule of this sheet (as find() gives it); others are ignored.
  void push(const StyleRule* rule, std::string_view element);
  // The innermost open styled element, or nullptr.
  const AppliedStyle* top() const { return stack_.empty() ? nullptr : &stack_.back(); }
  void pop() {
    if (!stack_.empty()) stack_.pop_back();
  }

  // Offered every tag of a page body: appends the tag as rewritten to `out`
  // and returns true for a start tag some rule styles and for the end tag of
  // the innermost styled element; false (nothing appended) otherwise.
  bool rewrite_tag(const HtmlTag& tag, std::string& out);

  const std::vector<StyleRule>& rules() const { return rules_; }
  int32_t stacked() const { return static_cast<int32_t>(stack_.size()); }

 private:
  std::vector<StyleRule> rules_;
  std::vector<AppliedStyle> stack_;
};

}  // namespace wayfetch

#endif
