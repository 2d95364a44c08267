#include "hotsync/database_name.h"

#include <algorithm>

namespace wayfetch::hotsync {
namespace {

constexpr std::string_view suffix = ".pdb";
constexpr std::string_view hex_digits = "0123456789ABCDEF";

bool needs_escape(unsigned char c, std::size_t position, std::size_t length) {
  if (c < 0x20 || c >= 0x7F) return true;
  if (std::string_view("%/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
    return true;
  if (position == 0 && c == '.') return true;
  return position + 1 == length && (c == '.' || c == ' ');
}

int hex_value(char c) {
  std::size_t at = hex_digits.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

bool is_database_name(std::string_view name) {
  return !name.empty() && name.size() <= max_database_name &&
         name.find('\0') == std::string_view::npos;
}

std::string file_name_for_database(std::string_view name) {
  if (!is_database_name(name)) return "";
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (needs_escape(c, i, name.size())) {
      out += '%';
      out += hex_digits[c >> 4];
      out += hex_digits[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + std::string(suffix);
}

std::optional<std::string> database_name_for_file(std::string_view file_name) {
  if (file_name.size() <= suffix.size() || !file_name.ends_with(suffix)) return std::nullopt;
  std::string_view stem = file_name.substr(0, file_name.size() - suffix.size());
  std::string name;
  for (std::size_t i = 0; i < stem.size(); ++i) {
    if (stem[i] != '%') {
      name += stem[i];
      continue;
    }
    if (i + 2 >= stem.size()) return std::nullopt;
    int high = hex_value(stem[i + 1]);
    int low = hex_value(stem[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    name += static_cast<char>(high << 4 | low);
    i += 2;
  }
  // Only the one spelling the host writes is accepted, so that two file
  // names never stand for the same database.
  if (file_name_for_database(name) != file_name) return std::nullopt;
  return name;
}

}  // namespace wayfetch::hotsync
