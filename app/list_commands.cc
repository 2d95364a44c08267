#include "app/list_commands.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "app/installation_session.h"
#include "app/quick_publish.h"
#include "core/ascii.h"
#include "platform/file_system.h"
#include "platform/settings_store_file.h"

namespace wayfetch {
namespace {

const char* failure_text(WayfetchConfiguration::AddFailure failure) {
  using Failure = WayfetchConfiguration::AddFailure;
  switch (failure) {
    case Failure::none:
      return "added";
    case Failure::too_large:
      return "the file is too large for an eNews description";
    case Failure::unreadable:
      return "it is not a readable eNews description";
    case Failure::no_enews:
      return "it describes no eNews";
    case Failure::invalid_name:
      return "its eNews name may hold only letters, digits, '_' and '-'";
    case Failure::no_free_name:
      return "no unused name could be made from its title";
    case Failure::not_written:
      return "its folder or template could not be written";
  }
  return "it could not be added";
}

std::string lower_name(const String& name) {
  std::string text = name.to_utf8();
  for (char& c : text) c = ascii::to_lower(c);
  return text;
}

// "2024-05-01 06:30 UTC", or "never".
std::string time_text(const std::optional<Timestamp>& time) {
  TimeFields fields;
  if (!time || !time->to_fields(fields)) return "never";
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d UTC", fields.year, fields.month,
                fields.day, fields.hour, fields.minute);
  return text;
}

void print_enews(const ENews& enews, Timestamp now, std::FILE* out) {
  std::fprintf(out, "%s \"%s\"%s\n", enews.name().to_utf8().c_str(), enews.title.to_utf8().c_str(),
               enews.oneshot ? " (one-shot)" : "");
  const std::string book = enews.prc_path().to_utf8();
  std::error_code error;
  const auto size = book.empty() ? 0 : std::filesystem::file_size(book, error);
  if (book.empty()) {
    std::fputs("  e-book: none (the name cannot name a folder)\n", out);
  } else if (error) {
    std::fprintf(out, "  e-book: %s (not built yet)\n", book.c_str());
  } else {
    std::fprintf(out, "  e-book: %s (%llu bytes)\n", book.c_str(),
                 static_cast<unsigned long long>(size));
  }
  for (int32_t k = 0; k < enews.item_count(); ++k) {
    const ENewsItem& item = enews.item(k);
    if (!item.is_visible()) continue;
    std::fprintf(out, "  %s \"%s\": %s, %s, last download %s\n", item.name().to_utf8().c_str(),
                 item.title.to_utf8().c_str(), item.selected() ? "selected" : "not selected",
                 item.is_due(now) ? "due" : "not due", time_text(item.data_time()).c_str());
  }
}

// The eNews called `name` (looked up, never taken as a path), or -1 after
// saying that there is none.
int32_t find_named(const WayfetchConfiguration& config, const std::string& name, std::FILE* err) {
  const int32_t index = config.find(String(name));
  if (index < 0) {
    std::fprintf(err, "wayfetch: no eNews is named '%s' (see wayfetch --list)\n", name.c_str());
  }
  return index;
}

}  // namespace

int run_subscribe(const std::vector<std::string>& files, std::FILE* out, std::FILE* err) {
  platform::FileSettingsStore store;
  WayfetchConfiguration config(store);
  InstallationSession session(config, err);
  if (const int code = session.open(); code != exit_success) return code;

  std::set<std::string> before;
  for (int32_t i = 0; i < config.count(); ++i) before.insert(lower_name(config.at(i).name()));
  bool failed = false;
  std::vector<const std::string*> queued;
  for (const std::string& file : files) {
    if (config.queue_description_file(String(file))) {
      queued.push_back(&file);
    } else {
      std::fprintf(err, "wayfetch: %s: not added: not a readable file\n", file.c_str());
      failed = true;
    }
  }
  const WayfetchConfiguration::AddResult result = config.add_queued();
  std::vector<std::string> added;
  for (std::size_t t = 0; t < result.texts.size() && t < queued.size(); ++t) {
    const WayfetchConfiguration::AddedText& text = result.texts[t];
    if (text.failure != WayfetchConfiguration::AddFailure::none) {
      std::fprintf(err, "wayfetch: %s: not added: %s\n", queued[t]->c_str(),
                   failure_text(text.failure));
      failed = true;
      continue;
    }
    const int32_t index = config.find(text.name);
    if (index < 0) continue;
    added.push_back(lower_name(text.name));
    std::fprintf(out, "%s %s\n", text.name.to_utf8().c_str(),
                 config.at(index).folder().to_utf8().c_str());
  }
  if (const int code = session.save(); code != exit_success) {
    // The list on disk does not know the new eNews: their folders go too,
    // so that nothing is left half-added.
    for (const std::string& name : added) {
      const int32_t index = config.find(String(name));
      if (index >= 0 && before.count(name) == 0) (void)config.at(index).delete_folder();
    }
    return code;
  }
  return failed ? exit_failure : exit_success;
}

