// ENews and ENewsItem: the records of the subscription list.
//
// An ENews is one subscribed periodical: a name its folder and files are made
// from, the addresses of its templates, what the update job learned about it,
// and its items (sections) in file order, each of which the user may select.
// The configuration (config/wayfetch_configuration.h) owns the list; an ENews
// owns its items, and each item knows its ENews and its index k (its position,
// from 0), set when the item is attached.
//
// Hidden items: an item whose name begins with "advert_" is not shown to the
// user and is always selected: naming it selects it, and set_selected leaves
// it alone.
//
// Fields without rules of their own are plain members; name, selection and
// the schedule texts go through setters, because each has a rule attached.
// Records are neither copied nor moved (items point at their ENews); lists
// hold them by unique_ptr. Not thread-safe: the list is changed only by the
// thread holding the application's list lock.
#ifndef WAYFETCH_CONFIG_ENEWS_H
#define WAYFETCH_CONFIG_ENEWS_H

#include <cstdint>
#include <memory>
#include <vector>

#include "core/string.h"

namespace wayfetch {

class ENews;

class ENewsItem {
 public:
  ENewsItem() = default;
  ENewsItem(const ENewsItem&) = delete;
  ENewsItem& operator=(const ENewsItem&) = delete;

  String title;
  // The item was selected, and did not fail, when the e-book was last built.
  bool selected_in_build = false;
  // The item failed in the current update run.
  bool failed = false;
  // Files it downloaded in its last successful update.
  int32_t file_count = 0;

  const String& name() const { return name_; }
  // A name beginning with "advert_" hides the item and selects it.
  void set_name(const String& name);
  // False for hidden ("advert_") items.
  bool is_visible() const;
  bool selected() const { return selected_; }
  // Ignored for hidden items, which stay selected.
  void set_selected(bool selected);

  // The schedule texts: when new data appear and how long data stay fresh.
  const String& periodicity() const { return periodicity_; }
  void set_periodicity(const String& text) { periodicity_ = text; }
  const String& validity() const { return validity_; }
  void set_validity(const String& text) { validity_ = text; }

  // The ENews it belongs to (nullptr before it is attached) and its index.
  ENews* owner() const { return owner_; }
  int32_t index() const { return index_; }

 private:
  friend class ENews;

  String name_;
  bool selected_ = false;
  String periodicity_;
  String validity_;
  ENews* owner_ = nullptr;
  int32_t index_ = -1;
};

class ENews {
 public:
  ENews() = default;
  ENews(const ENews&) = delete;
  ENews& operator=(const ENews&) = delete;

  String title;
  String xml_extraction;  // address of the extraction template
  String xsl_rendering;   // address of the rendering template
  String xml_proxy;       // kept and written back, not used otherwise
  // A one-shot eNews has no selectable items and keeps its files when the
  // user updates all eNews.
  bool oneshot = false;
  int32_t file_count = 0;     // files it downloaded itself in its last successful update
  int32_t file_size = 0;      // bytes of its last built e-book
  int32_t time_per_file = 0;  // milliseconds per downloaded file, learned
  bool failed = false;        // set by the update job for the current run

  // The identifier folder and file names are made from.
  const String& name() const { return name_; }
  void set_name(const String& name) { name_ = name; }

  // Attaches `item` as the last item (index = the count before) and returns it.
  ENewsItem& add_item(std::unique_ptr<ENewsItem> item);
  int32_t item_count() const { return static_cast<int32_t>(items_.size()); }
  // REQUIRES: 0 <= k < item_count().
  ENewsItem& item(int32_t k) { return *items_[static_cast<std::size_t>(k)]; }
  const ENewsItem& item(int32_t k) const { return *items_[static_cast<std::size_t>(k)]; }
  // The first item whose name equals `name` (ASCII case ignored), or nullptr.
  ENewsItem* find_item(const String& name);

 private:
  String name_;
  std::vector<std::unique_ptr<ENewsItem>> items_;
};

using ENewsList = std::vector<std::unique_ptr<ENews>>;

// Whether two texts hold the same characters, A-Z matching a-z, whatever
// their encodings (both are compared as UTF-16).
bool same_name(const String& a, const String& b);

// Whether `name` is usable as an eNews name: only ASCII letters, digits, "_"
// and "-" (an empty name is usable: it gets one made later).
bool is_valid_enews_name(const String& name);

}  // namespace wayfetch

#endif
