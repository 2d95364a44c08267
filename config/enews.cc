#include "config/enews.h"

#include <string>
#include <utility>

namespace wayfetch {
namespace {

char16_t fold(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

}  // namespace

void ENewsItem::set_name(const String& name) {
  name_ = name;
  if (!is_visible()) selected_ = true;
}

bool ENewsItem::is_visible() const {
  return !name_.starts_with("advert_");
}

void ENewsItem::set_selected(bool selected) {
  if (is_visible()) selected_ = selected;
}

ENewsItem& ENews::add_item(std::unique_ptr<ENewsItem> item) {
  item->owner_ = this;
  item->index_ = item_count();
  items_.push_back(std::move(item));
  return *items_.back();
}

ENewsItem* ENews::find_item(const String& name) {
  for (auto& item : items_) {
    if (same_name(item->name(), name)) return item.get();
  }
  return nullptr;
}

bool same_name(const String& a, const String& b) {
  // Item names of a description and of the saved configuration may come in
  // different encodings (UTF-8 and UTF-16); byte comparison would miss that.
  std::u16string left = a.window_utf16();
  std::u16string right = b.window_utf16();
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (fold(left[i]) != fold(right[i])) return false;
  }
  return true;
}

bool is_valid_enews_name(const String& name) {
  CharReader reader = CharReader::window_of(name);
  while (!reader.at_end()) {
    uint16_t c = reader.next();
    bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

}  // namespace wayfetch
