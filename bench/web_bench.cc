// Speed of the address, link-path and timestamp operations that run once per
// link or picture of every downloaded page.
#include <benchmark/benchmark.h>

#include "web/link_path.h"
#include "web/timestamp.h"
#include "web/url.h"

namespace wayfetch {
namespace {

void resolve_case(benchmark::State& state, const char* base, const char* address) {
  String base_text(base);
  String address_text(address);
  String out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(resolve(base_text, address_text, out));
  }
}

void BM_ResolveRelative(benchmark::State& state) {
  resolve_case(state, "http://news.example/daily/2024/index.html?edition=eu",
               "../pics/photo.jpg?size=small&amp;q=80");
}
BENCHMARK(BM_ResolveRelative);

void BM_ResolveFragmentOnly(benchmark::State& state) {
  resolve_case(state, "http://news.example/daily/index.html", "#section-3");
}
BENCHMARK(BM_ResolveFragmentOnly);

void BM_ResolveAbsolute(benchmark::State& state) {
  resolve_case(state, "http://news.example/", "https://cdn.example.com/a/b/c.gif");
}
BENCHMARK(BM_ResolveAbsolute);

void BM_ResolveFile(benchmark::State& state) {
  resolve_case(state, "file:///home/u/site/a/index.html", "../img/photo one.png");
}
BENCHMARK(BM_ResolveFile);

void BM_Split(benchmark::State& state) {
  String address("http://user:pw@news.example:8080/daily/index.html?edition=eu#top");
  UrlParts parts;
  for (auto _ : state) benchmark::DoNotOptimize(split(address, parts));
}
BENCHMARK(BM_Split);

void BM_LinkPathFollow(benchmark::State& state) {
  for (auto _ : state) {
    LinkPath path;
    path.set("/home/u/books/package/chapters/one.html");
    path.set("../images/figure%201.html#fig");
    benchmark::DoNotOptimize(path.text());
  }
}
BENCHMARK(BM_LinkPathFollow);

void BM_TimestampTextRoundTrip(benchmark::State& state) {
  Timestamp t = Timestamp::from_unix(984'076'124, 250);
  for (auto _ : state) benchmark::DoNotOptimize(Timestamp::parse(t.format()));
}
BENCHMARK(BM_TimestampTextRoundTrip);

}  // namespace
}  // namespace wayfetch
