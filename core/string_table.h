// The user-interface texts of the program, by identifier. The delivered
// texts are German; the identifiers are the contract between the code and
// the table. Parts of the program below the user interface (the e-book
// publisher) take their few texts from here, so that publishing needs no
// user-interface library; the user interface adds its own entries here.
//
// Texts are UTF-8. Thread-safe: the table is constant.
#ifndef WAYFETCH_CORE_STRING_TABLE_H
#define WAYFETCH_CORE_STRING_TABLE_H

#include <cstdint>
#include <string_view>

namespace wayfetch::strings {

inline constexpr int32_t sending_to_sync_folder = 15;        // status while an e-book is reported
inline constexpr int32_t update_ended_in = 25;               // status at the end, then the time
inline constexpr int32_t toolbar_update_now = 16;            // toolbar: "Jetzt Updaten"
inline constexpr int32_t toolbar_stop = 17;                  // toolbar: "Stop"
inline constexpr int32_t toolbar_find_enews = 18;            // toolbar: "E-News"
inline constexpr int32_t toolbar_find_ebooks = 19;           // toolbar: "E-Books"
inline constexpr int32_t toolbar_quick_publish = 10117;      // toolbar: "Veröffentlichen"
inline constexpr int32_t no_valid_file_name = 10120;        // Quick publish: no such source
inline constexpr int32_t description_suffix = 10127;        // ".enews"
inline constexpr int32_t table_of_contents = 10128;         // "Inhaltsverzeichnis"
inline constexpr int32_t subscription_saved = 10129;        // status: a forwarded eNews was added
inline constexpr int32_t web_at_handheld_sync = 10131;      // yes/no question at a HotSync
inline constexpr int32_t kilobytes = 10132;                 // after the size estimate
inline constexpr int32_t program_title = 10133;             // caption of every message box
inline constexpr int32_t list_busy = 10135;                 // message: the list is locked by an update
inline constexpr int32_t enews_file_not_added = 10136;      // message: an eNews file failed to load
inline constexpr int32_t unsuitable_field = 10134;          // configuration: bad proxy field
inline constexpr int32_t configuration_busy = 10135;        // the list lock is held by an update
inline constexpr int32_t file_downloaded = 10138;           // status, with the eNews
inline constexpr int32_t rendering_enews = 10139;           // status
inline constexpr int32_t enews_rendered = 10140;            // status
inline constexpr int32_t building_enews = 10141;            // status
inline constexpr int32_t enews_sent = 10142;                // status
inline constexpr int32_t proxy_credentials = 10143;         // text of the credentials dialog
inline constexpr int32_t server_not_found = 10144;          // message, once per update
inline constexpr int32_t invalid_configuration = 10145;     // message at start-up
inline constexpr int32_t convert_old_installation = 10146;  // yes/no question
inline constexpr int32_t configuration_not_saved = 10147;   // message at the end
inline constexpr int32_t subscription_file_type = 10148;    // the ".enews" file type's name
inline constexpr int32_t open_verb = 10149;                 // the verb that opens such a file
inline constexpr int32_t not_a_subscription = 10154;        // message, then the file's path
inline constexpr int32_t update_starting = 10155;           // status at the start of an update
inline constexpr int32_t label_author = 10161;              // "Autor"
inline constexpr int32_t label_title = 10162;               // "Titel"
inline constexpr int32_t label_date = 10163;                // "Datum"
inline constexpr int32_t label_license = 10164;             // "License"
inline constexpr int32_t nothing_to_download = 10165;       // label of the time estimate
inline constexpr int32_t estimated_download_time = 10166;   // label of the time estimate
inline constexpr int32_t download_problems = 10167;         // status: an eNews is not built
inline constexpr int32_t enews_with_problems = 10168;       // message, then the titles
inline constexpr int32_t page_not_loaded = 20001;           // Quick publish: the page failed
inline constexpr int32_t sync_starting = 20002;             // status at the start at a HotSync
inline constexpr int32_t update_finished_notice = 20003;    // notice after a user's update

// Dialog texts without an identifier of their own.
inline constexpr std::string_view new_version_offered =
    "Eine neuere Version von Lorvane ist verfügbar:";
inline constexpr std::string_view new_version_connect = "Verbinden und Prüfen";
inline constexpr std::string_view new_version_wait = "Auf die nächste Version warten";
inline constexpr std::string_view new_version_later = "Später daran erinnern.";
inline constexpr std::string_view do_not_ask_again = "Diese Frage nicht mehr stellen";
inline constexpr std::string_view do_not_show_again = "Diese Nachricht nicht mehr zeigen";
inline constexpr std::string_view label_user_name = "Benutzername:";
inline constexpr std::string_view label_password = "Passwort:";
inline constexpr std::string_view answer_yes = "Ja";
inline constexpr std::string_view answer_no = "Nein";

// The configuration dialog: its radio buttons as delivered (by control),
// then our own title and labels.
inline constexpr std::string_view sync_automatic =  // 1033
    "Automatisches Update der E-News, jedesmal wenn der PDA synchronisiert wird.";
inline constexpr std::string_view sync_manual = "Manuelles Update der E-News";  // 1034
inline constexpr std::string_view proxy_none = "Kein Proxy benutzen";           // 1004
inline constexpr std::string_view proxy_automatic =                             // 1005
    "Internet Explorer Proxy Configuration benutzen";
inline constexpr std::string_view proxy_given = "Dises Proxy benutzen :";  // 1006
inline constexpr std::string_view configuration_title = "Konfiguration";
inline constexpr std::string_view group_sync = "Synchronisierung";
inline constexpr std::string_view group_proxy = "Proxy";
inline constexpr std::string_view label_proxy_address = "Adresse:";
inline constexpr std::string_view label_proxy_port = "Port:";
inline constexpr std::string_view label_proxy_user = "Benutzername:";

// The Quick publish dialog: the button and browse filters as delivered
// (the filters with blanks between the patterns, which the file dialog
// needs), then our own title and labels.
inline constexpr std::string_view publish_button = "&Publizieren >>";
inline constexpr std::string_view filter_text_files = "Text Files (*.TXT)";
inline constexpr std::string_view filter_html_files = "HTML Files (*.htm *.html)";
inline constexpr std::string_view filter_prc_files = "PRC Files (*.prc *.pdb)";
inline constexpr std::string_view filter_all_files = "All Files (*.*)";
inline constexpr std::string_view quick_publish_title = "Express Publikation";
inline constexpr std::string_view message_title_short = "Wayfetch";
inline constexpr std::string_view label_source_file = "Quelldatei:";
inline constexpr std::string_view label_target_file = "Zieldatei (.prc):";
inline constexpr std::string_view cancel_button = "Abbrechen";

// Window texts without an identifier of their own: the menus, the pop-up
// menus, the labels and the about box, as delivered (typos included). Those
// marked "ours" have no delivered text.
namespace window {
inline constexpr std::string_view menu_file = "&Datei";
inline constexpr std::string_view menu_edit = "&Bearb.";
inline constexpr std::string_view menu_view = "&Ansicht";
inline constexpr std::string_view menu_go = "&Gehen zu";
inline constexpr std::string_view menu_help = "&Hilfe";
inline constexpr std::string_view update_now = "&Jetzt updaten";
inline constexpr std::string_view update_all = "&Jetzt alles updaten";
inline constexpr std::string_view stop = "&Stop!";
inline constexpr std::string_view add_enews_file = "eNews-&Datei hinzufügen...";  // ours
inline constexpr std::string_view unsubscribe = "&Unsubscribe";
inline constexpr std::string_view exit = "&Exit";
inline constexpr std::string_view quick_publish = "Express &Publikation...";
inline constexpr std::string_view configuration = "&Konfiguration";
inline constexpr std::string_view details = "&Details";
inline constexpr std::string_view find_enews = "&E-News finden";     // ours
inline constexpr std::string_view find_ebooks = "E-&Books finden";   // ours
inline constexpr std::string_view help_page = "&Hilfe anzeigen";     // ours
inline constexpr std::string_view on_the_web = "Im &Web";            // ours: the sub-menu
inline constexpr std::string_view home_page = "&Homepage";           // ours
inline constexpr std::string_view downloads_page = "&Downloads";     // ours
inline constexpr std::string_view support_page = "&Support";         // ours
inline constexpr std::string_view enews_catalogue = "E-News-&Katalog";  // ours
inline constexpr std::string_view about = "Über...";
inline constexpr std::string_view tray_open = "Öffnen";
inline constexpr std::string_view tray_exit = "Exit";
inline constexpr std::string_view select_all = "&Alles auswählen";
inline constexpr std::string_view select_none = "&Auswahl aufheben";
inline constexpr std::string_view delete_oneshot = "&Löschen";
inline constexpr std::string_view last_sync_label = "Letzte Sync. : ";
inline constexpr std::string_view last_sync_unknown = "Unbekannt";
inline constexpr std::string_view total_size_label = "Geschätzte Gesamtgröße :";
inline constexpr std::string_view enews_file_filter = "eNews subscription (*.enews)";
inline constexpr std::string_view about_version = "Wayfetch Version %1.%2";
inline constexpr std::string_view about_build = "Build %3";
}  // namespace window

// The text with this identifier, or "" when the table has none.
std::string_view text(int32_t id);

}  // namespace wayfetch::strings

#endif
