#include "program/installation_entries.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "config/settings_names.h"
#include "core/markup_text.h"
#include "core/string_table.h"
#include "hotsync/conduit_registry.h"
#include "platform/file_replacement.h"
#include "platform/launcher.h"
#include "platform/user_folders.h"

namespace wayfetch {
namespace {

constexpr char entry_name[] = "lorvane-wayfetch";
constexpr char conduit_file[] = "libLorvPalmSync.so";

std::string parent_folder(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

// Writes `content` to `path` unless it holds exactly that already; true when
// it wrote.
bool write_when_changed(const std::string& path, const std::string& content) {
  {
    std::ifstream in(path, std::ios::binary);
    if (in) {
      const std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (old == content) return false;
    }
  }
  if (!platform::make_folders(parent_folder(path))) return false;
  platform::FileReplacement replacement(path);
  if (!replacement.ready()) return false;
  {
    std::ofstream out(replacement.path(), std::ios::binary | std::ios::trunc);
    out << content;
    out.flush();
    if (!out) return false;
  }
  return replacement.commit();
}

std::string mime_package() {
  std::ostringstream text;
  text << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       << "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
       << "  <mime-type type=\"" << subscription_mime_type << "\">\n"
       << "    <comment>" << markup_text(strings::text(strings::subscription_file_type))
       << "</comment>\n"
       << "    <sub-class-of type=\"application/xml\"/>\n"
       << "    <icon name=\"" << entry_name << "\"/>\n"
       << "    <glob pattern=\"*.enews\"/>\n"
       << "  </mime-type>\n"
       << "</mime-info>\n";
  return text.str();
}

std::string desktop_entry(const std::string& exec) {
  std::ostringstream text;
  text << "[Desktop Entry]\n"
       << "Type=Application\n"
       << "Name=" << strings::text(strings::program_title) << "\n"
       << "Comment=" << strings::text(strings::subscription_file_type) << "\n"
       << "Exec=" << exec << "\n"
       << "Icon=" << entry_name << "\n"
       << "MimeType=" << subscription_mime_type << ";\n"
       << "Terminal=false\n"
       << "Categories=Network;News;\n";
  return text.str();
}

bool write_program_values(platform::SettingsStore& settings, const InstallationPlaces& places) {
  if (places.program.empty()) return false;
  bool wrote = false;
  const platform::SettingsStatus status = settings.update([&](platform::SettingsData& data) {
    if (data.find(settings_names::program_key, settings_names::program_file) != nullptr) {
      return false;
    }
    data.set(settings_names::program_key, settings_names::program_file, places.program);
    // On Linux the installation folder is where the user's data lives: a
    // stored one stays, or the data would be left behind.
    if (data.find(settings_names::program_key, settings_names::installation_path) == nullptr &&
        !places.data_home.empty()) {
      data.set(settings_names::program_key, settings_names::installation_path,
               places.data_home + "/" + std::string(platform::program_folder_name));
    }
    wrote = true;
    return true;
  });
  return status.ok() && wrote;
}

bool register_conduit(const InstallationPlaces& places) {
  if (places.conduit_library.empty() || places.conduit_registry.empty()) return false;
  hotsync::ConduitRegistry registry(places.conduit_registry);
  if (!registry.load().is_ok() || registry.find(conduit_creator) != nullptr) return false;
  hotsync::Registration registration;
  registration.creator = conduit_creator;
  registration.library = places.conduit_library;
  registration.title = "Lorvane";
  registration.priority = 2;
  registration.conduit_type = 1;
  return registry.add(registration).is_ok() && registry.save().is_ok();
}

std::string find_conduit_library(const std::string& program) {
  const std::filesystem::path folder = std::filesystem::path(program).parent_path();
  // Installed: <prefix>/bin and <prefix>/lib; the build tree: app/ and conduit/.
  for (const char* relative : {".", "../lib", "../conduit"}) {
    std::error_code error;
    const std::filesystem::path candidate =
        std::filesystem::canonical(folder / relative / conduit_file, error);
    if (!error && std::filesystem::is_regular_file(candidate, error)) return candidate.string();
  }
  return "";
}

}  // namespace

InstallationPlaces InstallationPlaces::of_this_program() {
  InstallationPlaces places;
  places.program = platform::executable_path();
  places.data_home = platform::user_data_folder();
  places.icon = platform::find_program_file(std::string(entry_name) + ".svg");
  places.conduit_library = places.program.empty() ? "" : find_conduit_library(places.program);
  places.conduit_registry = hotsync::ConduitRegistry::default_path();
  return places;
}

std::string desktop_exec_line(const std::string& program) {
  // Quoted argument: ", `, $ and \ take a backslash; then the whole value is
  // a string value, where a backslash is written twice; % is doubled for
  // the field codes.
  std::string quoted = "\"";
  for (char c : program) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "";
    if (c == '"' || c == '`' || c == '$') {
      quoted += "\\\\";
      quoted += c;
    } else if (c == '\\') {
      quoted += "\\\\\\\\";
    } else if (c == '%') {
      quoted += "%%";
    } else {
      quoted += c;
    }
  }
  return quoted + "\" -enews %f";
}

InstallationReport register_installation(platform::SettingsStore& settings,
                                         const InstallationPlaces& places) {
  InstallationReport report;
  report.program_values = write_program_values(settings, places);

  if (!places.data_home.empty()) {
    const std::string mime_folder = places.data_home + "/mime";
    report.mime_package =
        write_when_changed(mime_folder + "/packages/" + entry_name + ".xml", mime_package());
    if (report.mime_package) {
      (void)platform::launch_detached("update-mime-database", {mime_folder});
    }
    const std::string exec = desktop_exec_line(places.program);
    const std::string applications = places.data_home + "/applications";
    if (!places.program.empty() && !exec.empty()) {
      report.desktop_entry =
          write_when_changed(applications + "/" + entry_name + ".desktop", desktop_entry(exec));
      if (report.desktop_entry) {
        (void)platform::launch_detached("update-desktop-database", {applications});
      }
    }
    if (!places.icon.empty()) {
      std::ifstream in(places.icon, std::ios::binary);
      const std::string icon((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
      if (in.good() || in.eof()) {
        if (!icon.empty()) {
          report.icon = write_when_changed(
              places.data_home + "/icons/hicolor/scalable/apps/" + entry_name + ".svg", icon);
        }
      }
    }
  }
  report.conduit = register_conduit(places);
  return report;
}

}  // namespace wayfetch
