// The due rule over a whole list, as the update job and the estimates ask
// it: 1000 eNews with 20 selected items each, every item with a data file
// whose time the program stats, under daily, weekly and monthly schedules.
// Prints the best of several rounds and the items found due, beside the
// best time of stat(2) alone over the same files (what the file system
// costs on this machine); exits 1 when a round of the rule takes 50 ms or
// more.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/settings_names.h"
#include "config/wayfetch_configuration.h"
#include "platform/file_system.h"
#include "platform/settings_store_fake.h"

namespace {

using namespace wayfetch;
using Clock = std::chrono::steady_clock;

constexpr int enews_count = 1000;
constexpr int items_per_enews = 20;
constexpr int rounds = 9;
constexpr double limit_ms = 50;

const char* const periodicities[] = {"1 day; 6 hour", "1 week; 1 day, 4 day",
                                     "1 month; 0, 15 day; 2001/1/31 6:0:0:0", "2 hours", ""};

// Makes the list and a data file for every item, written one to 47 hours
// before `now`.
bool fill(WayfetchConfiguration& config, Timestamp now) {
  ENewsList list;
  for (int e = 0; e < enews_count; ++e) {
    auto enews = std::make_unique<ENews>();
    enews->set_name(String(("enews" + std::to_string(e)).c_str()));
    for (int k = 0; k < items_per_enews; ++k) {
      ENewsItem& item = enews->add_item(std::make_unique<ENewsItem>());
      item.set_name(String(("section" + std::to_string(k)).c_str()));
      item.set_selected(true);
      item.set_periodicity(String(periodicities[(e + k) % 5]));
      item.set_validity(String(k % 3 == 0 ? "12 hour" : "1 hour"));
    }
    list.push_back(std::move(enews));
  }
  config.merge(std::move(list), true);
  for (int e = 0; e < config.count(); ++e) {
    ENews& enews = config.at(e);
    if (!enews.create_folder()) return false;
    for (int k = 0; k < enews.item_count(); ++k) {
      const std::string path = enews.item(k).data_path().to_utf8();
      const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
      if (fd < 0) return false;
      const int64_t seconds = now.to_unix() - 3600 * (1 + (e * 7 + k) % 47);
      const timespec times[2] = {{seconds, 0}, {seconds, 0}};
      const bool set = ::futimens(fd, times) == 0;
      ::close(fd);
      if (!set) return false;
    }
  }
  return true;
}

}  // namespace

int main() {
  std::string folder = platform::create_temporary_folder("bench-due-");
  if (folder.empty()) return 1;
  platform::MemorySettingsStore store;
  if (!store.write_value(settings_names::program_key, settings_names::installation_path, folder)
           .ok()) {
    return 1;
  }
  WayfetchConfiguration config(store);
  const Timestamp now = Timestamp::now();
  if (!fill(config, now)) {
    std::fprintf(stderr, "cannot make the data files in %s\n", folder.c_str());
    platform::remove_folder(folder);
    return 1;
  }

  std::vector<std::string> paths;
  for (int e = 0; e < config.count(); ++e) {
    for (int k = 0; k < config.at(e).item_count(); ++k) {
      paths.push_back(config.at(e).item(k).data_path().to_utf8());
    }
  }
  double stat_ms = 1e9;
  double best_ms = 1e9;
  int due = 0;
  for (int r = 0; r < rounds; ++r) {
    Clock::time_point start = Clock::now();
    for (const std::string& path : paths) {
      struct stat info {};
      due += ::stat(path.c_str(), &info);
    }
    stat_ms =
        std::min(stat_ms, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  for (int r = 0; r < rounds; ++r) {
    const Clock::time_point start = Clock::now();
    due = 0;
    for (int e = 0; e < config.count(); ++e) {
      const ENews& enews = config.at(e);
      for (int k = 0; k < enews.item_count(); ++k) due += enews.item(k).is_due(now) ? 1 : 0;
    }
    best_ms =
        std::min(best_ms, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  platform::remove_folder(folder);
  const int items = enews_count * items_per_enews;
  std::printf(
      "due rule over %d eNews x %d items (with data files): %.2f ms best of %d rounds "
      "(%.2f us per item), %d due; stat alone: %.2f ms\n",
      enews_count, items_per_enews, best_ms, rounds, best_ms * 1000 / items, due, stat_ms);
  return best_ms < limit_ms ? 0 : 1;
}
