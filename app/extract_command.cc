#include "app/extract_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "app/log_records.h"
#include "app/quick_publish.h"
#include "config/wayfetch_configuration.h"
#include "core/ascii.h"
#include "core/error_codes.h"
#include "core/error_log.h"
#include "extraction/extraction_template.h"
#include "extraction/extractor.h"
#include "platform/file_system.h"
#include "platform/settings_store_file.h"
#include "web/web_connector.h"

namespace wayfetch {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view enews_suffix = ".enews";

// The program's log for the run, counting the error records it writes.
class CountingLog : public ErrorSink {
 public:
  explicit CountingLog(const std::string& path) : log_(String(path.c_str()), true) {}
  void write_error(int32_t code, int32_t a, int32_t b) override {
    if (code_groups::error_written(code)) errors_.fetch_add(1, std::memory_order_relaxed);
    log_.write_error(code, a, b);
  }
  void write_warning(int32_t code, int32_t a, int32_t b) override {
    log_.write_warning(code, a, b);
  }
  int32_t register_context(const String& text, int32_t retention, uint64_t serial) override {
    return log_.register_context(text, retention, serial);
  }
  void release_context(int32_t slot, uint64_t serial) override {
    log_.release_context(slot, serial);
  }
  bool open() const { return log_.is_open(); }
  void flush() { log_.flush(); }
  int32_t errors() const { return errors_.load(std::memory_order_relaxed); }

 private:
  ErrorLog log_;
  std::atomic<int32_t> errors_{0};
};

// LIST: numbers separated by commas ("" is none). False when it is not that.
bool parse_items(const std::string& list, std::set<int32_t>& out) {
  std::size_t at = 0;
  while (at < list.size()) {
    std::size_t end = list.find(',', at);
    if (end == std::string::npos) end = list.size();
    const std::string number = list.substr(at, end - at);
    if (number.empty() || number.size() > 6 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return false;
    }
    out.insert(std::stoi(number));
    at = end + 1;
    if (end + 1 == list.size()) return false;  // a trailing comma
  }
  return true;
}

// Sections the template holds (elements whose list holds `section`); the
// selection of a template without a description covers them.
int32_t template_sections(const std::string& path) {
  extraction::ExtractionTemplate tmpl;
  tmpl.nodes().silent = true;
  if (tmpl.load_file(String(path.c_str())) == extraction::ExtractionTemplate::Load::unreadable) {
    return 0;
  }
  int32_t sections = 0;
  for (int32_t node = 0; node < tmpl.nodes().node_count(); ++node) {
    const extraction::ActionElement* element = tmpl.action(node);
    if (element != nullptr && element->section_at >= 0) ++sections;
  }
  return sections;
}

// The selection flags: from the description's items, else the template's
// sections. False (with a message) when LIST names an item there is not.
bool select_items(const std::string& path, const std::optional<std::string>& items,
                  std::vector<bool>& selection, std::FILE* err) {
  std::set<int32_t> listed;
  if (items && !parse_items(*items, listed)) {
    std::fprintf(err, "wayfetch: --items takes item numbers separated by commas, not '%s'\n",
                 items->c_str());
    return false;
  }
  platform::FileSettingsStore store;
  WayfetchConfiguration configuration(store);
  configuration.silent = true;
  ENewsList read;
  File file;
  const bool described =
      file.open(path, File::read_existing) &&
      configuration.read_description(file, String(path.c_str()), read, nullptr) && !read.empty();
  if (described) {
    const ENews& enews = *read.front();
    for (int32_t k = 0; k < enews.item_count(); ++k) {
      const ENewsItem& item = enews.item(k);
      selection.push_back(!item.is_visible() || !items || listed.count(k) > 0);
    }
  } else {
    selection.assign(static_cast<std::size_t>(template_sections(path)), !items);
    for (int32_t k : listed) {
      if (static_cast<std::size_t>(k) >= selection.size()) {
        selection.resize(static_cast<std::size_t>(k) + 1, false);
      }
      selection[static_cast<std::size_t>(k)] = true;
    }
  }
  if (!listed.empty() && static_cast<std::size_t>(*listed.rbegin()) >= selection.size()) {
    std::fprintf(err, "wayfetch: the eNews has %zu items (0 to %zu); there is no item %d\n",
                 selection.size(), selection.empty() ? 0 : selection.size() - 1, *listed.rbegin());
    return false;
  }
  return true;
}

void print_event(void* err_stream, int32_t, ProgressEvent event, int32_t section, PictureList*) {
  auto* err = static_cast<std::FILE*>(err_stream);
  const std::string where =
      section <= 0 ? std::string("the main document") : "item " + std::to_string(section - 1);
  switch (event) {
    case ProgressEvent::started:
      std::fputs("wayfetch: template loaded, extraction started\n", err);
      break;
    case ProgressEvent::downloaded:
      std::fprintf(err, "wayfetch: downloaded a file for %s\n", where.c_str());
      break;
    case ProgressEvent::section_problem:
      std::fprintf(err, "wayfetch: %s will not be built\n", where.c_str());
      break;
    case ProgressEvent::data_written:
      std::fputs("wayfetch: data files written\n", err);
      break;
    case ProgressEvent::finished:
      std::fputs("wayfetch: extraction finished\n", err);
      break;
  }
  std::fflush(err);
}

// The data files of `radix` written since `start`, with their sizes.
void list_data_files(const std::string& radix, fs::file_time_type start, std::FILE* out) {
  const fs::path folder = fs::path(radix).parent_path();
  const std::string prefix = fs::path(radix).filename().string() + ".data";
  std::vector<std::string> lines;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder.empty() ? "." : folder, error)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix) || !name.ends_with(".xml")) continue;
    std::error_code ignored;
    if (entry.last_write_time(ignored) < start) continue;
    const std::string shown = folder.empty() ? name : (folder / name).string();
    lines.push_back(shown + " (" + std::to_string(entry.file_size(ignored)) + " bytes)");
  }
  std::sort(lines.begin(), lines.end());
  for (const std::string& line : lines) std::fprintf(out, "%s\n", line.c_str());
}

}  // namespace

