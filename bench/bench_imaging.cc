// Picture-record benchmark: our conversion against ImageMagick's convert
// doing the same work (the same resize, 256 colours without dithering, BMP3
// output) on the same files, and the peak memory of one conversion.
//
//   bench_imaging [--repeat N]   make the test pictures, time, print a table;
//                                then the PNG libraries on the PNG pictures
//   bench_imaging --one FILE     convert FILE once (used for process timings
//                                and peak memory; prints "maxrss_kb N")
//
// The pictures (JPEG and PNG photos of 640 x 480, 2000 x 1500 and 4000 x
// 3000, a 440 x 560 GIF) are written to a temporary folder and removed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_usage.h"
#include "bench/png_race.h"
#include "imaging/colour_reduction.h"
#include "imaging/picture_record.h"
#include "tests/imaging/picture_files.h"

extern char** environ;

namespace {

using wayfetch::PictureSize;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Runs a program and waits; returns the wall time in ms (-1 on failure).
double run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const double ms = ms_since(start);
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

struct Picture {
  std::string label;
  std::string path;
  PictureSize record;  // what the record (and ImageMagick's output) measures
  bool gif;
};

wayfetch::testing::Bytes make_gif(int width, int height) {
  // A photo reduced to 256 colours, so the LZW data looks like a real GIF's.
  const auto photo = wayfetch::testing::photo_image(width, height, 7);
  wayfetch::Bitmap colour(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto c = photo.at(x, y);
      uint8_t* p = colour.row_from_top(y) + 3 * x;
      p[0] = c.blue, p[1] = c.green, p[2] = c.red;
    }
  }
  wayfetch::Bitmap reduced;
  wayfetch::reduce_colours(colour, reduced);
  std::vector<uint8_t> indices;
  for (int y = 0; y < height; ++y) {
    indices.insert(indices.end(), reduced.row_from_top(y), reduced.row_from_top(y) + width);
  }
  wayfetch::testing::GifOptions options;
  for (const auto& e : reduced.palette()) options.global_table.push_back({e.red, e.green, e.blue});
  return wayfetch::testing::encode_gif(width, height, indices, options);
}

// The peak resident memory of this process image in KB. VmHWM, not
// getrusage: ru_maxrss carries over the peak of the process that spawned us.
long peak_kb() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
  }
  std::fclose(status);
  return kb;
}

int convert_once(const char* path) {
  const auto record = wayfetch::convert_picture(path);
  std::printf("peak_kb %ld converted %d bytes %zu\n", peak_kb(), record.converted ? 1 : 0,
              record.bytes.size());
  return record.converted ? 0 : 1;
}

long peak_of_one(const std::string& self, const std::string& path) {
  std::FILE* child = popen((self + " --one '" + path + "'").c_str(), "r");
  if (child == nullptr) return -1;
  long kb = -1;
  if (std::fscanf(child, "peak_kb %ld", &kb) != 1) kb = -1;
  pclose(child);
  return kb;
}

}  // namespace

