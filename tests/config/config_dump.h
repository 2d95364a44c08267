// Every field that "config.xml" keeps, of a whole configuration, as one
// readable text: two configurations keep the same records exactly when their
// dumps are equal. Texts are compared as UTF-16 (the form they are saved in)
// and written with \uXXXX for anything outside printable ASCII. Shared by the
// tests and the fuzz target.
#ifndef WAYFETCH_TESTS_CONFIG_CONFIG_DUMP_H
#define WAYFETCH_TESTS_CONFIG_CONFIG_DUMP_H

#include <cstdio>
#include <string>

#include "config/wayfetch_configuration.h"

namespace wayfetch::testing {

inline std::string dump_text(const String& text) {
  std::string out = "\"";
  for (char16_t unit : text.window_utf16()) {
    if (unit >= 0x20 && unit < 0x7F && unit != '\\' && unit != '"') {
      out.push_back(static_cast<char>(unit));
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
      out += escape;
    }
  }
  return out + "\"";
}

inline std::string dump(const WayfetchConfiguration& config) {
  std::string out;
  for (int32_t i = 0; i < config.count(); ++i) {
    const ENews& e = config.at(i);
    out += "enews " + dump_text(e.name()) + " title=" + dump_text(e.title) +
           " extraction=" + dump_text(e.xml_extraction) +
           " rendering=" + dump_text(e.xsl_rendering) + " proxy=" + dump_text(e.xml_proxy) +
           " oneshot=" + std::to_string(e.oneshot) + " files=" + std::to_string(e.file_count) +
           " time=" + std::to_string(e.time_per_file) + " size=" + std::to_string(e.file_size) +
           "\n";
    for (int32_t k = 0; k < e.item_count(); ++k) {
      const ENewsItem& item = e.item(k);
      out += "  item " + dump_text(item.name()) + " title=" + dump_text(item.title) +
             " selected=" + std::to_string(item.selected()) +
             " in-build=" + std::to_string(item.selected_in_build) +
             " periodicity=" + dump_text(item.periodicity()) +
             " validity=" + dump_text(item.validity()) +
             " files=" + std::to_string(item.file_count) + "\n";
    }
  }
  const GlobalSettings& s = config.settings();
  out += "global web=" + std::string(yes_no_text(s.web_when_pda_sync)) +
         " signal-end=" + std::to_string(s.signal_end) + " proxy=" + proxy_mode_text(s.proxy.mode);
  // Only a named proxy keeps its server and user.
  if (s.proxy.mode == ProxyMode::proxy) {
    out += " " + dump_text(s.proxy.name) + " " + dump_text(s.proxy.user_name);
  }
  out += "\nversion " + std::to_string(s.version.major) + "." + std::to_string(s.version.minor) +
         "." + std::to_string(s.version.rebuild) +
         " next-test=" + std::to_string(s.version.next_test.value()) + "\n";
  return out;
}

}  // namespace wayfetch::testing

#endif
