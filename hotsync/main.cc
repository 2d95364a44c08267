// wayfetch-hotsync: the simulated HotSync host. Reads the command line and
// runs one command of hotsync/host_commands.h or a HotSync.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hotsync/conduit_registry.h"
#include "hotsync/host_commands.h"
#include "hotsync/hotsync_session.h"

namespace {

using namespace wayfetch::hotsync;

constexpr std::string_view version = "0.1.0";

void print_help() {
  std::printf(
      "Usage: wayfetch-hotsync COMMAND [OPTION]...\n"
      "A simulated HotSync host: it loads the registered conduit libraries and\n"
      "serves their Sync Manager calls against a folder that stands for the\n"
      "handheld (one Palm database file per database).\n"
      "\n"
      "Commands:\n"
      "  --handheld DIR   perform one HotSync with the handheld in DIR: every\n"
      "                   registered conduit runs, lowest priority number first,\n"
      "                   and the HotSync log is printed at the end\n"
      "    --clock-offset SECONDS  the handheld clock is the system clock plus\n"
      "                   SECONDS (negative: behind it); default 0\n"
      "    --timeout SECONDS  give up on a conduit that has not returned within\n"
      "                   SECONDS (1 to 2000000; default 1200, 20 minutes)\n"
      "    --user NAME    the user name conduits are given (default: your login name)\n"
      "  --register CREATOR LIBRARY\n"
      "                   register the conduit library LIBRARY for the four-character\n"
      "                   CREATOR, or change the library and the values given of an\n"
      "                   existing registration\n"
      "    --priority N   0 to 255, lower runs first (default 2)\n"
      "    --name NAME    the conduit's name\n"
      "    --title TITLE  the conduit's title, shown by --list\n"
      "  --unregister CREATOR  remove a registration\n"
      "  --list           one line per registration, in the order they run:\n"
      "                   creator, priority, library and title, separated by tabs\n"
      "  --configure CREATOR\n"
      "                   hand the registration's configuration record to the\n"
      "                   conduit's CfgConduit, with these choices, and keep the result\n"
      "    --type N       the new synchronisation type: 0 or 1 synchronise,\n"
      "                   6 do nothing (default: the current one)\n"
      "    --preference N 1 keeps the new type from now on, 2 uses it for the\n"
      "                   next HotSync only (default: as last configured)\n"
      "    --user NAME    as for --handheld\n"
      "  --help           show this help and exit\n"
      "  --version        show the version and exit\n"
      "\n"
      "Registrations are kept in $XDG_CONFIG_HOME/wayfetch-hotsync/conduits\n"
      "(~/.config/wayfetch-hotsync/conduits when XDG_CONFIG_HOME is not set).\n"
      "Conduits are given the desktop folder $XDG_DATA_HOME/wayfetch-hotsync/USER\n"
      "(~/.local/share when XDG_DATA_HOME is not set).\n"
      "\n"
      "Exit status: 0 on success (--handheld: every conduit returned 0), 1 when\n"
      "a conduit or the command failed, 2 for a wrong command line, 3 when a\n"
      "conduit did not return within the time-out.\n");
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "wayfetch-hotsync: %s\nTry 'wayfetch-hotsync --help'.\n", message.c_str());
  return exit_usage;
}

