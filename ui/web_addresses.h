// The web pages the window opens in the browser, and the help page.
//
// Each address is a value under "SOFTWARE\Lorvane\Wayfetch\Addresses" in the
// settings store (platform/settings_store.h), with a default of our own when
// it is absent (docs/ui.md lists the names and defaults). The help page is
// "help/index.htm" installed with the program (share/wayfetch/help).
//
// Only "http:" and "https:" addresses and the installed help page are
// handed to the desktop's handler: a stored value of any other form (a
// local program, "file:" or an option-like text) is refused and nothing is
// opened. Thread-safe as the store is.
#ifndef WAYFETCH_UI_WEB_ADDRESSES_H
#define WAYFETCH_UI_WEB_ADDRESSES_H

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace wayfetch {

// Which page: the eNews catalogue behind Find eNews, the e-book catalogue
// behind Find e-books and the four pages of the help menu.
enum class WebPage : int32_t { find_enews, find_ebooks, home, downloads, support, enews_catalogue };

struct WebPageSetting {
  WebPage page;
  std::string_view value_name;
  std::string_view default_address;
};

inline constexpr std::string_view addresses_key = "SOFTWARE\\Lorvane\\Wayfetch\\Addresses";

// The value names and defaults, one entry per WebPage in enum order.
const WebPageSetting& web_page_setting(WebPage page);

// The stored address of `page`, or its default when none (or an empty one)
// is stored or the store cannot be read.
std::string web_address(platform::SettingsStore& store, WebPage page);

// Whether `address` may go to the desktop's handler: "http://" or
// "https://" (any case) followed by something, without control characters.
bool is_web_address(std::string_view address);

// The installed help page, or "" when it is not installed.
std::string help_page_path();

}  // namespace wayfetch

#endif
