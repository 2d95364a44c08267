#include "app/configure_command.h"

#include "app/installation_session.h"
#include "app/quick_publish.h"
#include "config/proxy_name.h"
#include "config/wayfetch_configuration.h"
#include "core/string_table.h"
#include "platform/file_system.h"
#include "platform/settings_store_file.h"

namespace wayfetch {
namespace {

const char* pda_sync_text(YesNo value) {
  switch (value) {
    case YesNo::yes:
      return "yes";
    case YesNo::no:
      return "no";
    case YesNo::unknown:
      break;
  }
  return "ask";
}

void print_settings(const GlobalSettings& settings, std::FILE* out) {
  std::fprintf(out, "pda-sync: %s\nproxy: %s\nproxy-name: %s\nproxy-user: %s\n",
               pda_sync_text(settings.web_when_pda_sync), proxy_mode_text(settings.proxy.mode),
               settings.proxy.name.to_utf8().c_str(), settings.proxy.user_name.to_utf8().c_str());
}

}  // namespace

int run_configure(const ConfigureOptions& options, std::FILE* out, std::FILE* err) {
  // Everything is checked before the installation is touched.
  std::optional<YesNo> pda_sync;
  if (options.pda_sync) {
    const std::string& value = *options.pda_sync;
    if (value != "yes" && value != "no" && value != "ask") {
      std::fprintf(err, "wayfetch: --pda-sync takes yes, no or ask, not '%s'\n", value.c_str());
      return exit_usage;
    }
    pda_sync = value == "yes" ? YesNo::yes : value == "no" ? YesNo::no : YesNo::unknown;
  }
  std::optional<ProxyMode> mode;
  std::optional<std::string> name;
  if (options.proxy) {
    if (*options.proxy == "none") {
      mode = ProxyMode::none;
    } else if (*options.proxy == "automatic") {
      mode = ProxyMode::automatic;
    } else {
      const ProxyNameFields fields = split_proxy_name(*options.proxy);
      name = join_proxy_name(fields.address, fields.port);
      if (!name || name->empty()) {
        print_message(err, strings::unsuitable_field);
        return exit_failure;
      }
      mode = ProxyMode::proxy;
    }
  }

  platform::FileSettingsStore store;
  WayfetchConfiguration config(store);
  if (!pda_sync && !mode && !options.proxy_user) {
    // Only shown: "config.xml" is read as it stands, without the lock, so
    // the settings of a running program can be looked at too.
    const String path = config.config_path();
    config.silent = true;
    if (!path.empty() && platform::path_exists(path.to_utf8()) && !config.load(path, true, true)) {
      std::fprintf(err, "wayfetch: %s cannot be read (error %d)\n", path.to_utf8().c_str(),
                   static_cast<int>(config.error));
      return exit_not_run;
    }
    print_settings(config.settings(), out);
    return exit_success;
  }
  InstallationSession session(config, err);
  if (const int code = session.open(); code != exit_success) return code;
  GlobalSettings& settings = config.settings();
  if (pda_sync) settings.web_when_pda_sync = *pda_sync;
  if (mode) settings.proxy.mode = *mode;
  if (name) settings.proxy.name = String(*name);
  if (options.proxy_user) settings.proxy.user_name = String(*options.proxy_user);
  if (const int code = session.save(); code != exit_success) return code;
  print_settings(settings, out);
  return exit_success;
}

}  // namespace wayfetch
