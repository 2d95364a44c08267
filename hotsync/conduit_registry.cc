#include "hotsync/conduit_registry.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "core/file.h"
#include "platform/file_system.h"

namespace wayfetch::hotsync {
namespace {

// A registration file is a few hundred bytes; anything far larger is not one.
constexpr std::uintmax_t max_file_size = 1 << 20;
constexpr std::string_view file_header =
    "# wayfetch-hotsync conduit registrations; see docs/hotsync.md\n";

RegistryStatus fail(RegistryStatus::Code code, std::string message) {
  return {code, std::move(message)};
}

// Values are stored one per line as they stand.
bool is_value(std::string_view value) {
  return value.find_first_of(std::string_view("\0\n\r", 3)) == std::string_view::npos;
}

bool read_number(std::string_view text, uint32_t low, uint32_t high, uint32_t& out) {
  uint32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return false;
  out = value;
  return true;
}

std::string check(const Registration& r) {
  if (!ConduitRegistry::is_creator(r.creator))
    return "a creator is four characters from ' ' to '~'";
  if (r.priority < 0 || r.priority > 255) return "the priority must be from 0 to 255";
  if (r.conduit_type < 0 || r.conduit_type > 255) return "the conduit type must be from 0 to 255";
  if (r.sync_type > 6 || r.next_sync_type > 6) return "synchronisation types are from 0 to 6";
  if (r.preference < 1 || r.preference > 2) return "the preference is 1 or 2";
  for (const std::string* value : {&r.library, &r.name, &r.title}) {
    if (!is_value(*value)) return "values cannot hold line breaks or zero bytes";
  }
  for (const auto& [key, value] : r.other_values) {
    if (!is_value(key) || !is_value(value)) return "values cannot hold line breaks or zero bytes";
  }
  return "";
}

// Sets one known key; false for an unknown key or a bad number.
bool set_value(Registration& r, std::string_view key, std::string_view value, bool& known) {
  known = true;
  uint32_t number = 0;
  if (key == "library") {
    r.library = value;
  } else if (key == "name") {
    r.name = value;
  } else if (key == "title") {
    r.title = value;
  } else if (key == "priority") {
    if (!read_number(value, 0, 255, number)) return false;
    r.priority = static_cast<int32_t>(number);
  } else if (key == "type") {
    if (!read_number(value, 0, 255, number)) return false;
    r.conduit_type = static_cast<int32_t>(number);
  } else if (key == "sync-type") {
    return read_number(value, 0, 6, r.sync_type);
  } else if (key == "next-sync-type") {
    return read_number(value, 0, 6, r.next_sync_type);
  } else if (key == "preference") {
    return read_number(value, 1, 2, r.preference);
  } else {
    known = false;
  }
  return true;
}

std::string file_text(const std::vector<Registration>& registrations) {
  std::string out(file_header);
  for (const Registration& r : registrations) {
    out += "\n[" + r.creator + "]\n";
    out += "library=" + r.library + "\n";
    out += "priority=" + std::to_string(r.priority) + "\n";
    out += "name=" + r.name + "\n";
    out += "title=" + r.title + "\n";
    out += "type=" + std::to_string(r.conduit_type) + "\n";
    out += "sync-type=" + std::to_string(r.sync_type) + "\n";
    out += "next-sync-type=" + std::to_string(r.next_sync_type) + "\n";
    out += "preference=" + std::to_string(r.preference) + "\n";
    for (const auto& [key, value] : r.other_values) out += key + "=" + value + "\n";
  }
  return out;
}

}  // namespace

std::string ConduitRegistry::default_path() {
  // The XDG rules: a relative XDG_CONFIG_HOME is ignored.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config != nullptr && config[0] == '/') {
    folder = config;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    folder = std::string(home) + "/.config";
  } else {
    return "";
  }
  return folder + "/wayfetch-hotsync/conduits";
}

