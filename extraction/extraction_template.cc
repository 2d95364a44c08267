#include "extraction/extraction_template.h"

#include <algorithm>
#include <utility>

#include "extraction/words.h"

namespace wayfetch::extraction {
namespace {

std::u16string folded_name(const String& name) {
  std::u16string units = name.window_utf16();
  for (char16_t& c : units) c = ascii::fold(c);
  return units;
}

}  // namespace

ExtractionTemplate::Load ExtractionTemplate::load_file(const String& path) {
  TextScanner text;
  bool loaded = text.load_file(path);
  // The log names the file in later records, also when it could not be read.
  lease_ = text.context_lease();
  context_ = text.context();
  if (!loaded) return Load::unreadable;
  return load_text(std::move(text));
}

ExtractionTemplate::Load ExtractionTemplate::load_text(TextScanner text) {
  if (!text.context_lease().empty()) lease_ = text.context_lease();
  context_ = text.context();
  // A first look at the prolog relabels the text with the encoding its
  // declaration names; the template is then parsed in that encoding.
  XmlParser probe;
  probe.set_mode(ParseMode::xml_prolog_encoding);
  probe.parse(text);
  text.rewind();
  parser_.reset();
  parser_.set_mode(ParseMode::extraction_template);
  parser_.parse(text);
  bool errors = parser_.error != 0;
  encoding_ = text.encoding();
  code_page_ = text.code_page();
  // The walk closes iterations and sections when it meets a node after
  // them; this last node is met after everything else.
  String empty;
  empty.set_encoding(encoding_, code_page_);
  empty.set_context(context_);
  parser_.clear_status();
  parser_.create_text(0, empty);
  index();
  return errors ? Load::has_errors : Load::loaded;
}

void ExtractionTemplate::index() {
  const auto count = static_cast<std::size_t>(parser_.node_count());
  preorder_.clear();
  preorder_.reserve(count);
  order_.assign(count, -1);
  end_.assign(count, 0);
  scope_.assign(count, 0);
  action_index_.assign(count, -1);
  actions_.clear();
  sets_by_name_.clear();
  sets_indexed_ = false;

  // Document order with an explicit stack: templates come from the web, so
  // their depth must not become the depth of our call stack.
  std::vector<std::pair<int32_t, int32_t>> stack;  // node, next child position
  stack.emplace_back(0, 0);
  order_[0] = 0;
  preorder_.push_back(0);
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const ChildList& children = parser_.get(node).children;
    if (next < children.size()) {
      int32_t child = children.get(next++);
      if (!parser_.valid(child) || order_[static_cast<std::size_t>(child)] >= 0) continue;
      order_[static_cast<std::size_t>(child)] = static_cast<int32_t>(preorder_.size());
      preorder_.push_back(child);
      stack.emplace_back(child, 0);
    } else {
      end_[static_cast<std::size_t>(node)] = static_cast<int32_t>(preorder_.size());
      stack.pop_back();
    }
  }

  // Action elements, then the nearest iterate or section scope of every
  // node (parents come before their children in document order).
  String list;
  for (int32_t node : preorder_) {
    const XmlNode& record = parser_.get(node);
    if (record.kind == node_element && attribute_value(node, "action", list)) {
      read_action_element(node, list);
    }
    int32_t parent = record.parent;
    const ActionElement* own = action(node);
    if (own != nullptr && own->opens_scope) {
      scope_[static_cast<std::size_t>(node)] = node;
    } else if (node != 0 && parser_.valid(parent)) {
      scope_[static_cast<std::size_t>(node)] = scope_[static_cast<std::size_t>(parent)];
    }
  }

  // Iteration sets: for each position, the first candidate at or after it.
  next_set_.assign(preorder_.size() + 1, -1);
  for (auto position = static_cast<int32_t>(preorder_.size()) - 1; position >= 0; --position) {
    const ActionElement* candidate = action(preorder_[static_cast<std::size_t>(position)]);
    bool usable = candidate != nullptr &&
                  std::any_of(candidate->actions.begin(), candidate->actions.end(),
                              [](Action a) { return can_end_iteration(a); });
    next_set_[static_cast<std::size_t>(position)] =
        usable ? position : next_set_[static_cast<std::size_t>(position) + 1];
  }
}

bool ExtractionTemplate::attribute_value(int32_t element, const char* name, String& out) const {
  for (int32_t child : parser_.get(element).children) {
    const XmlNode& candidate = parser_.get(child);
    if (candidate.kind == node_attribute && equals_ascii(candidate.attr_name, name)) {
      out = candidate.name;
      return true;
    }
  }
  return false;
}

