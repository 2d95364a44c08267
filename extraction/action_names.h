// The vocabulary of extraction templates: action names, filter names and
// what the pairing rules and the walk need to know about each action.
//
// An element's `action` attribute holds a list of action names separated by
// white space; the list is closed (an unknown name is reported by the walk
// and skipped). Names compare without ASCII case. Pure, thread-safe.
#ifndef WAYFETCH_EXTRACTION_ACTION_NAMES_H
#define WAYFETCH_EXTRACTION_ACTION_NAMES_H

#include <cstdint>
#include <string_view>

#include "core/string.h"
#include "extraction/words.h"

namespace wayfetch::extraction {

enum class Action : int8_t {
  follow,
  get,
  include,
  go_to,  // "goto"
  goto_top,
  goto_scope,
  extract,
  extract_url,
  write,
  erase,
  iterate,
  section,
  download_site,
  ignore,
};

// Filters of `html-filter`, applied in the order written.
enum class Filter : int8_t { get_pics, first_text, no_tags };

// The action that `span` of `text` names; false for a name outside the list.
bool action_named(const String& text, TextSpan span, Action& out);
// The filter that `span` of `text` names; false for any other name.
bool filter_named(const String& text, TextSpan span, Filter& out);
// The template's spelling of an action ("goto-top", "extract-url", ...).
std::string_view action_name(Action action);

// Actions that write into the output element; the first of them in a list
// is where that element is created (unless the list holds `section`).
constexpr bool writes_output(Action a) {
  return a == Action::get || a == Action::include || a == Action::extract ||
         a == Action::write || a == Action::iterate || a == Action::download_site;
}
// Actions that can make an element an iteration set: their failure to find
// something ends the iteration.
constexpr bool can_end_iteration(Action a) {
  return a == Action::extract || a == Action::extract_url || a == Action::go_to ||
         a == Action::goto_scope || a == Action::erase;
}
// Pairing rule 1: refused before a `section` of the same list.
constexpr bool refused_before_section(Action a) {
  return a == Action::get || a == Action::include || a == Action::extract ||
         a == Action::write || a == Action::erase || a == Action::download_site;
}
// Pairing rule 2: refused after a `section` of the same list.
constexpr bool refused_after_section(Action a) {
  return a == Action::follow || a == Action::go_to || a == Action::goto_top ||
         a == Action::goto_scope || a == Action::erase || a == Action::iterate;
}
// Pairing rule 5: doing nothing after an `extract-url` that found nothing.
constexpr bool needs_found_address(Action a) {
  return a == Action::follow || a == Action::get || a == Action::include ||
         a == Action::write || a == Action::download_site;
}

}  // namespace wayfetch::extraction

#endif