int run_list(std::FILE* out, std::FILE* err) {
  platform::FileSettingsStore store;
  WayfetchConfiguration config(store);
  const String path = config.config_path();
  if (path.empty()) {
    std::fputs("wayfetch: no installation yet: nothing is subscribed\n", err);
    return exit_success;
  }
  if (!platform::path_exists(path.to_utf8())) {
    std::fprintf(err, "wayfetch: %s does not exist yet: nothing is subscribed\n",
                 path.to_utf8().c_str());
    return exit_success;
  }
  config.silent = true;
  if (!config.load(path, true, true)) {
    std::fprintf(err, "wayfetch: %s cannot be read (error %d)\n", path.to_utf8().c_str(),
                 static_cast<int>(config.error));
    return exit_not_run;
  }
  const Timestamp now = Timestamp::now();
  for (int32_t i = 0; i < config.count(); ++i) print_enews(config.at(i), now, out);
  return exit_success;
}

int run_select(const std::string& name, const std::vector<std::string>& items, bool selected,
               std::FILE* err) {
  platform::FileSettingsStore store;
  WayfetchConfiguration config(store);
  InstallationSession session(config, err);
  if (const int code = session.open(); code != exit_success) return code;

  const int32_t index = find_named(config, name, err);
  if (index < 0) return exit_failure;
  ENews& enews = config.at(index);
  if (enews.oneshot) {
    std::fprintf(err, "wayfetch: '%s' is a one-shot eNews: it has no items to choose\n",
                 name.c_str());
    return exit_failure;
  }
  // Every name is found before anything changes.
  std::vector<ENewsItem*> chosen;
  for (const std::string& item_name : items) {
    ENewsItem* item = enews.find_item(String(item_name));
    if (item == nullptr || !item->is_visible()) {
      std::fprintf(err, "wayfetch: '%s' has no item named '%s' (see wayfetch --list)\n",
                   name.c_str(), item_name.c_str());
      return exit_failure;
    }
    chosen.push_back(item);
  }
  if (items.empty()) {
    for (int32_t k = 0; k < enews.item_count(); ++k) {
      if (enews.item(k).is_visible()) chosen.push_back(&enews.item(k));
    }
  }
  for (ENewsItem* item : chosen) item->set_selected(selected);
  return session.save();
}

int run_unsubscribe(const std::string& name, std::FILE* err) {
  platform::FileSettingsStore store;
  WayfetchConfiguration config(store);
  InstallationSession session(config, err);
  if (const int code = session.open(); code != exit_success) return code;

  const int32_t index = find_named(config, name, err);
  if (index < 0) return exit_failure;
  // The list is saved without the eNews before its folder goes: a failed
  // save leaves both as they were, and a folder that cannot be removed
  // whole is only left-over files, never an entry without its templates.
  std::unique_ptr<ENews> removed = config.remove(index);
  if (const int code = session.save(); code != exit_success) return code;
  if (!removed->delete_folder()) {
    std::fprintf(err,
                 "wayfetch: '%s' is unsubscribed, but its folder %s could not be removed whole\n",
                 name.c_str(), removed->folder().to_utf8().c_str());
    return exit_failure;
  }
  return exit_success;
}

}  // namespace wayfetch
