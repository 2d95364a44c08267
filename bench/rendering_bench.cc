// Speed of the rendering on the large and hostile inputs it must survive: a
// megabyte request, requests nested a hundred thousand levels, and a loop over
// a hundred thousand data nodes that picks from a parallel list by index.
#include <benchmark/benchmark.h>

#include <string>

#include "core/text_scanner.h"
#include "rendering/xsl_parser.h"

namespace wayfetch {
namespace {

XmlParser parsed(const std::string& text, ParseMode mode = ParseMode::xml) {
  XmlParser parser;
  parser.set_mode(mode);
  TextScanner input{std::string_view(text)};
  parser.parse(input);
  return parser;
}

void BM_CompileMegabyteChain(benchmark::State& state) {
  std::string chain;
  while (chain.size() < (1u << 20)) chain += "item/";
  String text{std::string_view(chain)};
  for (auto _ : state) {
    XslParser parser;
    benchmark::DoNotOptimize(parser.compile_request(text, 1, -1));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(chain.size()));
}
BENCHMARK(BM_CompileMegabyteChain)->Unit(benchmark::kMillisecond);

void BM_EvaluateNestedGroups(benchmark::State& state) {
  const auto depth = static_cast<std::size_t>(state.range(0));
  String text{std::string_view(std::string(depth, '(') + "item" + std::string(depth, ')'))};
  XmlParser data = parsed("<c><item/><item/><item/></c>");
  XslParser parser;
  int32_t request = parser.compile_request(text, 1, -1);
  Storage<int32_t> nodes;
  for (auto _ : state) {
    parser.restart_budgets();
    parser.evaluate_request(request, data, 1, nodes);
    benchmark::DoNotOptimize(nodes.size());
  }
}
BENCHMARK(BM_EvaluateNestedGroups)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ForEachWithIndex(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  std::string data_text = "<r>";
  for (int i = 0; i < count; ++i) data_text += "<i>" + std::to_string(i % 10) + "</i>";
  data_text += "</r>";
  XmlParser data = parsed(data_text);
  XslParser tmpl;
  tmpl.set_mode(ParseMode::xsl_template);
  TextScanner input{
      std::string_view("<xsl:stylesheet><xsl:for-each select='/r/i' index='k'><p>"
                       "<xsl:value-of select='../i[#k]'/></p></xsl:for-each></xsl:stylesheet>")};
  tmpl.parse(input);
  tmpl.prepare_template();
  for (auto _ : state) {
    XmlParser output;
    tmpl.execute(0, output, data, 0);
    benchmark::DoNotOptimize(output.node_count());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}
BENCHMARK(BM_ForEachWithIndex)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wayfetch