bool ConduitRegistry::is_creator(std::string_view creator) {
  return creator.size() == 4 &&
         std::all_of(creator.begin(), creator.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

RegistryStatus ConduitRegistry::load() {
  registrations_.clear();
  loaded_ = false;
  std::error_code error;
  auto status = std::filesystem::status(path_, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    loaded_ = true;
    return {};
  }
  if (status.type() != std::filesystem::file_type::regular)
    return fail(RegistryStatus::io_error, path_ + ": not a regular file");
  if (std::filesystem::file_size(path_, error) > max_file_size)
    return fail(RegistryStatus::bad_file, path_ + ": too large for a registration file");
  std::ifstream in(path_, std::ios::binary);
  if (!in) return fail(RegistryStatus::io_error, path_ + ": cannot be read");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return fail(RegistryStatus::io_error, path_ + ": cannot be read");

  std::vector<Registration> read;
  std::vector<std::string> keys_seen;
  int line_number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++line_number;
    auto bad = [&](std::string_view why) {
      return fail(RegistryStatus::bad_file,
                  path_ + ":" + std::to_string(line_number) + ": " + std::string(why));
    };
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.size() != 6 || line.back() != ']' || !is_creator(line.substr(1, 4)))
        return bad("a section is a creator of four characters in brackets");
      std::string_view creator = line.substr(1, 4);
      if (std::any_of(read.begin(), read.end(),
                      [&](const Registration& r) { return r.creator == creator; })) {
        return bad("the creator is registered twice");
      }
      read.emplace_back().creator = creator;
      keys_seen.clear();
      continue;
    }
    std::size_t equals = line.find('=');
    if (read.empty() || equals == 0 || equals == std::string_view::npos)
      return bad("expected key=value inside a [CREATOR] section");
    std::string key(line.substr(0, equals));
    std::string_view value = line.substr(equals + 1);
    if (std::find(keys_seen.begin(), keys_seen.end(), key) != keys_seen.end())
      return bad("the key '" + key + "' is given twice");
    keys_seen.push_back(key);
    bool known = true;
    if (!set_value(read.back(), key, value, known)) return bad("a bad value for '" + key + "'");
    if (!known) read.back().other_values.emplace_back(key, value);
  }
  registrations_ = std::move(read);
  loaded_ = true;
  return {};
}

RegistryStatus ConduitRegistry::save() const {
  if (!loaded_) return fail(RegistryStatus::bad_file, path_ + ": not read, so not overwritten");
  std::error_code error;
  std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  if (!std::filesystem::exists(folder, error)) {
    std::filesystem::create_directories(folder, error);
    // The host's own folder is private to the user, as XDG folders are.
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
  }
  std::string target = platform::resolve_path(path_);
  std::string temporary = platform::create_file_beside(target);
  if (temporary.empty()) return fail(RegistryStatus::io_error, path_ + ": cannot be written");
  std::string text = file_text(registrations_);
  File out;
  bool written = out.open(temporary, 0x0A /* write, open existing */) &&
                 out.write(text.data(), static_cast<int32_t>(text.size())) ==
                     static_cast<int32_t>(text.size()) &&
                 out.flush();
  out.close();
  if (written) written = platform::replace_file(temporary, target);
  if (!written) {
    platform::remove_file(temporary);
    return fail(RegistryStatus::io_error, path_ + ": cannot be written");
  }
  return {};
}

std::vector<Registration> ConduitRegistry::run_order() const {
  std::vector<Registration> out = registrations_;
  std::stable_sort(out.begin(), out.end(), [](const Registration& a, const Registration& b) {
    return a.priority != b.priority ? a.priority < b.priority : a.creator < b.creator;
  });
  return out;
}

const Registration* ConduitRegistry::find(std::string_view creator) const {
  auto it = std::find_if(registrations_.begin(), registrations_.end(),
                         [&](const Registration& r) { return r.creator == creator; });
  return it == registrations_.end() ? nullptr : &*it;
}

