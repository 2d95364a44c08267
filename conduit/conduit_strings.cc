#include "conduit/conduit_strings.h"

#include <array>
#include <utility>

namespace wayfetch::conduit_strings {
namespace {

constexpr std::array<std::pair<int32_t, std::string_view>, 5> table{{
    {conduit_name, "Lorvane Wayfetch"},
    {other_options, "Übrige Optionen von %s :"},
    {synchronise_file, "Datei synchronisieren"},
    {do_nothing, "Nichts tun"},
    {form_heading, "HotSync Synchronisierung für Lorvane"},
}};

}  // namespace

std::string_view text(int32_t id) {
  for (const auto& [key, value] : table) {
    if (key == id) return value;
  }
  return {};
}

}  // namespace wayfetch::conduit_strings
