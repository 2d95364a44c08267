// The settings of config.xml besides the eNews list: when to go online at a
// HotSync, whether to signal the end of an update, the proxy, and the version
// record of the new-version check. Plain values; copying is cheap.
#ifndef WAYFETCH_CONFIG_GLOBAL_SETTINGS_H
#define WAYFETCH_CONFIG_GLOBAL_SETTINGS_H

#include <cstdint>

#include "core/string.h"
#include "web/timestamp.h"

namespace wayfetch {

// The numbers are the ones the web connector takes.
enum class ProxyMode : int32_t { none = 0, automatic = 1, proxy = 2 };

struct ProxySettings {
  ProxyMode mode = ProxyMode::automatic;
  String name;  // the proxy as host and port
  String user_name;
  String password;  // kept in memory only, never written
};

// Versions compare as unsigned numbers: major, then minor, then rebuild.
struct VersionRecord {
  Timestamp next_test;  // when to look for a newer version next
  uint32_t major = 3;
  uint32_t minor = 2;
  uint32_t rebuild = 3251;
  String text;  // the element's text; read, not written
  String url;   // read, not written
};

struct GlobalSettings {
  YesNo web_when_pda_sync = YesNo::unknown;
  bool signal_end = true;
  ProxySettings proxy;
  VersionRecord version;
};

// "none", "automatic", "proxy".
const char* proxy_mode_text(ProxyMode mode);

}  // namespace wayfetch

#endif
