#include "extraction/action_names.h"

#include <array>
#include <utility>

namespace wayfetch::extraction {
namespace {

constexpr std::array<std::pair<Action, std::string_view>, 14> actions = {{
    {Action::follow, "follow"},
    {Action::get, "get"},
    {Action::include, "include"},
    {Action::go_to, "goto"},
    {Action::goto_top, "goto-top"},
    {Action::goto_scope, "goto-scope"},
    {Action::extract, "extract"},
    {Action::extract_url, "extract-url"},
    {Action::write, "write"},
    {Action::erase, "erase"},
    {Action::iterate, "iterate"},
    {Action::section, "section"},
    {Action::download_site, "download-site"},
    {Action::ignore, "ignore"},
}};

constexpr std::array<std::pair<Filter, std::string_view>, 3> filters = {{
    {Filter::get_pics, "get-pics"},
    {Filter::first_text, "first-text"},
    {Filter::no_tags, "no-tags"},
}};

}  // namespace

bool action_named(const String& text, TextSpan span, Action& out) {
  for (const auto& [action, name] : actions) {
    if (span_equals(text, span, name)) {
      out = action;
      return true;
    }
  }
  return false;
}

bool filter_named(const String& text, TextSpan span, Filter& out) {
  for (const auto& [filter, name] : filters) {
    if (span_equals(text, span, name)) {
      out = filter;
      return true;
    }
  }
  return false;
}

std::string_view action_name(Action action) {
  for (const auto& [known, name] : actions) {
    if (known == action) return name;
  }
  return {};
}

}  // namespace wayfetch::extraction