int main(int argc, char** argv) {
  if (wayfetch::bench::asked_for_help(
          argc, argv,
          "usage: bench_imaging [--repeat N]   time our picture records against ImageMagick\n"
          "       bench_imaging --one FILE     convert FILE once, print maxrss_kb\n")) {
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--one") == 0) return convert_once(argv[2]);
  int repeat = 5;
  if (argc == 3 && std::strcmp(argv[1], "--repeat") == 0) repeat = std::max(1, std::atoi(argv[2]));
  const std::string self = std::filesystem::canonical("/proc/self/exe");
  const std::string magick = "/usr/bin/convert";
  const bool have_magick = access(magick.c_str(), X_OK) == 0;

  char pattern[] = "/tmp/bench-imaging-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  std::vector<Picture> pictures;
  const auto gen_start = Clock::now();
  for (PictureSize s : {PictureSize{640, 480}, PictureSize{2000, 1500}, PictureSize{4000, 3000}}) {
    const auto photo = wayfetch::testing::photo_image(s.width, s.height);
    const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
    wayfetch::testing::JpegOptions jpeg;
    jpeg.quality = 85;
    wayfetch::testing::write_file(dir + "/" + size + ".jpg",
                                  wayfetch::testing::encode_jpeg(photo, jpeg));
    wayfetch::testing::write_file(dir + "/" + size + ".png", wayfetch::testing::encode_png(photo));
    pictures.push_back(
        {"JPEG " + size, dir + "/" + size + ".jpg", wayfetch::record_size(s), false});
    pictures.push_back(
        {"PNG  " + size, dir + "/" + size + ".png", wayfetch::record_size(s), false});
  }
  wayfetch::testing::write_file(dir + "/440x560.gif", make_gif(440, 560));
  pictures.push_back({"GIF  440x560", dir + "/440x560.gif", {220, 280}, true});
  std::printf("test pictures written in %.0f ms to %s\n", ms_since(gen_start), dir.c_str());
  for (const auto& p : pictures) {
    std::printf("  %-16s %9ju bytes\n", p.label.c_str(),
                static_cast<uintmax_t>(std::filesystem::file_size(p.path)));
  }
  std::printf("\nmedian of %d runs, ms; ratio = ImageMagick / ours\n", repeat);
  std::printf("%-16s %-9s %9s %9s %11s %9s %9s\n", "picture", "record", "ours", "ours+exec",
              "ImageMagick", "ratio", "ratio+exec");

  for (const auto& p : pictures) {
    const std::string out = dir + "/out.bmp";
    std::vector<double> ours, ours_process, theirs;
    wayfetch::convert_picture(p.path);  // warm the file cache
    for (int i = 0; i < repeat; ++i) {
      const auto start = Clock::now();
      const auto record = wayfetch::convert_picture(p.path);
      ours.push_back(ms_since(start));
      if (!record.converted) std::printf("!! %s: %s\n", p.label.c_str(), record.message.c_str());
      ours_process.push_back(run({self, "--one", p.path}));
      if (have_magick) {
        const std::string geometry =
            std::to_string(p.record.width) + "x" + std::to_string(p.record.height) + "!";
        // GIFs are point-sampled into the screen, photos area-resized.
        theirs.push_back(
            run({magick, p.gif ? p.path + "[0]" : p.path, p.gif ? "-sample" : "-resize", geometry,
                 "+dither", "-colors", "256", "BMP3:" + out}));
      }
    }
    const double a = median(ours), b = median(ours_process);
    const double c = have_magick ? median(theirs) : -1;
    std::printf("%-16s %4dx%-4d %9.2f %9.2f %11.2f %8.1fx %8.1fx\n", p.label.c_str(),
                p.record.width, p.record.height, a, b, c, c / a, c / b);
  }

  // The PNG libraries on the same pictures, decoding into the same scaler.
  std::printf("\nPNG decoding and shrinking to the record size, median of %d runs, ms\n", repeat);
  std::printf("%-16s %9s %9s %9s %12s %12s %s\n", "picture", "libpng", "libspng", "ratio",
              "zlib inflate", "share", "same pixels");
  for (const auto& p : pictures) {
    if (p.label.rfind("PNG", 0) != 0) continue;
    const auto race = wayfetch::bench::race_png(p.path, p.record, repeat);
    std::printf("%-16s %9.2f %9.2f %8.2fx %12.2f %5.0f%%/%3.0f%% %s\n", p.label.c_str(),
                race.libpng_ms, race.libspng_ms, race.libpng_ms / race.libspng_ms,
                race.inflate_ms, 100 * race.inflate_ms / race.libpng_ms,
                100 * race.inflate_ms / race.libspng_ms,
                race.libspng_ms < 0 ? "(no libspng)" : race.same_pixels ? "yes" : "NO");
  }
  std::printf("ratio = libpng / libspng; share = inflating / libpng, / libspng\n");

  // Peak memory of one conversion in its own process, against the same
  // process converting the small GIF.
  const long baseline = peak_of_one(self, dir + "/440x560.gif");
  std::printf("\npeak resident memory of one conversion (process converting the GIF: %.1f MB)\n",
              baseline / 1024.0);
  for (const char* name : {"4000x3000.jpg", "4000x3000.png", "2000x1500.jpg"}) {
    std::printf("  %-14s %.1f MB\n", name, peak_of_one(self, dir + "/" + name) / 1024.0);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