Parameter ExtractionTemplate::element_parameter(int32_t element, const char* name) const {
  const XmlNode& self = parser_.get(element);
  // An element named like the parameter carries the value as its own text.
  if (equals_ascii(self.name, name)) {
    for (int32_t child : self.children) {
      const XmlNode& text = parser_.get(child);
      if (text.kind == node_text) return {true, text.name};
    }
  }
  for (int32_t child : self.children) {
    const XmlNode& candidate = parser_.get(child);
    if (candidate.kind != node_element || !equals_ascii(candidate.name, name)) continue;
    if (candidate.children.size() != 1) continue;
    const XmlNode& text = parser_.get(candidate.children.get(0));
    if (text.kind == node_text) return {true, text.name};
  }
  return {};
}

void ExtractionTemplate::read_action_element(int32_t node, const String& list) {
  ActionElement element;
  element.node = node;
  element.line = parser_.get(node).source_line;
  for (TextSpan word : words_of(list)) {
    Action action = Action::ignore;
    if (!action_named(list, word, action)) {
      ++element.unknown_names;
      continue;
    }
    auto at = static_cast<int32_t>(element.actions.size());
    if (action == Action::section && element.section_at < 0) element.section_at = at;
    if (writes_output(action) && element.output_at < 0) element.output_at = at;
    if (action == Action::iterate || action == Action::section) {
      element.opens_scope = true;
    } else {
      element.content_is_parameters = true;
    }
    element.actions.push_back(action);
  }
  if (element.section_at >= 0) element.output_at = element.section_at;

  String value;
  element.case_sensitive = attribute_value(node, "case-sens", value) && !equals_ascii(value, "no");
  if (attribute_value(node, "html-filter", value)) {
    for (TextSpan word : words_of(value)) {
      Filter filter = Filter::no_tags;
      if (filter_named(value, word, filter)) element.filters.push_back(filter);
    }
  }
  if (attribute_value(node, "save-as", value)) element.save_as = {true, value};
  element.unique = !(attribute_value(node, "mode", value) && equals_ascii(value, "standard"));
  if (attribute_value(node, "var", value)) element.var = {true, first_word(value)};
  if (attribute_value(node, "from", value)) {
    Digits digits = leading_digits(value);
    element.from = digits.value;
    element.from_bad = !digits.found;
  }
  if (attribute_value(node, "max", value)) {
    Digits digits = leading_digits(value);
    element.max = digits.found ? digits.value : -1;
    element.max_bad = !digits.found;
  }
  if (attribute_value(node, "max-levels", value)) element.max_levels = leading_digits(value).value;
  element.get_pics = attribute_value(node, "get-pics", value) && equals_ascii(value, "yes");

  auto first_word_of = [](Parameter parameter) {
    if (parameter.present) parameter.text = first_word(parameter.text);
    return parameter;
  };
  element.url = first_word_of(element_parameter(node, "url"));
  element.begin = element_parameter(node, "begin");
  element.end = element_parameter(node, "end");
  element.filter = first_word_of(element_parameter(node, "filter"));
  element.tag = first_word_of(element_parameter(node, "tag"));
  element.attr = first_word_of(element_parameter(node, "attr"));
  element.restrict_to = element_parameter(node, "restrict-to");

  action_index_[static_cast<std::size_t>(node)] = static_cast<int32_t>(actions_.size());
  actions_.push_back(std::move(element));
}

const ActionElement* ExtractionTemplate::action(int32_t node) const {
  if (node < 0 || node >= static_cast<int32_t>(action_index_.size())) return nullptr;
  int32_t index = action_index_[static_cast<std::size_t>(node)];
  return index < 0 ? nullptr : &actions_[static_cast<std::size_t>(index)];
}

int32_t ExtractionTemplate::iteration_set(const ActionElement& element) {
  const int32_t first = position_of(element.node);
  const int32_t past = end_of(element.node);
  if (!element.var.present) {
    int32_t found = next_set_[static_cast<std::size_t>(first)];
    return found >= 0 && found < past ? node_at(found) : -1;
  }
  if (!sets_indexed_) {
    // Built on first use: candidate positions by element name, ascending.
    sets_indexed_ = true;
    for (int32_t position = 0; position < size(); ++position) {
      if (next_set_[static_cast<std::size_t>(position)] != position) continue;
      sets_by_name_[folded_name(parser_.get(node_at(position)).name)].push_back(position);
    }
  }
  auto named = sets_by_name_.find(folded_name(element.var.text));
  if (named == sets_by_name_.end()) return -1;
  auto found = std::lower_bound(named->second.begin(), named->second.end(), first);
  return found != named->second.end() && *found < past ? node_at(*found) : -1;
}

std::vector<int32_t> ExtractionTemplate::element_ancestors(int32_t node) const {
  std::vector<int32_t> chain;
  for (int32_t at = parser_.get(node).parent; at > 0; at = parser_.get(at).parent) {
    if (parser_.get(at).kind == node_element) chain.push_back(at);
  }
  std::reverse(chain.begin(), chain.end());
  return chain;
}

}  // namespace wayfetch::extraction
