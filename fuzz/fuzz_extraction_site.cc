// Fuzzes the site-page step of download-site: the input (first byte: its
// encoding, second: the template and where the page came from) is a
// downloaded page that every site page of the run gets, a few times at
// most; no network, the sink records the requests. Checks: picture names
// are plain local names, a page from the web schedules only http and https,
// each address is asked for once, and the data documents keep their budgets.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/extraction_harness.h"
#include "fuzz/fuzz_input.h"

namespace {

#define HEAD "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><e>"

constexpr std::string_view templates[] = {
    HEAD "<s action=\"download-site\" get-pics=\"yes\"><url>http://h.example/d/i.html</url></s></e>",
    HEAD "<s action=\"section\"><p action=\"download-site\" max-levels=\"2\">"
    "<url>http://h.example/d/i.html#top</url><restrict-to>http://h.example/d/</restrict-to>"
    "</p></s></e>",
    HEAD "<s action=\"download-site\" get-pics=\"yes\" max-levels=\"9\"><url>file:///tmp/d/i.html"
    "</url></s></e>",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace wayfetch;
  if (size < 2) return 0;
  const std::size_t choice = data[1] % std::size(templates);
  std::string bytes(reinterpret_cast<const char*>(data), size);
  bytes.erase(1, 1);
  const TextScanner page =
      fuzzing::text_from(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());

  fuzzing::CheckingSink sink;
  ExtractionEngine engine;
  ExtractionEngine::Limits limits;
  limits.page_work = 1 << 22;
  limits.document_nodes = 1 << 12;
  limits.document_bytes = 1 << 18;
  limits.site_anchors = 1 << 10;
  engine.set_limits(limits);
  engine.set_sink(&sink);
  engine.set_selection({true});
  if (!engine.load_template_text(String(fuzzing::radix().c_str()),
                                 TextScanner(templates[choice]))) {
    return 0;
  }
  engine.run_main_walk();
  const bool from_file = choice == 2;
  std::set<std::string> asked;
  int pages = 0;
  for (std::size_t i = 0; i < sink.requests.size(); ++i) {
    const DownloadRequest request = sink.requests[i];
    fuzzing::check(asked.insert(request.address.to_utf8()).second);
    if (request.kind == DownloadKind::get) {
      const std::string name = request.file_name.to_utf8();
      fuzzing::check(name.starts_with("img") || name.starts_with("_img"));
    }
    if (!from_file) fuzzing::check(extraction::is_web_address(request.address));
    if (request.kind == DownloadKind::site_page && pages++ < 4) {
      engine.continue_site_page(request, page, request.address);
    }
    engine.task_done(request.ticket);
  }
  for (int32_t record = 0; record < engine.documents().record_count(); ++record) {
    const XmlParser* document = engine.documents().document(record);
    if (document != nullptr) fuzzing::check(document->node_count() <= limits.document_nodes);
  }
  if (size % 16 == 0) {
    engine.write_ready_documents();
    fuzzing::check(engine.all_written());
  }
  return 0;
}
