// Fuzzes the page side of extraction: the input (first byte: its encoding,
// second: which template) is a downloaded page, walked by fixed templates
// that use every page action between them. Checks as fuzz_extraction_template.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/extraction_harness.h"
#include "fuzz/fuzz_input.h"

namespace {

#define HEAD "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><e>"
#define FOLLOW "<f action=\"follow\"><url>http://news.example/dir/index.html#end</url></f>"

constexpr std::string_view templates[] = {
    // Positions, scopes, erasing and extracting with every filter.
    HEAD FOLLOW
    "<s action=\"goto-scope\"><begin><body</begin><end></body></end></s>"
    "<x action=\"erase\" case-sens=\"yes\"><begin><div class=ad></begin><end></div></end></x>"
    "<l action=\"iterate\" from=\"1\" max=\"20\">"
    "<t action=\"extract\" html-filter=\"get-pics first-text no-tags\"><begin><p></begin>"
    "<end></p></end></t><g action=\"goto\"><begin><br></begin></g></l>"
    "<top action=\"goto-top\"/><u action=\"extract\" html-filter=\"get-pics\"><begin><</begin>"
    "<end>></end></u></e>",
    // Links: iterations of extract-url feeding follow, get, include and write,
    // in sections.
    HEAD FOLLOW
    "<l action=\"iterate section\"><a action=\"extract-url write get\" save-as=\"p.gif\">"
    "<filter>/</filter></a><i action=\"extract-url include\" mode=\"standard\">"
    "<tag>img</tag><attr>src</attr></i><n action=\"extract-url follow\"/></l>"
    "<m action=\"iterate\" var=\"e\"><e action=\"erase\"><begin><a</begin><end>></end></e></m></e>",
    // Erasing in a loop, then what is left, between two markers.
    HEAD FOLLOW
    "<l action=\"iterate\" max=\"500\"><x action=\"erase\"><begin><</begin><end>></end></x></l>"
    "<top action=\"goto-top\"/><r action=\"extract\" html-filter=\"first-text\"><begin>a</begin>"
    "<end>z</end></r><w action=\"extract-url write\"/></e>",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace wayfetch;
  if (size < 2) return 0;
  std::string_view chosen = templates[data[1] % std::size(templates)];
  // The page: the input with its second byte taken out.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  bytes.erase(1, 1);
  TextScanner page =
      fuzzing::text_from(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  fuzzing::run(TextScanner(chosen), page, size % 16 == 0);
  return 0;
}
