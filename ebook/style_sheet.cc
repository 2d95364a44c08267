#include "ebook/style_sheet.h"

#include <string_view>

namespace wayfetch {
namespace {

// Splits a style sheet into the tokens of its rules. Comments ("/*" to
// "*/") are dropped from the character stream before anything else sees it,
// so a comment between or inside tokens is as if it were not there.
class CssTokens {
 public:
  explicit CssTokens(ByteSource& in) : in_(in) {}

  // The next character after comments, or -1 at the end.
  int get() {
    int c = raw();
    while (c == '/') {
      int d = raw();
      if (d != '*') {
        held_ = d;
        return c;
      }
      // Inside a comment: run to "*/" or the end of the input.
      int previous = 0;
      for (d = raw(); d >= 0 && !(previous == '*' && d == '/'); d = raw()) previous = d;
      if (d < 0) return -1;
      c = raw();
    }
    return c;
  }

  // Skips characters below 0x21, then reads up to (and takes) the first
  // character in `delimiters`; `delimiter` receives it (-1 at the end).
  std::string token(std::string_view delimiters, int& delimiter) {
    std::string text;
    int c = get();
    while (c >= 0 && c < 0x21) c = get();
    while (c >= 0 && delimiters.find(static_cast<char>(c)) == std::string_view::npos) {
      if (text.size() < StyleSheet::max_token) text += static_cast<char>(c);
      c = get();
    }
    delimiter = c;
    return text;
  }

  // The next character that is not below 0x21.
  int next_visible() {
    int c = get();
    while (c >= 0 && c < 0x21) c = get();
    return c;
  }

 private:
  int raw() {
    if (held_ != none) {
      int c = held_;
      held_ = none;
      return c;
    }
    return in_.get();
  }

  static constexpr int none = -2;
  ByteSource& in_;
  int held_ = none;
};

// A blank is a space or a tab.
constexpr std::string_view selector_ends{" \t\r\n>{", 6};
// A value also ends at the brace that closes its rule: "h1{font-weight:bold}</style>"
// must not take the end of the STYLE element (and the page after it) as
// part of the value. No property or value holds a "<": one there is the
// start of a tag after a rule left open, and ends reading before the page's
// own tags are taken for declarations.
constexpr std::string_view property_ends = ":\r\n}<";
constexpr std::string_view value_ends = " \t;\r\n}<";

// Older pages hide their rules from old browsers inside "<!--" and "-->";
// the markers are not selectors and are passed over. "-->" arrives as "--"
// because ">" ends a selector. A stray "}" between rules ("P {...}}") is no
// selector either: a browser passes it over and reads the next rule.
bool strip_markers(std::string& selector) {
  if (selector.starts_with("<!--")) selector.erase(0, 4);
  selector.erase(0, selector.find_first_not_of('}'));
  if (selector == "--") selector.clear();
  return selector.empty();
}

}  // namespace

bool StyleSheet::read(ByteSource& in) {
  rules_.clear();
  stack_.clear();
  CssTokens tokens(in);
  while (true) {
    // The selector.
    int delimiter = 0;
    std::string selector;
    while (true) {
      selector = ascii::upper(tokens.token(selector_ends, delimiter));
      if (selector.empty()) return true;
      if (!strip_markers(selector)) break;
      if (delimiter < 0) return true;
    }
    if (selector.find("/STYLE") != std::string::npos) return true;

    StyleRule rule;
    if (selector.front() == '.') {
      rule.class_name = selector.substr(1);
    } else {
      const std::size_t dot = selector.find('.');
      rule.tag = selector.substr(0, dot);
      if (dot != std::string::npos) rule.class_name = selector.substr(dot + 1);
    }
    // "P{...}" ends the selector at the brace itself.
    if (delimiter != '{' && tokens.next_visible() != '{') return true;

    // The declarations.
    bool tag_met = false;
    while (true) {
      std::string property = tokens.token(property_ends, delimiter);
      if (delimiter == '<') tag_met = true;
      if (property.empty() || delimiter == '}' || tag_met) break;
      std::string value = tokens.token(value_ends, delimiter);
      if (delimiter == '<') tag_met = true;
      // "bold}-->": the closing marker may follow the last rule's brace.
      if (value.ends_with("-->")) value.resize(value.size() - 3);
      const bool last = delimiter == '}';
      if (static_cast<int32_t>(rule.declarations.size()) < max_declarations) {
        rule.declarations.push_back({std::move(property), std::move(value)});
      }
      if (last || tag_met || delimiter < 0) break;
    }
    rule.convert();
    if (static_cast<int32_t>(rules_.size()) < max_rules) rules_.push_back(std::move(rule));
    if (tag_met) return true;
  }
}

bool StyleSheet::read(File& file) {
  FileByteSource in(file);
  return read(in) && !in.failed();
}

const StyleRule* StyleSheet::find(std::string_view tag, std::string_view class_name) const {
  for (const StyleRule& rule : rules_) {
    if (ascii::equals_ignoring_case(rule.class_name, class_name) &&
        (rule.tag.empty() || ascii::equals_ignoring_case(rule.tag, tag))) {
      return &rule;
    }
  }
  return nullptr;
}

void StyleSheet::push(int32_t rule, std::string_view element) {
  if (rule < 0 || rule >= static_cast<int32_t>(rules_.size())) return;
  if (static_cast<int32_t>(stack_.size()) >= max_stacked) return;
  stack_.push_back({rule, std::string(element)});
}

void StyleSheet::push(const StyleRule* rule, std::string_view element) {
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    if (&rules_[i] == rule) {
      push(static_cast<int32_t>(i), element);
      return;
    }
  }
}

bool StyleSheet::rewrite_tag(const HtmlTag& tag, std::string& out) {
  // A tag without a name ("<>") is looked up like any other: a rule without
  // a tag ("." or ".x") applies to it.
  if (tag.is_end_tag()) {
    const AppliedStyle* open = top();
    if (open == nullptr || !ascii::equals_ignoring_case(open->element, tag.element())) return false;
    out += tag.text;
    out += rules_[static_cast<std::size_t>(open->rule)].close_tags;
    pop();
    return true;
  }
  const std::string* class_attribute = tag.attribute("CLASS");
  const StyleRule* rule = find(tag.name, class_attribute != nullptr ? *class_attribute : "");
  if (rule == nullptr) return false;
  // The page's own attributes, the class included, give way to the rule's.
  out += rule->open_tags;
  out += '<';
  out += ascii::upper(tag.name);
  if (!rule->attributes.empty()) {
    out += ' ';
    out += rule->attributes;
  }
  out += '>';
  push(static_cast<int32_t>(rule - rules_.data()), tag.name);
  return true;
}

}  // namespace wayfetch
