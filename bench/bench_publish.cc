// Publishing speed and memory: generates a page of N megabytes (default 5)
// with P distinct JPEG pictures (default 50), publishes it as Quick publish
// does (compressed), and prints the time split into the content stage
// (reading tags, rewriting, patching), text-record compression, picture
// conversion and the rest, plus the process's peak memory.
//
//   bench_publish [--mb N] [--pictures P] [--keep FOLDER] [--threads T]
//
// Times are the publishing thread's CPU seconds, so a machine shared with
// other work still gives comparable figures; wall-clock seconds are printed
// beside them. The page is written to disk in small pieces before
// publishing, so the peak memory is the publisher's.
//
// With --threads T the pictures are converted on T threads, and the same
// page is also published with one thread in the same process (three times
// each, alternating; the fastest counts): the wall-time ratio T threads /
// one thread is printed, and both books must be byte-identical.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_usage.h"
#include "ebook/bitmap_pictures.h"
#include "ebook/ebook_package.h"
#include "ebook/ebook_publisher.h"
#include "tests/imaging/picture_files.h"

namespace {

using namespace wayfetch;

struct Instant {
  double cpu = 0;
  double wall = 0;
  Instant operator-(const Instant& o) const { return {cpu - o.cpu, wall - o.wall}; }
  Instant& operator+=(const Instant& o) {
    cpu += o.cpu;
    wall += o.wall;
    return *this;
  }
};

Instant now() {
  timespec cpu{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  return {static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9, wall};
}

// Notes the moments the publisher moves from one stage to the next.
class StageClock : public PublishProgress {
 public:
  void set_range(Stage stage, int32_t) override {
    if (stage == Stage::text_records) text_start = now();
    if (stage == Stage::pictures) pictures_start = now();
  }
  void set_position(int32_t) override {}
  Instant text_start;
  Instant pictures_start;
};

// The picture library, timed: the time the writer spends in make_record
// (converting, or waiting for the pool).
class TimedPictures : public PictureRecordSource {
 public:
  explicit TimedPictures(int threads) : inner(threads) {}
  bool make_record(const std::string& path, std::vector<uint8_t>& record,
                   std::string& error_text) override {
    const Instant start = now();
    const bool ok = inner.make_record(path, record, error_text);
    spent += now() - start;
    return ok;
  }
  void expect(const std::string& path) override { inner.expect(path); }
  void expect_none() override { inner.expect_none(); }
  BitmapPictureSource inner;
  Instant spent;
};

struct Run {
  bool ok = false;
  Instant total;
  Instant content;
  Instant compression;
  Instant pictures;
  int32_t text_records = 0;
};

Run publish_once(const std::string& page, const std::string& book, int threads) {
  const EbookPackage package = EbookPackage::from_page(page, "");
  TimedPictures timed(threads);
  StageClock clock;
  EbookPublisher publisher(package, &timed);
  publisher.set_converter_progress(nullptr);
  publisher.set_progress(&clock);
  Run run;
  const Instant start = now();
  run.ok = publisher.publish(book, true, true);
  run.total = now() - start;
  if (!run.ok) {
    std::fprintf(stderr, "publish failed: %s\n", publisher.error_text().c_str());
    return run;
  }
  run.content = clock.text_start - start;
  run.compression = clock.pictures_start - clock.text_start;
  run.pictures = timed.spent;
  run.text_records = publisher.text_record_count();
  return run;
}

// How many cores the machine gives us now: T threads each doing one piece
// of busy work against one thread doing all T pieces.
double cores_available(int threads) {
  const auto busy = [] {
    volatile double x = 0;
    for (int i = 0; i < 20000000; ++i) x = x + 1e-9 * i;
  };
  const auto start_one = std::chrono::steady_clock::now();
  for (int i = 0; i < threads; ++i) busy();
  const double one = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_one).count();
  const auto start_many = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; ++i) workers.emplace_back(busy);
  for (std::thread& worker : workers) worker.join();
  const double many =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_many).count();
  return one / many;
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A news page: headings with anchors, paragraphs with links to them, a style
// sheet, and the pictures spread through the text. Written in pieces.
void write_page(const std::string& path, std::size_t bytes, int pictures) {
  std::ofstream out(path, std::ios::binary);
  out << "<html><head><title>Bench</title><style>P.lead { font-weight: bold }\n"
         ".note { font-size: x-small; text-align: center }</style></head><body>\n";
  std::mt19937 rng(7);
  const char* words[] = {"handheld", "reader", "news", "of",      "the",    "day", "and", "story",
                         "weather",  "market", "city", "council", "report", "a",   "in"};
  std::size_t written = 0;
  int section = 0;
  int next_picture = 0;
  const std::size_t picture_every = bytes / static_cast<std::size_t>(pictures + 1);
  std::string piece;
  while (written < bytes) {
    piece.clear();
    piece += "<h2 id=\"s" + std::to_string(section) + "\">Section " + std::to_string(section) +
             "</h2>\n";
    for (int p = 0; p < 6; ++p) {
      piece += p == 0 ? "<p class=lead>" : (p == 5 ? "<p class=note>" : "<p>");
      for (int w = 0; w < 60; ++w) {
        piece += words[rng() % std::size(words)];
        piece += ' ';
      }
      piece += "<a href=\"#s" + std::to_string(rng() % (section + 1)) + "\">earlier</a></p>\n";
    }
    if (next_picture < pictures &&
        written >= picture_every * static_cast<std::size_t>(next_picture + 1)) {
      piece += "<p><img src=\"picture" + std::to_string(next_picture) + ".jpg\" alt=\"\"></p>\n";
      ++next_picture;
    }
    out << piece;
    written += piece.size();
    ++section;
  }
  for (; next_picture < pictures; ++next_picture) {
    out << "<p><img src=\"picture" << next_picture << ".jpg\"></p>\n";
  }
  out << "</body></html>\n";
}

