// Fuzzes whole rendering templates: the input (first byte: its encoding) is
// parsed as a template, prepared and executed over a fixed data tree with a
// picture target, under small budgets. Checks that the output stays within
// its budget and that every reported picture is absolute and listed once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include "fuzz/fuzz_input.h"
#include "rendering/xsl_parser.h"

namespace {

using namespace wayfetch;

constexpr const char* feed =
    "<enews><name>N</name><front><t>one <b>two</b></t><t>three</t></front></enews>"
    "<enews><stories><feed incurl='http://ex.org/f/rss.xml' incsec='03'><channel>"
    "<item><title>A</title><pic>p/a.jpg</pic><text content='raw-text'>a <i>b</i></text></item>"
    "<item><title>B</title><pic> ../b.png </pic></item><item><pic/></item>"
    "</channel></feed><bad incurl=''><pic>rel.gif</pic></bad></stories></enews>";

void check(bool condition) {
  if (!condition) std::abort();
}

XmlParser& data_tree() {
  static XmlParser* data = [] {
    auto* parser = new XmlParser();
    TextScanner text{std::string_view(feed)};
    parser->parse(text);
    return parser;
  }();
  return *data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  XslParser tmpl;
  XslParser::Limits limits;
  limits.request_work = 1 << 16;
  limits.execution_steps = 1 << 14;
  limits.output_nodes = 1 << 13;
  tmpl.set_limits(limits);
  PictureList pictures;
  tmpl.set_picture_target(&pictures, String("http://ex.org/t/news.xsl"));

  TextScanner text = fuzzing::text_from(data, size);
  tmpl.set_mode(ParseMode::xsl_template);
  tmpl.parse(text);
  tmpl.prepare_template();
  tmpl.clear_status();
  XmlParser output;
  XmlParser& tree = data_tree();
  tmpl.execute(0, output, tree, 0);
  // The output cap is checked after each piece; one piece copies at most the
  // data tree, or one template text.
  check(output.node_count() <= limits.output_nodes + tree.node_count() + 1);

  std::set<std::pair<std::string, int32_t>> seen;
  for (const PictureListEntry& record : pictures) {
    check(record.section == -1 || record.section == 3);
    check(seen.emplace(std::string(record.address.window_bytes()), record.section).second);
  }
  return 0;
}
