// Converts every picture of a folder (and its subfolders) into a picture
// record and reports what each gives: record size, whether it converted or
// got the placeholder and why, and whether the record is a valid BMP.
//
//   bench_imaging_sweep FOLDER
//
// Exit status 1 when any record is invalid.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_usage.h"
#include "imaging/picture_record.h"
#include "tests/imaging/picture_files.h"

namespace {
constexpr const char* usage =
    "usage: bench_imaging_sweep FOLDER\n"
    "Converts every file below FOLDER into a picture record and reports each.\n";
}  // namespace

int main(int argc, char** argv) {
  if (wayfetch::bench::asked_for_help(argc, argv, usage)) return 0;
  if (argc != 2) {
    std::fputs(usage, stderr);
    return wayfetch::bench::usage_exit;
  }
  if (!wayfetch::bench::is_folder_argument(argv[1], usage)) return wayfetch::bench::usage_exit;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  int converted = 0, placeholders = 0, invalid = 0, skipped = 0;
  for (const auto& path : files) {
    const std::string name = path.string();
    if (wayfetch::picture_kind_of_name(name) == wayfetch::PictureKind::unknown) {
      ++skipped;
      continue;
    }
    const auto start = std::chrono::steady_clock::now();
    const wayfetch::PictureRecord record = wayfetch::convert_picture(name);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const auto bmp = wayfetch::testing::parse_bmp(record.bytes);
    if (!bmp.valid) ++invalid;
    (record.converted ? converted : placeholders) += 1;
    std::printf("%-60s %s %4dx%-4d %2d bits %7zu bytes %7.2f ms%s%s\n",
                std::filesystem::relative(path, argv[1]).c_str(),
                !bmp.valid         ? "INVALID"
                : record.converted ? "ok     "
                                   : "placeholder",
                bmp.width, bmp.height, bmp.bit_count, record.bytes.size(), ms,
                record.message.empty() ? "" : "  -- ", record.message.c_str());
  }
  std::printf("\n%d converted, %d placeholders, %d invalid records, %d other files skipped\n",
              converted, placeholders, invalid, skipped);
  return invalid == 0 ? 0 : 1;
}
