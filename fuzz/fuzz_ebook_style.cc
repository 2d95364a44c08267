// Any bytes as a style sheet followed by a list of tags: reading keeps the
// sheet's limits and rewriting never faults or grows the stack past 50.
//
// Input: style sheet text, a zero byte, then one tag per line written as
// "name class" (a name starting with "/" is an end tag).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ebook/style_sheet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = std::min(input.find('\0'), input.size());
  wayfetch::MemoryByteSource css(input.substr(0, split));
  wayfetch::StyleSheet sheet;
  if (!sheet.read(css)) std::abort();
  if (sheet.rules().size() > wayfetch::StyleSheet::max_rules) std::abort();
  for (const wayfetch::StyleRule& rule : sheet.rules()) {
    if (rule.declarations.size() > wayfetch::StyleSheet::max_declarations) std::abort();
  }

  std::string_view tags = split < input.size() ? input.substr(split + 1) : std::string_view();
  std::string out;
  while (!tags.empty()) {
    const std::size_t end = std::min(tags.find('\n'), tags.size());
    const std::string_view line = tags.substr(0, end);
    tags.remove_prefix(std::min(end + 1, tags.size()));
    const std::size_t blank = std::min(line.find(' '), line.size());
    wayfetch::HtmlTag tag;
    tag.name = std::string(line.substr(0, blank));
    if (blank < line.size())
      tag.attributes.push_back({"CLASS", std::string(line.substr(blank + 1))});
    tag.text = "<" + tag.name + ">";
    out.clear();
    const bool written = sheet.rewrite_tag(tag, out);
    if (!written && !out.empty()) std::abort();
    if (sheet.stacked() > wayfetch::StyleSheet::max_stacked) std::abort();
  }
  return 0;
}
