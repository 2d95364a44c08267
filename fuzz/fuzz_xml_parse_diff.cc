// Parses fuzzer input in one parse mode (FUZZ_PARSE_MODE) with the current
// parser and with the reference copy of fuzz/reference_xml, and traps on any
// difference: the node tables and parse state (fuzz/xml_table_dump.h), the
// scanner's cursor, encoding and code page, the results of the node-table
// operations run afterwards, and the text each parser's records left in an
// error log of its own. Mode 8 walks the text tag by tag, comparing the
// nodes each step added and the scanner after every step.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "core/error_log.h"
#include "core/error_sink.h"
#include "core/text_scanner.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/reference_xml/xml_parser.h"
#include "fuzz/xml_table_dump.h"
#include "xml/xml_parser.h"

#ifndef FUZZ_PARSE_MODE
#define FUZZ_PARSE_MODE 0
#endif

namespace {

using namespace wayfetch;

// An error log file of one parser. The log is the program's sink, so what it
// writes is the text a user would read; a file per parser keeps the two
// apart while the sink is process-wide.
class ParserLog {
 public:
  explicit ParserLog(const char* which)
      : path_("/dev/shm/fuzz_xml_parse_diff_" + std::to_string(getpid()) + "_" + which + ".txt"),
        log_(String(path_.c_str()), true) {
    if (!log_.is_open()) __builtin_trap();
  }
  ParserLog(const ParserLog&) = delete;
  ParserLog& operator=(const ParserLog&) = delete;
  ~ParserLog() { unlink(path_.c_str()); }

  // Runs `work` with this log as the current sink.
  template <class Work>
  void run(Work work) {
    ScopedErrorSink sink(&log_);
    work();
  }
  void reset() { log_.reset(); }
  std::string text() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
  ErrorLog log_;
};

std::string scanner_state(const TextScanner& text) {
  return "cursor=" + std::to_string(text.cursor()) + " length=" + std::to_string(text.length()) +
         " enc=" + std::to_string(static_cast<int32_t>(text.encoding())) +
         " cp=" + std::to_string(text.code_page()) + "\n";
}

// Traps when the texts differ, after printing the first line where they do
// (control bytes as \xHH: the log is UTF-16).
void same(const char* what, const std::string& current, const std::string& reference) {
  if (current == reference) return;
  size_t at = 0;
  while (at < current.size() && at < reference.size() && current[at] == reference[at]) ++at;
  size_t line_start = at == 0 ? std::string::npos : current.rfind('\n', at - 1);
  line_start = line_start == std::string::npos ? 0 : line_start + 1;
  auto line_of = [line_start](const std::string& s) {
    if (line_start >= s.size()) return std::string("(ends here)");
    std::string line;
    for (char c : s.substr(line_start, s.find('\n', line_start) - line_start)) {
      if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) {
        line += c;
      } else {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
        line += hex;
      }
    }
    return line;
  };
  std::fprintf(stderr, "%s differs at byte %zu\ncurrent:   %s\nreference: %s\n", what, at,
               line_of(current).c_str(), line_of(reference).c_str());
  __builtin_trap();
}

// The node-table operations over a parsed table, their results as text.
template <class Parser>
std::string operations(Parser& parser, ParserLog& log) {
  std::string out;
  log.run([&] {
    String found;
    out += "mark_blank=" + std::to_string(parser.mark_blank(0) ? 1 : 0);
    out += " base=" + std::to_string(parser.find_base_href(found) ? 1 : 0) + " ";
    fuzzing::append_text(out, found);
    String url;
    int32_t delay = -7;
    out += " refresh=" + std::to_string(parser.find_refresh(url, delay) ? 1 : 0) + " ";
    out += std::to_string(delay) + " ";
    fuzzing::append_text(out, url);
    int32_t last = parser.node_count() - 1;
    String unique;
    parser.unique_name(last, unique);
    out += " unique=";
    fuzzing::append_text(out, unique);
    String href;
    out += " href=" + std::to_string(parser.attribute(last, "href", href) ? 1 : 0) + " ";
    fuzzing::append_text(out, href);
    Parser copy;
    out += " import=" + std::to_string(copy.import_subtree(parser, parser.node_count() / 2)) + "\n";
    out += fuzzing::dump_table(copy);
  });
  return out + fuzzing::dump_table(parser);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ParserLog current_log("current");
  static ParserLog reference_log("reference");
  current_log.reset();
  reference_log.reset();

  TextScanner current_text = fuzzing::text_from(data, size);
  TextScanner reference_text = fuzzing::text_from(data, size);
  XmlParser current;
  reference_xml::XmlParser reference;
  current.set_mode(int32_t{FUZZ_PARSE_MODE});
  reference.set_mode(int32_t{FUZZ_PARSE_MODE});
  if (FUZZ_PARSE_MODE == 8) {
    for (int32_t steps = 0; current_text.cursor() < current_text.length(); ++steps) {
      int32_t before = current_text.cursor();
      int32_t first = current.node_count();
      current_log.run([&] { current.parse(current_text); });
      reference_log.run([&] { reference.parse(reference_text); });
      same("step", fuzzing::dump_table(current, first) + scanner_state(current_text),
           fuzzing::dump_table(reference, first) + scanner_state(reference_text));
      // A parse that did not move on would repeat itself (fuzz_xml_parse traps on that).
      if (current_text.cursor() <= before || steps > current_text.length()) break;
    }
  } else {
    current_log.run([&] { current.parse(current_text); });
    reference_log.run([&] { reference.parse(reference_text); });
  }
  same("table", fuzzing::dump_table(current) + scanner_state(current_text),
       fuzzing::dump_table(reference) + scanner_state(reference_text));
  same("operations", operations(current, current_log), operations(reference, reference_log));
  same("log", current_log.text(), reference_log.text());
  return 0;
}
