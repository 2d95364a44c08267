#include "ui/web_addresses.h"

#include <array>

#include "core/ascii.h"
#include "platform/user_folders.h"

namespace wayfetch {
namespace {

// Placeholders of our own: an installation points them at real pages.
constexpr std::array<WebPageSetting, 6> settings{{
    {WebPage::find_enews, "Find eNews", "https://wayfetch.example.org/enews/"},
    {WebPage::find_ebooks, "Find e-books", "https://wayfetch.example.org/ebooks/"},
    {WebPage::home, "Home page", "https://wayfetch.example.org/"},
    {WebPage::downloads, "Downloads", "https://wayfetch.example.org/downloads/"},
    {WebPage::support, "Support", "https://wayfetch.example.org/support/"},
    {WebPage::enews_catalogue, "eNews catalogue", "https://wayfetch.example.org/catalogue/"},
}};

bool starts_with_ignoring_case(std::string_view text, std::string_view start) {
  if (text.size() < start.size()) return false;
  for (std::size_t i = 0; i < start.size(); ++i) {
    if (ascii::to_lower(text[i]) != start[i]) return false;
  }
  return true;
}

}  // namespace

const WebPageSetting& web_page_setting(WebPage page) {
  return settings[static_cast<std::size_t>(page)];
}

std::string web_address(platform::SettingsStore& store, WebPage page) {
  const WebPageSetting& setting = web_page_setting(page);
  std::string value;
  if (store.read_value(addresses_key, setting.value_name, value).ok() && !value.empty()) {
    return value;
  }
  return std::string(setting.default_address);
}

bool is_web_address(std::string_view address) {
  std::size_t scheme = 0;
  if (starts_with_ignoring_case(address, "http://")) {
    scheme = 7;
  } else if (starts_with_ignoring_case(address, "https://")) {
    scheme = 8;
  } else {
    return false;
  }
  if (address.size() == scheme) return false;
  for (char c : address) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}

std::string help_page_path() {
  return platform::find_program_file("help/index.htm");
}

}  // namespace wayfetch
