// wayfetch: the program entry. Commands that need no window run here; the
// window and notification icon come with the user-interface library.
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view version = "0.1.0";

void print_help() {
  std::printf(
      "Usage: wayfetch [OPTION]...\n"
      "Fetches subscribed periodicals (eNews) from the web and turns them into\n"
      "e-books for handheld readers.\n"
      "\n"
      "Options:\n"
      "  --help       show this help and exit\n"
      "  --version    show the version and exit\n");
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
    std::fprintf(stderr, "wayfetch: unknown option '%s'\nTry 'wayfetch --help'.\n", argv[i]);
    return 2;
  }
  print_help();
  return 0;
}
