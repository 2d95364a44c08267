// The extraction tests' fixture: writes a template into a scratch eNews
// folder, runs the main walk with a recording sink, serves one page to every
// follow, and reads back the data files, the whole error log and the
// requests the sink took.
#ifndef WAYFETCH_TESTS_EXTRACTION_EXTRACTION_FIXTURE_H
#define WAYFETCH_TESTS_EXTRACTION_EXTRACTION_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/error_log.h"
#include "core/error_sink.h"
#include "core/message_table.h"
#include "extraction/extraction_engine.h"
#include "tests/support/temp_dir.h"

namespace wayfetch::testing {

// Every template gets this declaration in front (on its first line), and so
// does every data file copied from it.
inline constexpr const char* declaration = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>";

class RecordingDownloads : public DownloadSink {
 public:
  SinkAnswer schedule(const DownloadRequest& request) override {
    if (answer == SinkAnswer::accepted) requests.push_back(request);
    return answer;
  }
  SinkAnswer answer = SinkAnswer::accepted;
  std::vector<DownloadRequest> requests;
};

class ExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = std::make_unique<ErrorLog>(String(dir_.file("error_log.txt").c_str()), true);
    sink_scope_ = std::make_unique<ScopedErrorSink>(log_.get());
    engine_.set_sink(&downloads_);
  }
  void TearDown() override {
    sink_scope_.reset();
    log_.reset();
  }

  std::string radix() const { return dir_.file("news"); }

  // Writes the template (declaration in front), loads it and runs the main
  // walk; then every follow whose page is given is walked, and every request
  // is counted done, in the order taken (bounded, as follows may chain).
  void run(const std::string& body, const std::string& page = "",
           std::vector<bool> items = {true, true, true}, int32_t page_code_page = 1252) {
    write_bytes(radix() + ".enews", std::string(declaration) + body);
    engine_.set_selection(std::move(items));
    if (!engine_.load_template(String(radix().c_str()))) return;
    engine_.run_main_walk();
    for (std::size_t i = 0; i < downloads_.requests.size() && i < 64; ++i) {
      DownloadRequest request = downloads_.requests[i];
      if (request.kind == DownloadKind::follow && !page.empty()) {
        String text{std::string_view(page)};
        text.set_encoding(TextEncoding::SingleByte, page_code_page);
        engine_.continue_follow(request, text, request.address);
      }
      engine_.task_done(request.ticket);
    }
    engine_.write_ready_documents();
  }

  // The data files, by name after "news", each as written.
  std::map<std::string, std::string> data_files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      std::string name = entry.path().filename().string();
      if (name.rfind("news.data", 0) == 0) files[name.substr(4)] = read_bytes(entry.path());
    }
    return files;
  }

  // The log as ASCII, the folder's path shown as "DIR".
  std::string log_text() const {
    std::string bytes = read_bytes(dir_.file("error_log.txt"));
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(bytes[i]);
    for (std::size_t at; (at = text.find(dir_.path())) != std::string::npos;) {
      text.replace(at, dir_.path().size(), "DIR");
    }
    return text;
  }

  // Expected log records from a compact list: "W31:2" is warning 31 at
  // template line 2, "E77" an error without location.
  static std::string records(const std::string& list) {
    std::string out;
    std::size_t at = 0;
    while (at < list.size()) {
      std::size_t stop = list.find(' ', at);
      if (stop == std::string::npos) stop = list.size();
      std::string item = list.substr(at, stop - at);
      at = stop + 1;
      if (item.empty()) continue;
      bool warning = item[0] == 'W';
      std::size_t colon = item.find(':');
      int code = std::stoi(item.substr(1, colon - 1));
      out += std::string(warning ? messages::warning_text(code) : messages::error_text(code));
      out += "\r\n";
      if (colon == std::string::npos) continue;
      std::string line = item.substr(colon + 1);
      out += warning ? "       " : "     ";
      out += "line: " + std::string(7 - line.size(), '0') + line + " in file: DIR/news.enews\r\n";
    }
    return out;
  }

  // One line per request: kind, address, then "#anchor", "as name" and
  // "in section" where they apply.
  std::vector<std::string> requests() const {
    static const char* kinds[] = {"", "follow", "include", "get", "site"};
    std::vector<std::string> lines;
    for (const DownloadRequest& request : downloads_.requests) {
      std::string line = std::string(kinds[static_cast<int>(request.kind)]) + " " +
                         request.address.to_utf8();
      if (!request.anchor.empty()) line += " #" + request.anchor.to_utf8();
      if (request.kind == DownloadKind::get) line += " as '" + request.file_name.to_utf8() + "'";
      if (request.section != 0) line += " in " + std::to_string(request.section);
      lines.push_back(line);
    }
    return lines;
  }

  TempDir dir_;
  std::unique_ptr<ErrorLog> log_;
  std::unique_ptr<ScopedErrorSink> sink_scope_;
  RecordingDownloads downloads_;
  ExtractionEngine engine_;
};

}  // namespace wayfetch::testing

#endif
