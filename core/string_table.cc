#include "core/string_table.h"

#include <array>
#include <utility>

namespace wayfetch::strings {
namespace {

// Sorted by identifier. "License" is English in the delivered German table.
constexpr std::array<std::pair<int32_t, std::string_view>, 5> entries{{
    {table_of_contents, "Inhaltsverzeichnis"},
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