int run_extract(const std::string& enews_path, const std::optional<std::string>& items,
                std::FILE* out, std::FILE* err, std::function<bool()> stop) {
  if (!ascii::ends_with_ignoring_case(enews_path, enews_suffix) ||
      enews_path.size() == enews_suffix.size()) {
    std::fprintf(err, "wayfetch: --extract needs an eNews template (.enews), not '%s'\n",
                 enews_path.c_str());
    return exit_usage;
  }
  std::error_code error;
  if (!fs::is_regular_file(enews_path, error)) {
    std::fprintf(err, "wayfetch: the template '%s' does not exist or is not a file\n",
                 enews_path.c_str());
    return exit_failure;
  }
  std::vector<bool> selection;
  if (!select_items(enews_path, items, selection, err)) return exit_usage;
  const std::string radix = enews_path.substr(0, enews_path.size() - enews_suffix.size());

  const std::string log_folder = platform::create_temporary_folder("wayfetch-extract-");
  if (log_folder.empty()) {
    std::fputs("wayfetch: cannot make a temporary folder for the log\n", err);
    return exit_failure;
  }
  const std::string log_path = log_folder + "/error_log.txt";
  CountingLog log(log_path);
  const auto start = fs::file_time_type::clock::now() - std::chrono::seconds(1);
  {
    ScopedErrorSink sink(&log);
    WebConnector connector;
    std::atomic<bool> done{false};
    std::thread watcher;
    if (stop) {
      // Stop as the window's Stop button does: the downloads fail at once
      // and the run ends with what it has.
      watcher = std::thread([&] {
        while (!done.load()) {
          if (stop()) {
            connector.abort_all();
            return;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      });
    }
    {
      Extractor extractor(&connector, &print_event, err);
      extractor.add(String(radix.c_str()), selection, 0);
      extractor.run();
    }
    done = true;
    if (watcher.joinable()) watcher.join();
  }
  log.flush();
  const std::string records = log_records(log_path);
  if (!records.empty()) std::fprintf(err, "wayfetch: the run's log:\n%s", records.c_str());
  platform::remove_folder(log_folder);
  list_data_files(radix, start, out);
  return log.errors() == 0 ? exit_success : exit_failure;
}

}  // namespace wayfetch