template <typename Number>
std::optional<Number> number(std::string_view text, Number low, Number high) {
  Number value{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

// The XDG base folder `variable`, else $HOME/`fallback`; "" when neither.
std::string base_folder(const char* variable, const char* fallback) {
  const char* set = std::getenv(variable);
  if (set != nullptr && set[0] == '/') return set;
  const char* home = std::getenv("HOME");
  return home != nullptr && home[0] == '/' ? std::string(home) + "/" + fallback : "";
}

HotSyncUser user(const std::optional<std::string>& name) {
  HotSyncUser out;
  out.id = static_cast<uint32_t>(::getuid());
  if (name) {
    out.name = *name;
  } else if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr) {
    out.name = entry->pw_name;
  }
  std::string folder_name = out.name;
  for (char& c : folder_name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (folder_name.empty() || folder_name == "." || folder_name == "..") folder_name = "user";
  std::string data = base_folder("XDG_DATA_HOME", ".local/share");
  if (!data.empty()) out.folder = data + "/wayfetch-hotsync/" + folder_name;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    print_help();
    return exit_usage;
  }
  const std::string_view command = args[0];
  if (command == "--help" || command == "-h") {
    print_help();
    return exit_ok;
  }
  if (command == "--version") {
    std::printf("wayfetch-hotsync %.*s\n", static_cast<int>(version.size()), version.data());
    return exit_ok;
  }
  // Each command takes its operands, then its options, each with one value.
  struct Command {
    std::string_view name;
    std::size_t operands;
    std::vector<std::string_view> options;
  };
  const Command commands[] = {
      {"--handheld", 1, {"--clock-offset", "--timeout", "--user"}},
      {"--register", 2, {"--priority", "--name", "--title"}},
      {"--unregister", 1, {}},
      {"--list", 0, {}},
      {"--configure", 1, {"--type", "--preference", "--user"}},
  };
  auto known = std::find_if(std::begin(commands), std::end(commands),
                            [&](const Command& c) { return c.name == command; });
  if (known == std::end(commands))
    return usage_error("unknown command '" + std::string(command) + "'");
  const std::size_t operands = known->operands;
  const std::vector<std::string_view>& allowed = known->options;
  if (args.size() < 1 + operands)
    return usage_error(std::string(command) + " needs " +
                       (operands == 2 ? "a CREATOR and a LIBRARY" : "an argument"));
  std::vector<std::pair<std::string_view, std::string>> options;
  for (std::size_t i = 1 + operands; i < args.size(); i += 2) {
    if (std::find(allowed.begin(), allowed.end(), args[i]) == allowed.end())
      return usage_error("'" + std::string(args[i]) + "' is no option of " + std::string(command));
    if (i + 1 >= args.size()) return usage_error(std::string(args[i]) + " needs a value");
    for (const auto& [seen, value] : options) {
      if (seen == args[i]) return usage_error(std::string(args[i]) + " is given twice");
    }
    options.emplace_back(args[i], std::string(args[i + 1]));
  }
  auto option = [&](std::string_view name) -> std::optional<std::string> {
    for (const auto& [key, value] : options) {
      if (key == name) return value;
    }
    return std::nullopt;
  };
  const std::string operand = operands > 0 ? std::string(args[1]) : "";
  if (command != "--handheld" && command != "--list" && !ConduitRegistry::is_creator(operand))
    return usage_error("a CREATOR is four characters from ' ' to '~'");
  const std::string registry = ConduitRegistry::default_path();
  if (registry.empty()) {
    std::fprintf(stderr, "wayfetch-hotsync: neither XDG_CONFIG_HOME nor HOME names a folder\n");
    return exit_failed;
  }

  if (command == "--list") return list_conduits(registry, stdout, stderr);
  if (command == "--unregister") return unregister_conduit(registry, operand, stdout, stderr);
  if (command == "--register") {
    RegisterOptions r{operand, std::string(args[2]), std::nullopt, option("--name"),
                      option("--title")};
    if (auto text = option("--priority")) {
      r.priority = number<int32_t>(*text, 0, 255);
      if (!r.priority) return usage_error("--priority is a number from 0 to 255");
    }
    return register_conduit(registry, r, stdout, stderr);
  }
  if (command == "--configure") {
    ConfigureOptions c{operand, std::nullopt, std::nullopt, user(option("--user"))};
    if (auto text = option("--type")) {
      c.type = number<uint32_t>(*text, 0, 6);
      if (!c.type) return usage_error("--type is a number from 0 to 6");
    }
    if (auto text = option("--preference")) {
      c.preference = number<uint32_t>(*text, 1, 2);
      if (!c.preference) return usage_error("--preference is 1 or 2");
    }
    return configure_conduit(registry, c, stdout, stderr);
  }
  HotSyncOptions h;
  h.registry_path = registry;
  h.handheld = operand;
  h.user = user(option("--user"));
  if (auto text = option("--clock-offset")) {
    // About a century either way keeps the handheld's dates meaningful.
    auto offset = number<int64_t>(*text, -4'000'000'000, 4'000'000'000);
    if (!offset) return usage_error("--clock-offset is a number of seconds");
    h.clock_offset = *offset;
  }
  if (auto text = option("--timeout")) {
    auto seconds = number<int32_t>(*text, 1, 2'000'000);
    if (!seconds) return usage_error("--timeout is a number of seconds from 1 to 2000000");
    h.timeout_seconds = *seconds;
  }
  const int status = run_hotsync(h, stdout, stderr);
  if (status == exit_timeout) {
    // A conduit's thread still runs in the process: end it without running
    // exit handlers or destructors under it.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
  }
  return status;
}
