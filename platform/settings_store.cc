// The settings content and its text form (docs/settings_format.md).
//
// Escaping is "%" and two upper-case hexadecimal digits, applied to every
// byte that could end or re-shape an entry (line breaks and other control
// bytes, "%", and the bytes that delimit keys and names), so that no value
// can create another entry. Nothing else is touched: the text stays readable
// and editable by hand.
#include "platform/settings_store.h"

#include <algorithm>
#include <cstddef>

#include "platform/lower_case.h"

namespace wayfetch::platform {
namespace {

constexpr char separator = '\\';
constexpr std::string_view file_heading =
    "# Lorvane Wayfetch settings: [key] lines, then name=value lines (%XX escapes).\n";

enum class Field { key, name, value };

bool needs_escape(uint8_t c, Field field) {
  if (c < 0x20 || c == 0x7F || c == '%') return true;
  switch (field) {
    case Field::key:
      return c == '[' || c == ']';
    case Field::name:
      return c == '=' || c == '[' || c == ']' || c == '#';
    case Field::value:
      return false;
  }
  return false;
}

void append_escaped(std::string& out, std::string_view text, Field field) {
  constexpr std::string_view hex = "0123456789ABCDEF";
  for (char ch : text) {
    auto c = static_cast<uint8_t>(ch);
    if (!needs_escape(c, field)) {
      out.push_back(ch);
      continue;
    }
    out.push_back('%');
    out.push_back(hex[c >> 4]);
    out.push_back(hex[c & 0x0F]);
  }
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Undoes append_escaped; false for a "%" without two hexadecimal digits.
bool unescape(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int high = hex_digit(text[i + 1]);
    int low = hex_digit(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return true;
}

bool equal_ascii_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lower_byte(static_cast<uint8_t>(x)) == lower_byte(static_cast<uint8_t>(y));
         });
}

// Whether `path` lies strictly below `key`: it starts with key + "\".
bool is_below(std::string_view path, std::string_view key) {
  return path.size() > key.size() + 1 && path[key.size()] == separator &&
         equal_ascii_case(path.substr(0, key.size()), key);
}

}  // namespace

bool AsciiCaseLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return lower_byte(static_cast<uint8_t>(x)) < lower_byte(static_cast<uint8_t>(y));
  });
}

bool SettingsData::valid_key(std::string_view key) {
  if (key.empty() || key.front() == separator || key.back() == separator) return false;
  return key.find("\\\\") == std::string_view::npos;
}

const std::string* SettingsData::find(std::string_view key, std::string_view name) const {
  auto found_key = keys_.find(key);
  if (found_key == keys_.end()) return nullptr;
  auto found = found_key->second.find(name);
  return found == found_key->second.end() ? nullptr : &found->second;
}

bool SettingsData::set(std::string_view key, std::string_view name, std::string_view value) {
  if (!valid_key(key)) return false;
  Values& values = keys_.try_emplace(std::string(key)).first->second;
  auto found = values.find(name);
  if (found != values.end()) {
    found->second.assign(value);
  } else {
    values.emplace(std::string(name), std::string(value));
  }
  return true;
}

bool SettingsData::create_key(std::string_view key) {
  if (!valid_key(key)) return false;
  keys_.try_emplace(std::string(key));
  return true;
}

bool SettingsData::remove_value(std::string_view key, std::string_view name) {
  auto found_key = keys_.find(key);
  if (found_key == keys_.end()) return false;
  auto found = found_key->second.find(name);
  if (found == found_key->second.end()) return false;
  found_key->second.erase(found);
  return true;
}

bool SettingsData::remove_key(std::string_view key) {
  bool removed = false;
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (equal_ascii_case(it->first, key) || is_below(it->first, key)) {
      it = keys_.erase(it);
      removed = true;
    } else {
      ++it;
    }
  }
  return removed;
}

bool SettingsData::key_exists(std::string_view key) const {
  if (!valid_key(key)) return false;
  return std::any_of(keys_.begin(), keys_.end(), [&](const auto& entry) {
    return equal_ascii_case(entry.first, key) || is_below(entry.first, key);
  });
}

std::vector<std::string> SettingsData::value_names(std::string_view key) const {
  std::vector<std::string> names;
  auto found = keys_.find(key);
  if (found == keys_.end()) return names;
  for (const auto& entry : found->second) names.push_back(entry.first);
  return names;
}

std::vector<std::string> SettingsData::subkey_names(std::string_view key) const {
  std::vector<std::string> names;
  for (const auto& entry : keys_) {
    if (!is_below(entry.first, key)) continue;
    std::string_view rest = std::string_view(entry.first).substr(key.size() + 1);
    std::string_view name = rest.substr(0, rest.find(separator));
    // Keys are sorted, so keys below the same subkey follow each other.
    if (names.empty() || !equal_ascii_case(names.back(), name)) names.emplace_back(name);
  }
  return names;
}

