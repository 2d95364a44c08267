// The configuration dialog's settings from the command line:
//   wayfetch --configure                        show them
//   wayfetch --configure [--pda-sync yes|no|ask] [--proxy none|automatic|HOST[:PORT]]
//                        [--proxy-user NAME]     change them
//
// --pda-sync is "web-when-pda-sync": whether a HotSync updates the eNews
// first ("ask": the question is asked each time; without a window it is
// answered No). --proxy sets the proxy mode, or mode proxy with its name;
// the name follows the dialog's rules (config/proxy_name.h) and a name they
// refuse gives message 10134's text and exit 1, changing nothing.
// --proxy-user sets the proxy's user name ("" clears it); the password is
// never stored (http_proxy carries it for runs without a window).
//
// Changes are made in an InstallationSession (app/installation_session.h):
// the installation lock, the program's start-up, and a save before the end.
// Each option at most once. Prints the settings as they stand afterwards:
//   pda-sync: yes|no|ask
//   proxy: none|automatic|proxy
//   proxy-name: NAME
//   proxy-user: NAME
#ifndef WAYFETCH_APP_CONFIGURE_COMMAND_H
#define WAYFETCH_APP_CONFIGURE_COMMAND_H

#include <cstdio>
#include <optional>
#include <string>

namespace wayfetch {

struct ConfigureOptions {
  std::optional<std::string> pda_sync;  // "yes", "no", "ask"
  std::optional<std::string> proxy;     // "none", "automatic" or HOST[:PORT]
  std::optional<std::string> proxy_user;
};

int run_configure(const ConfigureOptions& options, std::FILE* out, std::FILE* err);

}  // namespace wayfetch

#endif
