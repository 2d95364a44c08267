#include "extraction/task_results.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "core/error_codes.h"
#include "core/text_scanner.h"
#include "extraction/safe_name.h"
#include "extraction/words.h"
#include "platform/file_replacement.h"
#include "web/url.h"
#include "xml/xml_parser.h"

namespace wayfetch::extraction {
namespace {

// The engine's codes that end its eNews (56 a spent budget, 57 no
// template, 58 an inconsistency, 59 a scope outside the page).
constexpr int32_t first_fatal_code = 55;
constexpr int32_t last_fatal_code = 60;

// The address the body came from: the final one, else the one asked for.
const String& fetched_address(const DownloadTask& task) {
  return task.final_address.empty() ? task.request.address : task.final_address;
}

// Reads the body as text; the log names it by its address. False with 82.
bool read_body(ErrorState& reporter, DownloadTask& task, TextScanner& text) {
  if (!task.body.is_open() || !text.read_file(task.body, fetched_address(task))) {
    reporter.raise_error(errors::extract_page_errors);
    return false;
  }
  return true;
}

// After the parser looked for the text's declared encoding (`detection`:
// the parser's warning, 10 none found, 11 a name it does not know): a text
// without a usable declaration is taken to be in the template's encoding;
// one that differs from the template's loses what the template's encoding
// cannot hold when it is written into the data.
void settle_encoding(const ExtractionEngine& engine, ErrorState& reporter, TextScanner& text,
                     int32_t detection) {
  const TextEncoding encoding = engine.template_nodes().encoding();
  const int32_t code_page = engine.template_nodes().code_page();
  const bool usable =
      text.encoding() == TextEncoding::Unicode ||
      (detection != warnings::no_encoding && detection != warnings::unsupported_encoding);
  if (!usable) {
    text.set_encoding(encoding, code_page);
    if (detection == warnings::unsupported_encoding) {
      reporter.raise_warning(warnings::unknown_encoding, text.context());
    }
  }
  if (text.encoding() != encoding || text.code_page() != code_page) {
    reporter.raise_warning(warnings::encoding_mismatch, text.context());
  }
}

// The page's address: its base element's href, resolved against the
// address it came from, else that address. A page from the web may not
// name a base outside http and https (that would make its relative links
// local files): such a base, or one that does not resolve, is reported
// and the fetched address used.
String page_address(const ExtractionEngine& engine, ErrorState& reporter, const DownloadTask& task,
                    XmlParser& head) {
  const String& fetched = fetched_address(task);
  String base;
  if (!head.find_base_href(base)) return fetched;
  String absolute;
  const bool from_web = engine.web_template() || is_web_address(fetched);
  if (resolve(fetched, trimmed(base), absolute) && (!from_web || is_web_address(absolute))) {
    return absolute;
  }
  reporter.raise_error(errors::extract_bad_address, task.request.line,
                       engine.template_nodes().context());
  return fetched;
}

// The folder of the eNews, with a "/" at its end.
std::string enews_folder(const ExtractionEngine& engine) {
  const std::string& radix = engine.radix();
  const std::size_t slash = radix.rfind('/');
  return slash == std::string::npos ? std::string() : radix.substr(0, slash + 1);
}

}  // namespace

void take_page(ExtractionEngine& engine, ErrorState& reporter, DownloadTask& task) {
  if (!engine.task_live(task.request.ticket)) return;
  TextScanner page;
  if (!read_body(reporter, task, page)) return;
  // The page's head tells its encoding and its base; the actions work on
  // the page's text itself.
  XmlParser head;
  head.set_mode(ParseMode::html_head_charset);
  head.parse(page);
  page.rewind();
  page.select_all();
  settle_encoding(engine, reporter, page, head.warning);
  const String address = page_address(engine, reporter, task, head);

  const int32_t held = engine.error;
  if (held >= first_fatal_code && held <= last_fatal_code) {
    reporter.raise_error(errors::extract_execution_fatal);
    return;
  }
  if (held != 0) reporter.raise_error(errors::extract_execution_errors);
  engine.clear_status();
  if (task.request.kind == DownloadKind::site_page) {
    engine.continue_site_page(task.request, page, address);
  } else {
    engine.continue_follow(task.request, page, address);
  }
  if (engine.error != 0) reporter.raise_error(errors::extract_execution_errors);
}

void take_include(ExtractionEngine& engine, ErrorState& reporter, DownloadTask& task) {
  if (!engine.task_live(task.request.ticket)) return;
  engine.mark_include(task.request, fetched_address(task));
  TextScanner text;
  if (!read_body(reporter, task, text)) return;
  int32_t detection = 0;
  if (text.encoding() != TextEncoding::Unicode) {
    XmlParser probe;
    probe.silent = true;
    probe.set_mode(ParseMode::xml_prolog_encoding);
    probe.parse(text);
    text.rewind();
    detection = probe.warning;
  }
  settle_encoding(engine, reporter, text, detection);
  // Quiet: a broken document gets one record, not one per fault; and no
  // bigger than a data document may grow.
  XmlParser document;
  document.silent = true;
  document.set_node_limit(engine.limits().document_nodes);
  document.set_mode(ParseMode::xml);
  document.parse(text);
  if (document.error != 0 || !engine.insert_document(task.request, document)) {
    reporter.raise_error(errors::extract_include_errors);
  }
}

void take_picture(ExtractionEngine& engine, ErrorState& reporter, DownloadTask& task) {
  if (!task.listed && !engine.task_live(task.request.ticket)) return;
  std::string name = task.listed ? task.listed_path : std::string();
  if (!task.listed && !task.request.file_name.empty()) {
    const String& file_name = task.request.file_name;
    name = file_name.encoding() == TextEncoding::Unicode ? file_name.to_utf8()
                                                         : std::string(file_name.window_bytes());
  }
  if (name.empty()) {
    reporter.raise_error(errors::extract_no_file_name);
    return;
  }
  const std::string target = enews_folder(engine) + name;
  if (name.find('/') != std::string::npos) {
    // A listed picture's sub-folder (checked to lie inside the eNews folder).
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(target).parent_path(), ignored);
  }
  platform::FileReplacement replacement(target);
  if (!replacement.ready() || !task.body.copy_to(replacement.path(), File::write_new) ||
      !replacement.commit()) {
    reporter.raise_error(errors::extract_get_write_failed);
  }
}

}  // namespace wayfetch::extraction