bool SettingsData::operator==(const SettingsData& other) const {
  return keys_ == other.keys_;
}

SettingsData SettingsData::parse(std::string_view text, int32_t* skipped) {
  SettingsData data;
  int32_t bad = 0;
  std::string current_key;
  std::string name;
  std::string value;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    // A file edited on another system may end its lines with CR LF; a CR
    // that belongs to a value is always written escaped.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      std::string key;
      // A bad heading makes the lines under it belong to no key, so they are
      // skipped too instead of landing in the key before it.
      current_key.clear();
      if (line.back() != ']' || !unescape(line.substr(1, line.size() - 2), key) ||
          !data.create_key(key)) {
        ++bad;
        continue;
      }
      current_key = key;
      continue;
    }
    std::size_t equals = line.find('=');
    if (current_key.empty() || equals == std::string_view::npos ||
        !unescape(line.substr(0, equals), name) || !unescape(line.substr(equals + 1), value)) {
      ++bad;
      continue;
    }
    data.set(current_key, name, value);
  }
  if (skipped != nullptr) *skipped = bad;
  return data;
}

std::string SettingsData::format() const {
  std::string out(file_heading);
  for (const auto& [key, values] : keys_) {
    out.push_back('[');
    append_escaped(out, key, Field::key);
    out.append("]\n");
    for (const auto& [name, value] : values) {
      append_escaped(out, name, Field::name);
      out.push_back('=');
      append_escaped(out, value, Field::value);
      out.push_back('\n');
    }
  }
  return out;
}

// ---- the one-step helpers ----

SettingsStatus SettingsStore::read_value(std::string_view key, std::string_view name,
                                         std::string& out) {
  out.clear();
  SettingsData data;
  SettingsStatus status = read_all(data);
  if (!status.ok()) return status;
  const std::string* found = data.find(key, name);
  if (found == nullptr) {
    return SettingsStatus::failure(SettingsError::not_found, "no value '" + std::string(name) +
                                                                 "' in '" + std::string(key) + "'");
  }
  out = *found;
  return {};
}

SettingsStatus SettingsStore::write_value(std::string_view key, std::string_view name,
                                          std::string_view value) {
  if (!SettingsData::valid_key(key)) {
    return SettingsStatus::failure(SettingsError::invalid_name,
                                   "bad key '" + std::string(key) + "'");
  }
  return update([&](SettingsData& data) {
    const std::string* old = data.find(key, name);
    if (old != nullptr && *old == value) return false;
    return data.set(key, name, value);
  });
}

SettingsStatus SettingsStore::write_value_if_absent(std::string_view key, std::string_view name,
                                                    std::string_view value, bool* written) {
  if (written != nullptr) *written = false;
  if (!SettingsData::valid_key(key)) {
    return SettingsStatus::failure(SettingsError::invalid_name,
                                   "bad key '" + std::string(key) + "'");
  }
  bool wrote = false;
  SettingsStatus status = update([&](SettingsData& data) {
    if (data.find(key, name) != nullptr) return false;
    wrote = data.set(key, name, value);
    return wrote;
  });
  if (written != nullptr) *written = status.ok() && wrote;
  return status;
}

SettingsStatus SettingsStore::remove_value(std::string_view key, std::string_view name) {
  bool found = false;
  SettingsStatus status = update([&](SettingsData& data) {
    found = data.remove_value(key, name);
    return found;
  });
  if (status.ok() && !found) {
    return SettingsStatus::failure(SettingsError::not_found,
                                   "no value '" + std::string(name) + "'");
  }
  return status;
}

SettingsStatus SettingsStore::remove_key(std::string_view key) {
  bool found = false;
  SettingsStatus status = update([&](SettingsData& data) {
    found = data.remove_key(key);
    return found;
  });
  if (status.ok() && !found) {
    return SettingsStatus::failure(SettingsError::not_found, "no key '" + std::string(key) + "'");
  }
  return status;
}

namespace {

// Lists the names `list` gives for an existing key; not_found without one.
SettingsStatus list_names(SettingsStore& store, std::string_view key,
                          std::vector<std::string> (SettingsData::*list)(std::string_view) const,
                          std::vector<std::string>& out) {
  out.clear();
  SettingsData data;
  SettingsStatus status = store.read_all(data);
  if (!status.ok()) return status;
  if (!data.key_exists(key)) {
    return SettingsStatus::failure(SettingsError::not_found, "no key '" + std::string(key) + "'");
  }
  out = (data.*list)(key);
  return {};
}

}  // namespace

SettingsStatus SettingsStore::value_names(std::string_view key, std::vector<std::string>& out) {
  return list_names(*this, key, &SettingsData::value_names, out);
}

SettingsStatus SettingsStore::subkey_names(std::string_view key, std::vector<std::string>& out) {
  return list_names(*this, key, &SettingsData::subkey_names, out);
}

}  // namespace wayfetch::platform
