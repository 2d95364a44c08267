// EbookPackage: what an e-book is made of, in the manner of an Open eBook
// package: metadata (title, date), a manifest of content files, the spine
// that orders them, and a guide of references.
//
// The tables have fixed capacities (49 metadata entries, 499 manifest items,
// 499 spine entries, 99 guide references); an add beyond them returns false
// and changes nothing. Names are cut to 255 bytes, metadata values to 1023,
// hrefs to 4095 (a Linux path). Lookups compare names and ids without
// regard to case. The reading tours of the package format are not used.
//
// Hrefs of content files are paths, relative to the package's folder or
// absolute. A package is a plain value; not thread-safe.
#ifndef WAYFETCH_EBOOK_EBOOK_PACKAGE_H
#define WAYFETCH_EBOOK_EBOOK_PACKAGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wayfetch {

enum class EntryState : int32_t { removed = -1, in_use = 2 };

struct MetadataEntry {
  std::string name;  // "dc:Title", "dc:Date", ...
  std::string value;
  EntryState state = EntryState::in_use;
};

struct ManifestItem {
  std::string id;
  std::string href;
  std::string media_type;
  EntryState state = EntryState::in_use;
};

struct SpineEntry {
  std::string id;  // of a manifest item
  EntryState state = EntryState::in_use;
  int32_t item = -1;  // index of that item in the manifest; -1 until linked
};

struct GuideReference {
  std::string type;
  std::string title;
  std::string href;
  EntryState state = EntryState::in_use;
};

class EbookPackage {
 public:
  static constexpr int32_t max_metadata = 49;
  static constexpr int32_t max_manifest = 499;
  static constexpr int32_t max_spine = 499;
  static constexpr int32_t max_guide = 99;
  static constexpr std::size_t max_name = 255;
  static constexpr std::size_t max_value = 1023;
  static constexpr std::size_t max_href = 4095;

  // detect_charset() results.
  static constexpr int32_t charset_none = 0;
  static constexpr int32_t charset_big5 = 200;
  static constexpr int32_t charset_gb = 201;

  // The code page of UTF-8 text.
  static constexpr int32_t utf8_code_page = 65001;

  // The package of one page: manifest item "ContentFile1" (the page,
  // "text/html") in the spine; metadata "dc:Date" (today in the user's
  // short date format) and "dc:Title" (`title`, or when empty the page's
  // file name up to its first dot); a guide reference "toc" to the page's
  // anchor "toc". `code_page` is the code page of the page's text (a
  // rendered page has its template's); when not given, the page's own
  // declaration decides (declared_code_page).
  static EbookPackage from_page(const std::string& page_path, std::string_view title,
                                std::optional<int32_t> code_page = std::nullopt);

  // 65001 when the page at `page_path` is UTF-8 by its byte-order mark or by
  // the first character set it declares before its body ("meta" charset or
  // content, the XML declaration's encoding); else 0 (unknown or another
  // code page: its bytes are written as they stand).
  static int32_t declared_code_page(const std::string& page_path);

  // Big5 (200) or GB (201) when a content file declares such a character set
  // before its body ("<meta ... content="text/html; charset=big5">" or
  // "<meta charset=gb2312>"; the first declaration decides), else 0. Files
  // that cannot be read count as declaring none.
  int32_t detect_charset() const;

  // The code page of the content files' text: 65001 (UTF-8) has the
  // publisher write it as Windows-1252 with character references; any other
  // value leaves the bytes as they stand.
  int32_t code_page() const { return code_page_; }
  void set_code_page(int32_t code_page) { code_page_ = code_page; }

  bool add_metadata(std::string_view name, std::string_view value);
  bool add_manifest_item(std::string_view id, std::string_view href, std::string_view media_type);
  // A second entry with an id already in the spine is ignored (true).
  bool add_spine_entry(std::string_view id);
  bool add_guide_reference(std::string_view type, std::string_view title, std::string_view href);
  // Links each spine entry to the manifest item with its id.
  void link_spine();

  // The value of the metadata entry in use with this name, or nullptr.
  const std::string* metadata_value(std::string_view name) const;
  // The index of the manifest item with this id, or -1.
  int32_t manifest_index(std::string_view id) const;
  // The path of a content file: its href taken from the package's folder.
  std::string content_path(const ManifestItem& item) const;

  const std::vector<MetadataEntry>& metadata() const { return metadata_; }
  const std::vector<ManifestItem>& manifest() const { return manifest_; }
  const std::vector<SpineEntry>& spine() const { return spine_; }
  const std::vector<GuideReference>& guide() const { return guide_; }
  // The content path followed by ".opf"; its folder is the package's folder.
  const std::string& package_path() const { return package_path_; }
  std::string package_folder() const;

 private:
  std::vector<MetadataEntry> metadata_;
  std::vector<ManifestItem> manifest_;
  std::vector<SpineEntry> spine_;
  std::vector<GuideReference> guide_;
  std::string package_path_;
  int32_t code_page_ = 0;
};

}  // namespace wayfetch

#endif
