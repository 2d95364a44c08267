// The entity names that the XML writer keeps after an "&".
//
// A text written by XmlParser::write_file has every "&" that does not start a
// known reference replaced by "-", so that readers of the written file never
// meet a broken one. The table holds 266 names of at most 9 characters, in a
// fixed order; lookups ignore ASCII case. Thread-safe (constant data).
#ifndef WAYFETCH_XML_ENTITY_NAMES_H
#define WAYFETCH_XML_ENTITY_NAMES_H

#include <cstdint>
#include <span>
#include <string_view>

namespace wayfetch {

// The names in table order.
std::span<const std::string_view> entity_names();
// Whether `name` (ASCII bytes) equals one of the names, ignoring ASCII case.
bool is_entity_name(std::string_view name);

}  // namespace wayfetch

#endif
