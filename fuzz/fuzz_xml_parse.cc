// Parses fuzzer input in one parse mode (FUZZ_PARSE_MODE), then runs the
// node-table operations over the result: queries, walks, blank marking,
// copies and writing. Mode 8 walks the whole text tag by tag, as the
// extraction actions do.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "xml/xml_parser.h"

#ifndef FUZZ_PARSE_MODE
#define FUZZ_PARSE_MODE 0
#endif

namespace {

using namespace wayfetch;

void exercise(XmlParser& parser, uint8_t seed) {
  String found;
  int32_t delay = 0;
  parser.find_base_href(found);
  parser.find_refresh(found, delay);
  parser.mark_blank(0);
  int32_t count = parser.node_count();
  // A pre-order walk meets every element once, each below the root.
  int32_t elements = 0;
  for (int32_t e = parser.next_element(0, 0); e != -1; e = parser.next_element(0, e)) {
    if (!parser.is_descendant(e, 0) || ++elements > count) __builtin_trap();
  }
  int32_t last = count - 1;
  parser.unique_name(last, found);
  parser.attribute(last, "href", found);
  Storage<int32_t> texts;
  XmlParser::collect_texts(texts, parser, 0);
  XmlParser copy;
  int32_t used = 0;
  copy.import_subtree_limited(parser, 0, seed % 2 == 0 ? -1 : seed, used);
  copy.import_subtree(parser, count / 2);
  parser.import_subtree(parser, count / 3);
  parser.remove_last_node();
  static const std::string sink = "/dev/shm/fuzz_xml_parse_" + std::to_string(getpid()) + ".xml";
  parser.write_file(String(sink.c_str()), seed & 0x1D, String());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TextScanner text = fuzzing::text_from(data, size);
  XmlParser parser;
  parser.set_mode(static_cast<ParseMode>(FUZZ_PARSE_MODE));
  if (FUZZ_PARSE_MODE == 8) {
    // Every parse must move the cursor forward until the text is used up.
    for (int32_t steps = 0; text.cursor() < text.length(); ++steps) {
      int32_t before = text.cursor();
      parser.parse(text);
      if (text.cursor() <= before && before >= 0) __builtin_trap();
      if (parser.silent || steps > text.length() + 1) __builtin_trap();
    }
  } else {
    parser.parse(text);
    if (parser.silent) __builtin_trap();
  }
  if (parser.open_elements().top() != 1 || parser.current() != 0) __builtin_trap();
  exercise(parser, size > 0 ? data[0] : 0);
  return 0;
}
