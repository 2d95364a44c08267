#include "core/string_table.h"

#include <array>
#include <utility>

namespace wayfetch::strings {
namespace {

// Sorted by identifier. "License" is English in the delivered German table.
// 10143 and 10144 are ours: the delivered table has no text for them.
constexpr std::array<std::pair<int32_t, std::string_view>, 13> entries{{
    {description_suffix, ".enews"},
    {table_of_contents, "Inhaltsverzeichnis"},
    {web_at_handheld_sync,
     "Sie symchronisieren Ihren PDA mit Lorvane. Einige E-News sind nicht mehr aktuell. "
     "Möchten Sie sie automatisch auf Ihren PDA aktualisieren?"},
    {program_title, "Lorvane Wayfetch"},
    {proxy_credentials,
     "Der Proxy-Server verlangt einen Benutzernamen und ein Passwort. Bitte geben Sie sie ein."},
    {server_not_found,
     "Der Server wurde nicht gefunden. Bitte prüfen Sie Ihre Verbindung zum Internet und die "
     "Proxy-Einstellungen."},
    {invalid_configuration,
     "Die Konfigurationsdatei ist nicht gültig. Die Konfiguration wird abgebrochen."},
    {convert_old_installation,
     "Es gibt bereits eine ältere Version. Der Wayfetch kann die alte Konfiguration jetzt "
     "erneuern. Dazu brauchen Sie eine Verbindung zum Internet. Wollen Sie jetzt aktualisieren?"},
    {configuration_not_saved, "Die Konfigurationdatei konnte nicht gespeichert werden."},
    {label_author, "Autor"},
    {label_title, "Titel"},
    {label_date, "Datum"},
    {label_license, "License"},
}};

}  // namespace

std::string_view text(int32_t id) {
  for (const auto& [entry_id, entry_text] : entries) {
    if (entry_id == id) return entry_text;
  }
  return {};
}

}  // namespace wayfetch::strings