long peak_kilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (wayfetch::bench::asked_for_help(
          argc, argv,
          "usage: bench_publish [--mb N] [--pictures P] [--keep FOLDER] [--threads T]\n"
          "Publishes a generated page of N MB (default 5) with P pictures (default 50)\n"
          "and prints the time of each stage and the peak memory; with --threads T,\n"
          "the wall-time ratio of T picture threads against one.\n")) {
    return 0;
  }
  double megabytes = 5;
  int pictures = 50;
  std::string keep;
  int threads = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--threads") == 0) threads = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--mb") == 0) megabytes = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--pictures") == 0) pictures = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--keep") == 0) keep = argv[i + 1];
  }
  namespace fs = std::filesystem;
  const fs::path folder =
      keep.empty() ? fs::temp_directory_path() / ("bench-publish-" + std::to_string(getpid()))
                   : fs::path(keep);
  fs::create_directories(folder);

  for (int i = 0; i < pictures; ++i) {
    const testing::RgbImage image = testing::photo_image(640, 480, static_cast<uint32_t>(i + 1));
    testing::write_file((folder / ("picture" + std::to_string(i) + ".jpg")).string(),
                        testing::encode_jpeg(image));
  }
  const std::string page = (folder / "bench.html").string();
  write_page(page, static_cast<std::size_t>(megabytes * 1024 * 1024), pictures);
  const long before = peak_kilobytes();

  const std::string book = (folder / "bench.prc").string();
  if (threads > 0) {
    // One thread and T threads, alternating, three times each.
    const std::string other = (folder / "bench-1.prc").string();
    double one = 1e30;
    double many = 1e30;
    double cores = 0;
    Run fastest_single;
    for (int round = 0; round < 3; ++round) {
      const Run single = publish_once(page, other, 1);
      const Run pooled = publish_once(page, book, threads);
      if (!single.ok || !pooled.ok) return 1;
      if (single.total.wall < one) fastest_single = single;
      one = std::min(one, single.total.wall);
      many = std::min(many, pooled.total.wall);
      cores += cores_available(threads) / 3;
    }
    // On T free cores the pictures (converted from the moment the page
    // names them) run beside reading the page and compressing the text.
    const Run& s1 = fastest_single;
    const double serial = s1.total.cpu - s1.pictures.cpu;
    const double expected = std::max(serial, s1.pictures.cpu / threads) / s1.total.cpu;
    const bool same = file_bytes(book) == file_bytes(other);
    std::printf("page %.1f MB, %d JPEG pictures (640 x 480)\n",
                static_cast<double>(fs::file_size(page)) / 1048576.0, pictures);
    std::printf("wall s, 1 thread:    %8.3f\n", one);
    std::printf("wall s, %d threads:   %8.3f\n", threads, many);
    std::printf("wall-time ratio %d threads / 1 thread: %.2f (target at most 0.6 on 2 cores)\n",
                threads, many / one);
    std::printf("cores the machine gave us meanwhile: %.2f of %d (busy loops on 1 and %d threads)\n",
                cores, threads, threads);
    std::printf("ratio expected on %d free cores from the CPU times: %.2f "
                "(serial %.3f s, pictures %.3f s)\n",
                threads, expected, serial, s1.pictures.cpu);
    std::printf("books identical: %s\n", same ? "yes" : "NO");
    if (keep.empty()) fs::remove_all(folder);
    return same ? 0 : 1;
  }

  const Run run = publish_once(page, book, 1);
  if (!run.ok) return 1;
  const Instant rest = run.total - run.compression - run.pictures;
  std::printf("page %.1f MB, %d JPEG pictures (640 x 480), %d text records, book %.1f MB\n",
              static_cast<double>(fs::file_size(page)) / 1048576.0, pictures, run.text_records,
              static_cast<double>(fs::file_size(book)) / 1048576.0);
  std::printf("%-34s %8s %8s\n", "", "cpu s", "wall s");
  std::printf("%-34s %8.3f %8.3f\n", "total", run.total.cpu, run.total.wall);
  std::printf("%-34s %8.3f %8.3f\n", "text records (compression)", run.compression.cpu,
              run.compression.wall);
  std::printf("%-34s %8.3f %8.3f\n", "picture conversion", run.pictures.cpu, run.pictures.wall);
  std::printf("%-34s %8.3f %8.3f\n", "rest", rest.cpu, rest.wall);
  std::printf("%-34s %8.3f %8.3f\n", "  of it: tags, rewriting, patching", run.content.cpu,
              run.content.wall);
  std::printf("rest / compression: %.2f (target below 0.5)\n", rest.cpu / run.compression.cpu);
  std::printf("peak memory: %.1f MB (%.1f MB before publishing)\n",
              static_cast<double>(peak_kilobytes()) / 1024.0, static_cast<double>(before) / 1024.0);
  if (keep.empty()) fs::remove_all(folder);
  return 0;
}
