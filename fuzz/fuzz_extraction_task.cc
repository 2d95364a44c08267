// Fuzzes what the Extractor does with a finished download: the input's
// bytes (after its first byte, which picks the variant) are written into
// each task's file and handed over as a followed page, an included document
// and a picture, and named a picture that the end of an eNews lists (its
// reference as a page would write it). No network: the requests come from
// a fixed template run with a recording sink. Checks: no crash, every
// picture path stays a plain relative path inside the eNews folder, every
// request is counted done once, and the documents keep their budgets.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "extraction/download_task.h"
#include "extraction/task_results.h"
#include "fuzz/extraction_harness.h"
#include "fuzz/fuzz_input.h"

namespace {

using namespace wayfetch;

constexpr std::string_view template_text =
    "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><e>"
    "<f action=\"follow\"><url>http://news.example/dir/index.html#end</url></f>"
    "<l action=\"iterate\" max=\"6\"><a action=\"extract-url follow\"><filter>/</filter></a>"
    "<t action=\"extract\" html-filter=\"get-pics\"><begin><p</begin><end></p></end></t></l>"
    "<s action=\"section\"><i action=\"include\"><url>http://news.example/feed.xml</url></i>"
    "<g action=\"get\"><url>http://news.example/pics/p.gif</url></g></s>"
    "<j action=\"include\"><url>/main.xml</url></j><k action=\"get\" save-as=\"k.jpg\">"
    "<url>/k.jpg</url></k></e>";

// A picture path is one to four plain names below the folder.
void check_picture_path(const std::string& path) {
  fuzzing::check(!path.empty() && path.front() != '/' && path.back() != '/');
  std::size_t start = 0;
  int names = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string_view name(path.data() + start, end - start);
    fuzzing::check(!name.empty() && name.front() != '.' && ++names <= 4);
    for (char c : name) fuzzing::check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    start = end + 1;
  }
}

void fill(extraction::DownloadTask& task, const std::string& bytes) {
  fuzzing::check(task.body.open_temporary());
  task.body.write(bytes.data(), static_cast<int32_t>(bytes.size()));
  task.body.seek(0, File::Origin::start);
  task.status = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const uint8_t variant = data[0];
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool save_pictures = (variant & 4) != 0 && size % 8 == 0;

  fuzzing::CheckingSink sink;
  ExtractionEngine engine;
  ExtractionEngine::Limits limits;
  limits.walk_steps = 1 << 15;
  limits.page_work = 1 << 22;
  limits.document_nodes = 1 << 12;
  limits.document_bytes = 1 << 18;
  limits.held_nodes = 1 << 13;
  limits.held_bytes = 1 << 19;
  engine.set_limits(limits);
  engine.set_sink(&sink);
  engine.set_selection({(variant & 8) == 0});
  engine.set_web_template((variant & 1) != 0);
  if (!engine.load_template_text(String(fuzzing::radix().c_str()), TextScanner(template_text))) {
    return 0;
  }
  engine.run_main_walk();

  ErrorState reporter;
  reporter.silent = true;
  // Continuations ask for more downloads as they go; a few rounds suffice.
  for (std::size_t i = 0; i < sink.requests.size() && i < 16; ++i) {
    const DownloadRequest request = sink.requests[i];
    extraction::DownloadTask task(nullptr, request, 0);
    fill(task, bytes);
    // A page or document from the disk or from the web.
    task.final_address = String((variant & 2) != 0 ? "file:///tmp/news/index.html" : "");
    switch (request.kind) {
      case DownloadKind::follow:
      case DownloadKind::site_page:
        extraction::take_page(engine, reporter, task);
        break;
      case DownloadKind::include:
        extraction::take_include(engine, reporter, task);
        break;
      case DownloadKind::get:
        if (save_pictures) extraction::take_picture(engine, reporter, task);
        break;
    }
    engine.task_done(request.ticket);
    engine.task_done(request.ticket);
  }
  fuzzing::check(!engine.downloads_pending() || sink.requests.size() > 16);

  // The input as the reference a rendered page gives a listed picture.
  TextScanner reference = fuzzing::text_from(reinterpret_cast<const uint8_t*>(bytes.data()),
                                             bytes.size() < 300 ? bytes.size() : 300);
  reference.select_all();
  const std::string path = extraction::local_picture_path(
      reference, String("http://news.example/pics/a.gif?x=1"), String("news"));
  if (!path.empty()) check_picture_path(path);
  if (save_pictures && !path.empty()) {
    DownloadRequest request;
    request.kind = DownloadKind::get;
    extraction::DownloadTask listed(nullptr, request, 0);
    listed.listed = true;
    listed.listed_path = path;
    fill(listed, bytes);
    extraction::take_picture(engine, reporter, listed);
  }

  for (int32_t record = 0; record < engine.documents().record_count(); ++record) {
    const XmlParser* document = engine.documents().document(record);
    if (document != nullptr) fuzzing::check(document->node_count() <= limits.document_nodes);
  }
  if (size % 16 == 0) {
    engine.abandon_pending();
    engine.write_ready_documents();
    fuzzing::check(engine.all_written());
  }
  return 0;
}