Registration* ConduitRegistry::find(std::string_view creator) {
  return const_cast<Registration*>(std::as_const(*this).find(creator));
}

RegistryStatus ConduitRegistry::add(const Registration& registration) {
  if (std::string why = check(registration); !why.empty())
    return fail(RegistryStatus::bad_argument, why);
  if (find(registration.creator) != nullptr)
    return fail(RegistryStatus::already_registered,
                "'" + registration.creator + "' is already registered");
  registrations_.push_back(registration);
  return {};
}

RegistryStatus ConduitRegistry::update(const Registration& registration) {
  if (std::string why = check(registration); !why.empty())
    return fail(RegistryStatus::bad_argument, why);
  Registration* known = find(registration.creator);
  if (known == nullptr)
    return fail(RegistryStatus::not_registered, "'" + registration.creator + "' is not registered");
  *known = registration;
  return {};
}

RegistryStatus ConduitRegistry::remove(std::string_view creator) {
  auto it = std::find_if(registrations_.begin(), registrations_.end(),
                         [&](const Registration& r) { return r.creator == creator; });
  if (it == registrations_.end())
    return fail(RegistryStatus::not_registered, "'" + std::string(creator) + "' is not registered");
  registrations_.erase(it);
  return {};
}

namespace {

int32_t cm_result(const RegistryStatus& status) {
  switch (status.code) {
    case RegistryStatus::ok:
      return cm_ok;
    case RegistryStatus::not_registered:
      return cm_not_registered;
    case RegistryStatus::already_registered:
      return cm_already_registered;
    case RegistryStatus::bad_argument:
      return cm_bad_argument;
    default:
      return cm_file_error;
  }
}

// Loads the default file, lets `change` alter the registration of `creator`
// and saves; the change returns a status and may refuse.
template <typename Change>
int32_t change_registration(std::string_view creator, Change change) {
  ConduitRegistry registry(ConduitRegistry::default_path());
  if (registry.path().empty()) return cm_file_error;
  if (RegistryStatus loaded = registry.load(); !loaded.is_ok()) return cm_result(loaded);
  Registration* known = registry.find(creator);
  if (known == nullptr) return cm_not_registered;
  Registration changed = *known;
  change(changed);
  if (RegistryStatus updated = registry.update(changed); !updated.is_ok())
    return cm_result(updated);
  return cm_result(registry.save());
}

}  // namespace

int32_t CmGetCreatorPriority(std::string_view creator, int32_t* priority) {
  ConduitRegistry registry(ConduitRegistry::default_path());
  if (registry.path().empty()) return cm_file_error;
  if (RegistryStatus loaded = registry.load(); !loaded.is_ok()) return cm_result(loaded);
  const Registration* known = registry.find(creator);
  if (known == nullptr) return cm_not_registered;
  if (priority != nullptr) *priority = known->priority;
  return cm_ok;
}

int32_t CmInstallCreator(std::string_view creator, int32_t conduit_type) {
  Registration registration;
  registration.creator = creator;
  registration.conduit_type = conduit_type;
  return install_conduit(registration);
}

int32_t CmSetCreatorName(std::string_view creator, std::string_view library) {
  return change_registration(creator, [&](Registration& r) { r.library = library; });
}

int32_t CmSetCreatorTitle(std::string_view creator, std::string_view title) {
  return change_registration(creator, [&](Registration& r) { r.title = title; });
}

int32_t CmSetCreatorPriority(std::string_view creator, int32_t priority) {
  return change_registration(creator, [&](Registration& r) { r.priority = priority; });
}

int32_t install_conduit(const Registration& registration) {
  ConduitRegistry registry(ConduitRegistry::default_path());
  if (registry.path().empty()) return cm_file_error;
  if (RegistryStatus loaded = registry.load(); !loaded.is_ok()) return cm_result(loaded);
  if (RegistryStatus added = registry.add(registration); !added.is_ok()) return cm_result(added);
  return cm_result(registry.save());
}

}  // namespace wayfetch::hotsync
