#include "config/enews.h"

#include "config/config_text.h"
#include "core/ascii.h"

#include <string>
#include <utility>

namespace wayfetch {
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

void ENewsItem::set_periodicity(const String& text) {
  periodicity_ = text;
  schedule_ = Schedule(text);
}

void ENewsItem::set_validity(const String& text) {
  validity_ = text;
  parsed_validity_ = Validity(text);
}

void ENews::set_name(const String& name) {
  name_ = name;
  radix_made_ = false;
}

void ENews::set_data_folder(const std::string& folder) {
  data_folder_ = folder;
  radix_made_ = false;
}

bool ENews::has_selected_visible_item() const {
  for (const auto& item : items_) {
    if (item->is_visible() && item->selected()) return true;
  }
  return false;
}

bool ENews::selection_changed() const {
  for (const auto& item : items_) {
    if (item->selected() != item->selected_in_build) return true;
  }
  return false;
}

void ENews::mark_built() {
  for (auto& item : items_) item->selected_in_build = item->selected() && !item->failed;
}

ENewsItem& ENews::add_item(std::unique_ptr<ENewsItem> item) {
  item->owner_ = this;
  item->index_ = item_count();
  items_.push_back(std::move(item));
  return *items_.back();
}

void ENews::keep_choices_of(const ENews& old) {
  for (auto& item : items_) {
    for (const auto& namesake : old.items_) {
      if (!same_name(item->name(), namesake->name())) continue;
      item->set_selected(namesake->selected());
      item->selected_in_build = namesake->selected_in_build;
      item->file_count = namesake->file_count;
      break;
    }
  }
  file_count = old.file_count;
  file_size = old.file_size;
  time_per_file = old.time_per_file;
}

void ENews::update_from(ENews& fresh) {
  fresh.keep_choices_of(*this);
  title = std::move(fresh.title);
  xml_extraction = std::move(fresh.xml_extraction);
  xsl_rendering = std::move(fresh.xsl_rendering);
  xml_proxy = std::move(fresh.xml_proxy);
  oneshot = fresh.oneshot;
  items_ = std::move(fresh.items_);
  fresh.items_.clear();
  for (std::size_t k = 0; k < items_.size(); ++k) {
    items_[k]->owner_ = this;
    items_[k]->index_ = static_cast<int32_t>(k);
  }
}

ENewsItem* ENews::find_item(const String& name) {
  for (auto& item : items_) {
    if (same_name(item->name(), name)) return item.get();
  }
  return nullptr;
}

bool same_name(const String& a, const String& b) {
  if (a.encoding() == b.encoding() && a.code_page() == b.code_page()) {
    return a.compare(b, false, false) == 0;
  }
  // Item names of a description and of the saved configuration may come in
  // different encodings (UTF-8 and UTF-16); byte comparison would miss that.
  return config_text::folded_utf16_of(a) == config_text::folded_utf16_of(b);
}

bool is_safe_folder_name(const String& name) {
  return !name.empty() && is_valid_enews_name(name);
}

bool is_valid_enews_name(const String& name) {
  CharReader reader = CharReader::window_of(name);
  while (!reader.at_end()) {
    uint16_t c = reader.next();
    bool allowed = ascii::is_letter(c) || ascii::is_digit(c) || c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

}  // namespace wayfetch
