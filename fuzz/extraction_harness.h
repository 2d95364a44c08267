// What the extraction fuzz targets share: a sink that checks every request
// it is handed, small budgets, and one run of a template over a page (the
// template's follows all get the same page, a few times at most).
#ifndef WAYFETCH_FUZZ_EXTRACTION_HARNESS_H
#define WAYFETCH_FUZZ_EXTRACTION_HARNESS_H

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "extraction/extraction_engine.h"
#include "extraction/safe_name.h"

namespace wayfetch::fuzzing {

inline void check(bool condition) {
  if (!condition) std::abort();
}

// Every file name handed out is one plain name inside the eNews folder.
inline void check_file_name(const String& name) {
  CharReader reader = CharReader::window_of(name);
  bool first = true;
  while (!reader.at_end()) {
    uint16_t c = reader.next();
    check(c != '/' && c != '\\' && c >= 0x20 && c != 0x7F);
    check(!(first && c == '.'));
    first = false;
  }
  check(!extraction::is_enews_file(name, String("news")));
}

class CheckingSink : public DownloadSink {
 public:
  SinkAnswer schedule(const DownloadRequest& request) override {
    if (request.kind == DownloadKind::get) check_file_name(request.file_name);
    // Now and then the connection is gone, to run the failure paths.
    if (++asked % 7 == 6) return SinkAnswer::no_connection;
    check(request.ticket == static_cast<int32_t>(requests.size()));
    requests.push_back(request);
    return SinkAnswer::accepted;
  }
  std::vector<DownloadRequest> requests;
  int asked = 0;
};

// A scratch eNews folder for the data files, made once per process.
inline const std::string& radix() {
  static const std::string path = [] {
    char pattern[] = "/tmp/fuzz-extraction-XXXXXX";
    const char* folder = mkdtemp(pattern);
    return std::string(folder != nullptr ? folder : "/tmp") + "/news";
  }();
  return path;
}

// `write`: also write the data files (each write syncs the folder, which
// is slow: callers ask for it on a share of their inputs).
inline void run(TextScanner template_text, const String& page, bool write) {
  CheckingSink sink;
  ExtractionEngine engine;
  ExtractionEngine::Limits limits;
  limits.walk_steps = 1 << 15;
  limits.page_work = 1 << 22;
  limits.passes = 100;
  limits.sections = 6;
  limits.document_nodes = 1 << 12;
  limits.document_bytes = 1 << 18;
  engine.set_limits(limits);
  engine.set_sink(&sink);
  engine.set_selection({true, false, true});
  if (!engine.load_template_text(String(radix().c_str()), std::move(template_text))) return;
  engine.run_main_walk();
  int follows = 0;
  for (std::size_t i = 0; i < sink.requests.size(); ++i) {
    const DownloadRequest request = sink.requests[i];
    if (request.kind == DownloadKind::follow && follows++ < 4) {
      engine.continue_follow(request, page, request.address);
    }
    engine.task_done(request.ticket);
  }
  for (int32_t record = 0; record < engine.documents().record_count(); ++record) {
    const XmlParser* document = engine.documents().document(record);
    if (document != nullptr) check(document->node_count() <= limits.document_nodes);
  }
  if (!write) return;
  engine.write_ready_documents();
  check(engine.all_written());
}

}  // namespace wayfetch::fuzzing

#endif
