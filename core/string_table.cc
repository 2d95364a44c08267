#include "core/string_table.h"

#include <array>
#include <utility>

namespace wayfetch::strings {
namespace {

// Sorted by identifier. "License" is English in the delivered German table.
// 10143, 10144, 10154, 10168, 20001 and 20003 are ours: the delivered table has no
// text for them.
constexpr std::array<std::pair<int32_t, std::string_view>, 42> entries{{
    {sending_to_sync_folder, "Zum Sync. Folder senden..."},
    {toolbar_update_now, "Jetzt Updaten"},
    {toolbar_stop, "Stop"},
    {toolbar_find_enews, "E-News"},
    {toolbar_find_ebooks, "E-Books"},
    {update_ended_in, "Update endet in "},
    {toolbar_quick_publish, "Veröffentlichen"},
    {no_valid_file_name, "Bitte geben Sie einen gültigen Dateinamen ein."},
    {description_suffix, ".enews"},
    {table_of_contents, "Inhaltsverzeichnis"},
    {subscription_saved,
     "Die E-News wurde gespeichert. Wenn Sie Ihre E-News jetzt updaten, werden die Dateien "
     "hinzugefügt werden."},
    {web_at_handheld_sync,
     "Sie symchronisieren Ihren PDA mit Lorvane. Einige E-News sind nicht mehr aktuell. "
     "Möchten Sie sie automatisch auf Ihren PDA aktualisieren?"},
    {kilobytes, " KB"},
    {program_title, "Lorvane Wayfetch"},
    {unsuitable_field,
     "Ein Feld enthält einen unpassenden Wert. (Benutzen Sie kein Semikolon in der Proxi "
     "Adresse)."},
    {list_busy, "Die Konfiguration wird während des Updates deaktiviert."},
    {enews_file_not_added,
     "Der Wayfetch konnte die Datei nicht korrekt downloaden. Bitte überprüfen Sie, ob der "
     "Dateiname korrekt ist und ob die Datei der letzten Version entspricht."},
    {file_downloaded, "Neu heruntergeladene Datei"},
    {rendering_enews, "Die E-News werden übertragen."},
    {enews_rendered, "E-News übertragen"},
    {building_enews, "Erstellen der eNews Dateien"},
    {enews_sent, "E-News gesendet"},
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
    {subscription_file_type, "E-News Signatur"},
    {open_verb, "Öffnen"},
    {not_a_subscription, "Diese Datei ist keine gültige E-News-Signatur: "},
    {update_starting, "Starte das Update..."},
    {label_author, "Autor"},
    {label_title, "Titel"},
    {label_date, "Datum"},
    {label_license, "License"},
    {nothing_to_download, "Es gibt nichts herunterzuladen."},
    {estimated_download_time, "Geschätzte Download-Zeit :"},
    {download_problems, "Probleme beim Download. E-News wird nicht gebildet"},
    {enews_with_problems, "Beim Herunterladen dieser E-News gab es Probleme: "},
    {page_not_loaded,
     "Die Datei konnte nicht geladen werden. Bitte prüfen Sie, ob sie eine gültige HTML- oder "
     "Textdatei ist."},
    {sync_starting, "Startet Synchronisierung..."},
    {update_finished_notice,
     "Das Update ist beendet. Ihre E-News werden bei der nächsten Synchronisierung auf Ihren "
     "PDA übertragen."},
}};

}  // namespace

std::string_view text(int32_t id) {
  for (const auto& [entry_id, entry_text] : entries) {
    if (entry_id == id) return entry_text;
  }
  return {};
}

}  // namespace wayfetch::strings
