// Merging a handheld log copy of 10000 counts into a log of 10000 counts
// (10 report targets each), as the update run does after a HotSync: with
// half the copy's counts already in the log, and with none of them. Each
// figure is the whole merge (open, merge, sort, write back, delete the
// copy), the best and the median of the rounds. Exits 1 when a median
// passes one second.
//
//   bench_log_merge [--counts N] [--rounds R]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/palm_database.h"
#include "delivery/wayfetch_replicator.h"

namespace {

using wayfetch::PalmDatabase;

std::string be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string target(int i) {
  std::string address = "http://stats.example/t" + std::to_string(i);
  std::string r{'\0', '\0', '\1', '\0', '\0', static_cast<char>(address.size())};
  return r + address;
}

std::string count(int item, uint32_t target_id) {
  std::string r = "\1item" + std::to_string(item);
  r.resize(33, '\0');
  return r + be32(target_id) + be32(1);
}

// 10 targets with ids id_base .. id_base + 9, then counts of items
// first .. first + n - 1 spread over them.
void make_log(const std::string& path, uint32_t id_base, int first, int n) {
  auto db = PalmDatabase::create(path, 0x14, "LORV", "LogF", PalmDatabase::mode_memory);
  uint32_t id = id_base;
  auto add = [&](const std::string& data) {
    int32_t at = db->record_count();
    db->new_record(at, static_cast<uint32_t>(data.size()))
        ->write(0, data.data(), static_cast<uint32_t>(data.size()));
    db->set_record_info(at, 0, id++);
  };
  for (int t = 0; t < 10; ++t) add(target(t));
  for (int i = first; i < first + n; ++i) add(count(i, id_base + static_cast<uint32_t>(i % 10)));
  db->close();
}

double run(const std::string& folder, int counts, int overlap, int rounds, double& best) {
  wayfetch::ReplicatorSetup setup;
  setup.log_path = folder + "/lorvbook.mbl";
  setup.returned_path = folder + "/lorvbook_temp.mbl";
  std::vector<double> times;
  for (int round = 0; round < rounds; ++round) {
    make_log(setup.log_path, 0, 0, counts);
    make_log(setup.returned_path, 100000, counts - overlap, counts);
    wayfetch::WayfetchReplicator replicator(setup);
    auto start = std::chrono::steady_clock::now();
    wayfetch::MergeResult result = replicator.merge_copy(setup.returned_path);
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!result.merged || result.counts_added != overlap) {
      std::fprintf(stderr, "merge failed\n");
      std::exit(2);
    }
  }
  std::sort(times.begin(), times.end());
  best = times.front();
  unlink(setup.log_path.c_str());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int counts = 10000;
  int rounds = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--counts") == 0) counts = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
  }
  if (counts < 1 || rounds < 1) return 2;
  std::string folder = "/tmp/bench-log-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) return 2;
  bool slow = false;
  for (int overlap : {counts / 2, 0}) {
    double best = 0;
    double median = run(folder, counts, overlap, rounds, best);
    std::printf(
        "copy of %d counts into a log of %d, %d already there: best %.1f ms, median %.1f ms\n",
        counts, counts, overlap, best * 1000, median * 1000);
    slow = slow || median > 1.0;
  }
  rmdir(folder.c_str());
  return slow ? 1 : 0;
}
