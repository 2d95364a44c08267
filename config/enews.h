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
// Files: with D the data folder (set by the configuration when the eNews
// enters its list) and n the name, the eNews folder is D/n and the radix
// R is D/n/n; its files are R + ".enews" (description and extraction
// template), ".xsl", ".data.xml" (common data), ".data" k ".xml" (data of
// item k), ".html" and ".prc". A name is used for files only when it is
// safe (is_safe_folder_name): otherwise, or without a data folder, every
// path is empty, create_folder fails and delete_folder deletes nothing, so
// whatever a description names, nothing lies outside D/n. The time of an
// item's last download is its data file's last-write time.
//
// When an item is due for a new download is decided by its schedule texts
// (config/schedule.h) and that time: see ENewsItem::is_due.
//
// Fields without rules of their own are plain members; name, selection and
// the schedule texts go through setters, because each has a rule attached
// (and the name and texts have cached forms). Records are neither copied nor
// moved (items point at their ENews); lists hold them by unique_ptr. Not
// thread-safe, also the const operations (they fill the caches): the list is
// used only by the thread holding the application's list lock.
#ifndef WAYFETCH_CONFIG_ENEWS_H
#define WAYFETCH_CONFIG_ENEWS_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/schedule.h"
#include "core/string.h"
#include "web/timestamp.h"

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

  // The schedule texts, when new data appear and how long data stay fresh,
  // and their parsed forms.
  const String& periodicity() const { return periodicity_; }
  void set_periodicity(const String& text);
  const String& validity() const { return validity_; }
  void set_validity(const String& text);
  const Schedule& schedule() const { return schedule_; }
  const Validity& parsed_validity() const { return parsed_validity_; }

  // The ENews it belongs to (nullptr before it is attached) and its index.
  ENews* owner() const { return owner_; }
  int32_t index() const { return index_; }

  // ---- its data file ----
  // The radix, ".data", k and ".xml"; "" when the eNews has no radix.
  String data_path() const;
  bool data_exists() const { return data_time().has_value(); }
  // The data file's last-write time (UTC); nullopt when there is none.
  std::optional<Timestamp> data_time() const;

  // Whether the item is due for a new download at `now` (UTC):
  // 1. an unselected item is not due;
  // 2. one whose texts are both unusable, or without a data file, is due;
  // 3. otherwise, with t the data file's time, expiry = t + validity and
  //    next = the first scheduled time after t: it is due when both are
  //    before `now`, a value whose text is unusable counting as long past
  //    and one past the last representable time as never.
  bool is_due(Timestamp now) const;

 private:
  friend class ENews;

  std::string data_file() const;

  String name_;
  bool selected_ = false;
  String periodicity_;
  String validity_;
  Schedule schedule_;
  Validity parsed_validity_;
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

  // The identifier folder and file names are made from. Setting it forgets
  // the paths made from the old one.
  const String& name() const { return name_; }
  void set_name(const String& name);

  // ---- files ----
  // The data folder the eNews folder lies in ("" = none, no files).
  const std::string& data_folder() const { return data_folder_; }
  void set_data_folder(const std::string& folder);
  // D/n; "" when the name is not safe or there is no data folder.
  String folder() const;
  // D/n/n, and with ".enews", ".xsl", ".html", ".prc"; "" like folder().
  String radix() const;
  String enews_path() const;
  String xsl_path() const;
  String html_path() const;
  String prc_path() const;
  // Makes the eNews folder (and the data folder when missing). False
  // without a folder path or when it cannot be made.
  bool create_folder() const;
  // Removes the eNews folder with everything in it; symbolic links are
  // removed, never followed. Deletes nothing without a folder path. True
  // when nothing is left.
  bool delete_folder() const;
  // Removes everything in the eNews folder but its templates (".enews" and
  // ".xsl"): the data, pictures, page and e-book, so that everything is
  // fetched and built again. A template added from a file has no other
  // copy. Links are removed, never followed. True when only the templates
  // are left.
  bool delete_downloads() const;

  // ---- selection ----
  bool has_selected_visible_item() const;
  // Whether some item's selection differs from its selection in the last build.
  bool selection_changed() const;
  // After a successful build: each item's selected_in_build becomes
  // "selected and not failed".
  void mark_built();

  // ---- a newer description of the same eNews ----
  // Takes over from `old`, the record this one replaces, what the person
  // chose and the program learned: each item with a namesake in `old` gets
  // its selection, selected-in-build and file count; the eNews gets its
  // file count, file size and time per file.
  void keep_choices_of(const ENews& old);
  // Takes a refreshed description into this record, which stays where it
  // is (nothing pointing at it is left dangling): the title, the addresses,
  // the one-shot flag and the items of `fresh` (each keeping the choices of
  // its namesake here); the name, the data folder and the learned figures
  // stay. `fresh` is left without items.
  void update_from(ENews& fresh);

  // Attaches `item` as the last item (index = the count before) and returns it.
  ENewsItem& add_item(std::unique_ptr<ENewsItem> item);
  int32_t item_count() const { return static_cast<int32_t>(items_.size()); }
  // REQUIRES: 0 <= k < item_count().
  ENewsItem& item(int32_t k) { return *items_[static_cast<std::size_t>(k)]; }
  const ENewsItem& item(int32_t k) const { return *items_[static_cast<std::size_t>(k)]; }
  // The first item whose name equals `name` (ASCII case ignored), or nullptr.
  ENewsItem* find_item(const String& name);

 private:
  friend class ENewsItem;

  // D/n/n as UTF-8, made on first use; "" without one.
  const std::string& radix_path() const;
  String path_with(const char* suffix) const;

  String name_;
  std::string data_folder_;
  std::vector<std::unique_ptr<ENewsItem>> items_;
  // The radix made from the name and data folder; cleared when either changes.
  mutable std::string radix_;
  mutable bool radix_made_ = false;
};

using ENewsList = std::vector<std::unique_ptr<ENews>>;

// Whether two texts hold the same characters, A-Z matching a-z, whatever
// their encodings (both are compared as UTF-16).
bool same_name(const String& a, const String& b);

// Whether `name` is usable as an eNews name: only ASCII letters, digits, "_"
// and "-" (an empty name is usable: it gets one made later).
bool is_valid_enews_name(const String& name);

// Whether `name` may name files and a folder in the data folder: a valid
// eNews name that is not empty (so never ".", ".." or a path).
bool is_safe_folder_name(const String& name);

// The longest name made from a title, in bytes.
inline constexpr std::size_t max_made_name = 64;

// A name made from a title: its bytes in the system code page, ASCII
// letters, digits, "_" and "-" kept and every other byte turned into "_";
// cut to max_made_name bytes; "enews" for an empty title. Always a safe
// folder name.
String name_from_title(const String& title);

// Whether `name` is one made from `title` when the eNews was added: the
// name made from it, or its start followed by a hexadecimal number (the
// suffix that made a used name free).
bool is_name_made_from(const String& name, const String& title);

}  // namespace wayfetch

#endif
