// The estimates of an update and the texts a front end shows of them.
#include "config/update_estimates.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "core/string_table.h"

namespace wayfetch {
namespace {

struct Item {
  bool selected;
  bool in_build;
  int32_t file_count;
};

struct FiguresCase {
  const char* name;
  int32_t file_count;
  int32_t time_per_file;
  int32_t file_size;
  std::vector<Item> items;
  int64_t files;
  int64_t time_ms;
  int64_t size;
};

// Items without schedule texts or data files are due exactly when selected.
const FiguresCase figures_cases[] = {
    {"SizeBySelectedInBuild", 2, 1500, 9000, {{true, true, 3}, {true, false, 4}, {false, true, 9}},
     2 + 3 + 4, 9 * 1500, 9000 * 2 / 2},
    {"SizeByItemsWhenNoneWasBuilt", 1, 10, 4000,
     {{true, false, 5}, {false, false, 0}, {false, false, 0}, {false, false, 0}}, 6, 60,
     4000 / 4},
    {"NoItemsNoFigures", 7, 10, 5000, {}, 0, 0, 0},
    {"LargeFiguresDoNotWrap", INT32_MAX, INT32_MAX, INT32_MAX,
     {{true, true, INT32_MAX}, {true, false, 0}, {true, false, 0}},
     int64_t{2} * INT32_MAX, int64_t{2} * INT32_MAX * INT32_MAX, int64_t{3} * INT32_MAX},
};

class FiguresTest : public ::testing::TestWithParam<FiguresCase> {};

TEST_P(FiguresTest, Figures) {
  const FiguresCase& c = GetParam();
  ENews enews;
  enews.file_count = c.file_count;
  enews.time_per_file = c.time_per_file;
  enews.file_size = c.file_size;
  for (const Item& wanted : c.items) {
    ENewsItem& item = enews.add_item(std::make_unique<ENewsItem>());
    item.set_selected(wanted.selected);
    item.selected_in_build = wanted.in_build;
    item.file_count = wanted.file_count;
  }
  const EstimateFigures figures = enews_estimates(enews, Timestamp::now());
  EXPECT_EQ(figures.files, c.files);
  EXPECT_EQ(figures.time_ms, c.time_ms);
  EXPECT_EQ(figures.size_bytes, c.size);
  EXPECT_EQ(figures.anything_due, c.files > 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, FiguresTest, ::testing::ValuesIn(figures_cases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(EstimateTextTest, MinutesSecondsAndKilobytes) {
  const std::pair<int64_t, const char*> times[] = {{0, "0:0"}, {59, "0:59"}, {200, "3:20"},
                                                   {3600, "60:0"}};
  for (const auto& [seconds, text] : times) EXPECT_EQ(minutes_seconds(seconds), text);
  const std::pair<int64_t, const char*> sizes[] = {{0, "0 KB"}, {1, "1 KB"}, {1024, "1 KB"},
                                                   {1025, "2 KB"}};
  for (const auto& [bytes, text] : sizes) EXPECT_EQ(kilobytes_text(bytes), text);
  EXPECT_EQ(StatusLine::plain_line(strings::update_starting).text(), "Starte das Update...");
  EXPECT_EQ(StatusLine::enews_line(strings::file_downloaded, String("Tides"), 3).text(),
            "Neu heruntergeladene Datei (Tides,3)");
  EXPECT_EQ(StatusLine::time_line(strings::update_ended_in, 200).text(),
            "Update endet in 3 min 20");
}

// Records what the display hands over.
class Shown : public UpdateObserver {
 public:
  void progress_range(int32_t files) override { lines.push_back("range " + std::to_string(files)); }
  void progress_position(int32_t at) override { lines.push_back("at " + std::to_string(at)); }
  void time_estimate(int32_t label, const std::string& time) override {
    lines.push_back(std::to_string(label) + " " + time);
  }
  void size_estimate(const std::string& size) override { lines.push_back(size); }
  Prompts& prompts() override { std::abort(); }
  std::vector<std::string> lines;
};

// Texts are handed over only when they change; each file takes its eNews's
// time per file off the remaining time, never below 0.
TEST(EstimateDisplayTest, ShowsChangesAndCountsFiles) {
  EstimateDisplay display;
  Shown shown;
  display.show({3, 61500, 2048, true}, shown);
  display.show({3, 61900, 2048, true}, shown);
  display.file_downloaded(1000, shown);
  display.file_downloaded(500, shown);
  display.file_downloaded(100000, shown);
  EXPECT_EQ(display.remaining_ms(), 0);
  display.show({0, 0, 3000, false}, shown);
  EXPECT_EQ(shown.lines, (std::vector<std::string>{"range 3", "at 0", "2 KB", "10166 1:1",
                                                   "range 3", "at 0", "at 1", "10166 1:0",
                                                   "at 2", "at 3", "10166 0:0", "range 0",
                                                   "at 0", "3 KB", "10165 "}));
}

}  // namespace
}  // namespace wayfetch
