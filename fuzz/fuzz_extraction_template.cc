// Fuzzes extraction templates: the input (first byte: its encoding) is the
// template, run over a fixed page with links, bold words, pictures and
// anchors. Checks that file names handed to downloads are safe, that data
// documents stay within their budget and that every document gets written.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/extraction_harness.h"
#include "fuzz/fuzz_input.h"

namespace {

constexpr std::string_view page =
    "<html><head><title>T</title></head><body><p>Ferries <b>early</b> today, <b>late</b>.</p>"
    "<ul><li><a href=\"/a/1.html\">one</a></li><li><a href='/a/1.html'>again</a></li>"
    "<li><a href=\"http://other.example/2.html#x\">two</a></li></ul>"
    "<div class=ad>buy <img src=\"/p/a.gif\"> <img src='../.b.png'></div>"
    "<a name=\"end\">x</a><script>var a = \"<a href=x>\";</script><b>last</b></body></html>";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace wayfetch;
  String text{page};
  text.set_encoding(TextEncoding::SingleByte, 1252);
  fuzzing::run(fuzzing::text_from(data, size), text, size % 16 == 0);
  return 0;
}
