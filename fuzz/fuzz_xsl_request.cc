// Fuzzes request compilation and evaluation: the input (first byte: its
// encoding) is compiled as the "select" value of an instruction inside two
// loops, then evaluated several times from several context nodes of a fixed
// feed. Checks that a failed compilation leaves the step table as it was,
// and that every result is a set of element indexes in document order
// without the document node.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "rendering/xsl_parser.h"

namespace {

using namespace wayfetch;

constexpr const char* feed =
    "<rss><channel><title>C1</title><item a='1'><title>A</title>x</item>"
    "<item><title>B</title><item><title>B2</title></item></item><item/></channel>"
    "<channel><title>C2</title><item>D</item><!--c--></channel><x:y/></rss><rss/>";

constexpr const char* loops =
    "<xsl:for-each select='a' index='i'><xsl:for-each select='b' index='j'>"
    "<xsl:value-of select='c'/></xsl:for-each></xsl:for-each>";

void check(bool condition) {
  if (!condition) std::abort();
}

const XmlParser& data_tree() {
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
  const XmlParser& tree = data_tree();
  XslParser parser;
  parser.set_mode(ParseMode::xsl_template);
  TextScanner template_text{std::string_view(loops)};
  parser.parse(template_text);
  parser.prepare_template();
  XslParser::Limits limits;
  limits.request_work = 1 << 18;
  parser.set_limits(limits);
  parser.restart_budgets();
  int32_t owner = parser.node_count() - 1;  // the "select" of xsl:value-of

  TextScanner request = fuzzing::text_from(data, size);
  int32_t before = parser.steps().size();
  parser.clear_status();
  int32_t id = parser.compile_request(request, 1, owner);
  if (id == faulty_request) {
    check(parser.steps().size() == before);
    check(parser.error == 25 || (parser.error >= 30 && parser.error <= 34));
    return 0;
  }
  check(id >= before && id < parser.steps().size());
  check(parser.error == 0);

  Storage<int32_t> nodes;
  for (int32_t context : {0, 1, 2, 5, tree.node_count() - 1, -1}) {
    for (uint32_t loop = 0; loop < 3; ++loop) {
      parser.set_loop_value(0, loop);
      parser.set_loop_value(1, loop * 7);
      parser.evaluate_request(id, tree, context, nodes);
      int32_t previous = 0;
      for (int32_t node : nodes) {
        check(node > previous && tree.valid(node));
        previous = node;
      }
    }
  }
  return 0;
}
