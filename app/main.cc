// wayfetch: the program entry. Commands that need no window run here; the
// window and notification icon come with the user-interface library.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "app/extract_command.h"
#include "app/quick_publish.h"
#include "platform/stop_signals.h"

namespace {

constexpr std::string_view version = "0.1.0";

void print_help() {
  std::printf(
      "Usage: wayfetch [OPTION]...\n"
      "Fetches subscribed periodicals (eNews) from the web and turns them into\n"
      "e-books for handheld readers.\n"
      "\n"
      "Options:\n"
      "  --publish SOURCE [TARGET]\n"
      "               make the e-book (.prc) of one local HTML or text page\n"
      "               (Quick publish): its pictures, links and style sheets\n"
      "               are packed in. TARGET defaults to SOURCE; either way the\n"
      "               e-book gets the extension .prc, and a TARGET folder\n"
      "               receives SOURCE's name. Prints the e-book's path and size.\n"
      "  --extract TEMPLATE.enews [--items LIST]\n"
      "               run one eNews's extraction template against the web, as an\n"
      "               update would: the data files (TEMPLATE without .enews, then\n"
      "               .data.xml and .dataK.xml per item K) and the pictures are\n"
      "               written beside the template. Builds every visible item of\n"
      "               the template's eNews description (hidden ones always), or\n"
      "               the items LIST names by number from 0, separated by commas\n"
      "               (\"\" for none). Progress and then the run's log records go\n"
      "               to standard error; the data files written are listed on\n"
      "               standard output. Ctrl-C stops the downloads and ends the\n"
      "               run with what it has.\n"
      "  --help       show this help and exit\n"
      "  --version    show the version and exit\n"
      "\n"
      "Exit status: 0 on success, 1 when the e-book could not be made or the\n"
      "extraction logged an error (a missing or broken template included), 2 for\n"
      "a wrong command line.\n");
}

int usage_error(const char* message) {
  std::fprintf(stderr, "wayfetch: %s\nTry 'wayfetch --help'.\n", message);
  return wayfetch::exit_usage;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      print_help();
      return 0;
    }
    if (arg == "--version") {
      std::printf("wayfetch %.*s\n", static_cast<int>(version.size()), version.data());
      return 0;
    }
    if (arg == "--publish") {
      if (i + 1 >= argc) return usage_error("--publish needs a SOURCE page");
      const std::string source = argv[i + 1];
      const std::string target = i + 2 < argc ? argv[i + 2] : "";
      if (i + 3 < argc) return usage_error("too many arguments after --publish SOURCE TARGET");
      if (source.empty()) return usage_error("--publish needs a SOURCE page");
      // Ctrl-C or a kill only mark the publish as stopped; it then removes
      // its working folder and partial book on its normal path, and the
      // process ends as the signal would have ended it.
      const wayfetch::platform::StopSignals signals;
      const int code = wayfetch::run_quick_publish(
          source, target, stdout, stderr,
          [] { return wayfetch::platform::StopSignals::received() != 0; });
      if (const int signal = wayfetch::platform::StopSignals::received(); signal != 0) {
        std::fflush(stdout);
        wayfetch::platform::StopSignals::end_as_signalled(signal);
      }
      return code;
    }
    if (arg == "--extract") {
      if (i + 1 >= argc) return usage_error("--extract needs a TEMPLATE.enews");
      std::optional<std::string> items;
      if (i + 2 < argc) {
        if (std::string_view(argv[i + 2]) != "--items" || i + 3 >= argc) {
          return usage_error("--extract TEMPLATE.enews takes only --items LIST after it");
        }
        if (i + 4 < argc) return usage_error("too many arguments after --items LIST");
        items = argv[i + 3];
      }
      const wayfetch::platform::StopSignals signals;
      const int code = wayfetch::run_extract(argv[i + 1], items, stdout, stderr, [] {
        return wayfetch::platform::StopSignals::received() != 0;
      });
      if (const int signal = wayfetch::platform::StopSignals::received(); signal != 0) {
        std::fflush(stdout);
        wayfetch::platform::StopSignals::end_as_signalled(signal);
      }
      return code;
    }
    std::fprintf(stderr, "wayfetch: unknown option '%s'\nTry 'wayfetch --help'.\n", argv[i]);
    return wayfetch::exit_usage;
  }
  print_help();
  return 0;
}
