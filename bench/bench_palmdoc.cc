// PalmDOC throughput: compresses text in 4096-byte records with the fast
// compressor and with the brute-force reference in the same run, checks that
// both give the same bytes and that every record decodes back, and prints
// MB/s for compression (both) and decompression. Rates are per second of
// the thread's CPU time, so a machine shared with other work still gives
// comparable figures; the wall-clock time is printed beside them.
//
//   bench_palmdoc [FOLDER] [--mb N]
// FOLDER: HTML pages (*.html, *.htm, searched recursively) to use, up to N
// megabytes (default 4); without it a generated text is used.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_usage.h"
#include "ebook/palmdoc.h"
#include "tests/ebook/palmdoc_reference.h"

namespace {

using Record = std::vector<uint8_t>;

// A point in time on both clocks.
struct Instant {
  double cpu;
  double wall;
};

Instant now() {
  timespec cpu{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  return {static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9, wall};
}

// Seconds since `start` on both clocks.
Instant since(const Instant& start) {
  const Instant n = now();
  return {n.cpu - start.cpu, n.wall - start.wall};
}

std::string load_pages(const std::filesystem::path& folder, std::size_t limit) {
  std::vector<std::filesystem::path> pages;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".html" || ext == ".htm")) pages.push_back(entry.path());
  }
  std::sort(pages.begin(), pages.end());
  std::string text;
  for (const auto& page : pages) {
    std::ifstream in(page, std::ios::binary);
    text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (text.size() >= limit) break;
  }
  text.resize(std::min(text.size(), limit));
  return text;
}

std::string generated_text(std::size_t size) {
  const char* words[] = {
      "the",  "news",   "of",       "today", "<p>", "</p>", "<a href=\"page.html\">",
      "</a>", "reader", "handheld", "and",   "a",   "<br>", "story",
      "\n"};
  std::mt19937 rng(1);
  std::string text;
  while (text.size() < size) {
    text += words[rng() % std::size(words)];
    text += ' ';
  }
  text.resize(size);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr const char* usage =
      "usage: bench_palmdoc [--mb N] [FOLDER]\n"
      "Compresses N MB (default 4) of the pages below FOLDER, or of generated text.\n";
  if (wayfetch::bench::asked_for_help(argc, argv, usage)) return 0;
  std::string folder;
  std::size_t megabytes = 4;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--mb" && i + 1 < argc) {
      megabytes = static_cast<std::size_t>(std::atoi(argv[++i]));
    } else {
      folder = arg;
    }
  }
  if (!folder.empty() && !wayfetch::bench::is_folder_argument(folder.c_str(), usage)) {
    return wayfetch::bench::usage_exit;
  }
  const std::size_t limit = megabytes * 1024 * 1024;
  const std::string text = folder.empty() ? generated_text(limit) : load_pages(folder, limit);
  if (text.empty()) {
    std::fprintf(stderr, "no text to compress\n");
    return 1;
  }
  std::vector<Record> records;
  for (std::size_t at = 0; at < text.size(); at += 4096) {
    const std::string piece = text.substr(at, 4096);
    records.emplace_back(piece.begin(), piece.end());
  }
  const double mb = static_cast<double>(text.size()) / (1024.0 * 1024.0);
  std::printf("input: %s, %.2f MB in %zu records\n",
              folder.empty() ? "generated text" : folder.c_str(), mb, records.size());

  // Fast compressor: repeat for at least a second.
  std::vector<Record> fast(records.size());
  int rounds = 0;
  const Instant fast_start = now();
  do {
    for (std::size_t i = 0; i < records.size(); ++i) {
      fast[i] = wayfetch::palmdoc::compress_bytes(records[i]);
    }
    ++rounds;
  } while (since(fast_start).cpu < 1.0);
  const Instant fast_time = since(fast_start);

  const Instant slow_start = now();
  std::size_t compressed = 0;
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Record slow = wayfetch::testing::reference_compress(records[i]);
    compressed += slow.size();
    if (slow != fast[i]) ++mismatches;
  }
  const Instant slow_time = since(slow_start);
  const int fast_rounds = rounds;

  std::vector<uint8_t> decoded;
  std::size_t bad = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!wayfetch::palmdoc::decompress_bytes(fast[i], decoded) || decoded != records[i]) ++bad;
  }
  rounds = 0;
  const Instant decode_start = now();
  do {
    for (const Record& r : fast) wayfetch::palmdoc::decompress_bytes(r, decoded);
    ++rounds;
  } while (since(decode_start).cpu < 1.0);
  const Instant decode_time = since(decode_start);

  std::printf("compressed size: %.1f %% of the input\n",
              100.0 * static_cast<double>(compressed) / static_cast<double>(text.size()));
  auto rate = [&](const char* what, int times, const Instant& t) {
    std::printf("%-22s %8.1f MB/s (CPU time), %8.1f MB/s (wall clock)\n", what, mb * times / t.cpu,
                mb * times / t.wall);
  };
  rate("compress (fast):", fast_rounds, fast_time);
  rate("compress (reference):", 1, slow_time);
  std::printf("speed-up:              %8.1f x (CPU time)\n",
              (fast_rounds / fast_time.cpu) / (1.0 / slow_time.cpu));
  rate("decompress:", rounds, decode_time);
  std::printf("records differing from the reference: %zu, failing the round trip: %zu\n",
              mismatches, bad);
  return mismatches == 0 && bad == 0 ? 0 : 1;
}
