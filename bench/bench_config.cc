// Loads and saves a configuration of 1000 eNews with 10 items each, and in
// the same run parses the same file bare (read and parse in the
// extraction-template mode and free the tree, nothing else), so that the
// reader's own cost shows as the ratio of the two. Prints the best of several rounds; exits 1
// when loading takes more than twice the bare parse.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "config/settings_names.h"
#include "config/wayfetch_configuration.h"
#include "core/text_scanner.h"
#include "platform/file_system.h"
#include "platform/settings_store_fake.h"
#include "xml/xml_parser.h"

namespace {

using namespace wayfetch;
using Clock = std::chrono::steady_clock;

constexpr int enews_count = 1000;
constexpr int items_per_enews = 10;
constexpr int rounds = 7;

String text(const std::string& value) {
  return String(std::string_view(value));
}

void fill(WayfetchConfiguration& config) {
  ENewsList list;
  for (int e = 0; e < enews_count; ++e) {
    auto enews = std::make_unique<ENews>();
    std::string name = "enews" + std::to_string(e);
    enews->set_name(text(name));
    enews->title = text("The " + name + " daily & weekly");
    enews->xml_extraction =
        text("http://news" + std::to_string(e) + ".example/t/" + name + ".enews");
    enews->xsl_rendering = text("http://news" + std::to_string(e) + ".example/t/" + name + ".xsl");
    enews->file_count = 40 + e;
    enews->time_per_file = 250;
    enews->file_size = 120000 + e;
    for (int k = 0; k < items_per_enews; ++k) {
      auto& item = enews->add_item(std::make_unique<ENewsItem>());
      item.set_name(text("section" + std::to_string(k)));
      item.title = text("Section " + std::to_string(k) + " of " + name);
      item.set_selected(k % 2 == 0);
      item.set_periodicity(String("1 day; 6 hour"));
      item.set_validity(String("1 hour"));
      item.file_count = k;
    }
    list.push_back(std::move(enews));
  }
  config.merge(std::move(list), true);
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
  std::string folder = platform::create_temporary_folder("bench-config-");
  if (folder.empty()) return 1;
  platform::MemorySettingsStore store;
  if (!store.write_value(settings_names::program_key, settings_names::installation_path, folder)
           .ok()) {
    return 1;
  }
  WayfetchConfiguration source(store);
  fill(source);
  double best_save = 1e9;
  for (int r = 0; r < rounds; ++r) {
    Clock::time_point start = Clock::now();
    if (!source.save()) return 1;
    best_save = std::min(best_save, seconds_since(start));
  }
  String path = source.config_path();
  long long bytes = 0;
  {
    File file;
    if (file.open(path, File::read_existing)) bytes = static_cast<long long>(file.size());
  }

  double best_parse = 1e9;
  double best_load = 1e9;
  int32_t nodes = 0;
  for (int r = 0; r < rounds; ++r) {
    Clock::time_point start = Clock::now();
    {
      // The tree is freed inside the measurement, as load frees its own.
      TextScanner bare;
      if (!bare.load_file(path)) return 1;
      XmlParser parser;
      parser.set_mode(ParseMode::extraction_template);
      parser.parse(bare);
      nodes = parser.node_count();
    }
    best_parse = std::min(best_parse, seconds_since(start));

    start = Clock::now();
    WayfetchConfiguration loaded(store);
    if (!loaded.load(path, true, true) || loaded.count() != enews_count) return 1;
    best_load = std::min(best_load, seconds_since(start));
  }
  platform::remove_folder(folder);

  double ratio = best_load / best_parse;
  std::printf(
      "bench_config: %d eNews x %d items, %lld bytes, %d nodes\n"
      "  bare parse %.1f ms, load %.1f ms (%.2f x the parse), save %.1f ms (best of %d)\n",
      enews_count, items_per_enews, bytes, nodes, best_parse * 1e3, best_load * 1e3, ratio,
      best_save * 1e3, rounds);
  return ratio <= 2.0 ? 0 : 1;
}
