#include "ebook/ebook_package.h"

#include "core/ascii.h"
#include "core/file.h"
#include "core/string_table.h"
#include "ebook/byte_source.h"
#include "ebook/local_link.h"
#include "ebook/tag_reader.h"
#include "ebook/windows_1252.h"
#include "platform/date_format.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

std::string cut(std::string_view text, std::size_t limit) {
  return std::string(text.substr(0, limit));
}

// The character set a "meta" tag declares, or "". Only the declaration
// counts: a description that mentions "rugby" declares no GB text.
std::string declared_charset(const HtmlTag& tag) {
  if (const std::string* charset = tag.attribute("CHARSET")) return *charset;
  const std::string* content = tag.attribute("CONTENT");
  if (content == nullptr) return {};
  const std::size_t at = ascii::find_ignoring_case(*content, "charset");
  if (at == std::string::npos) return {};
  std::string_view rest = std::string_view(*content).substr(at + 7);
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '=')) rest.remove_prefix(1);
  return std::string(rest.substr(0, rest.find_first_of(" ;,\"'")));
}

// Calls `take` with the character set of each declaration before the body
// of the page at `path` ("meta" tags, the XML declaration's encoding), in
// order, until it returns true. Files that cannot be read declare none.
template <typename Take>
void scan_declarations(const std::string& path, Take take) {
  if (!platform::is_regular_file(path)) return;
  File file;
  if (!file.open(path, File::read_existing)) return;
  // A read error ends the search as the end of the file does: the page's
  // conversion reads the same file and reports it.
  FileByteSource source(file);
  TagReader reader(source);
  HtmlTag tag;
  for (int c = reader.get(); c >= 0; c = reader.get()) {
    if (c != '<') continue;
    const TagReader::Result result = reader.read_tag(tag);
    if (result == TagReader::Result::end) break;
    if (result == TagReader::Result::comment) {
      reader.read_comment([](char) {});
      continue;
    }
    if (ascii::equals_ignoring_case(tag.name, "body")) break;
    std::string charset;
    if (ascii::equals_ignoring_case(tag.name, "meta")) {
      charset = declared_charset(tag);
    } else if (ascii::equals_ignoring_case(tag.name, "?xml")) {
      if (const std::string* encoding = tag.attribute("ENCODING")) charset = *encoding;
    }
    if (!charset.empty() && take(charset)) return;
  }
}

// The charset code of one content file, 0 when it declares none.
int32_t charset_of_file(const std::string& path) {
  int32_t code = EbookPackage::charset_none;
  scan_declarations(path, [&code](const std::string& charset) {
    if (ascii::find_ignoring_case(charset, "big5") != std::string::npos) {
      code = EbookPackage::charset_big5;
    } else if (ascii::find_ignoring_case(charset, "gb") != std::string::npos) {
      code = EbookPackage::charset_gb;
    }
    return code != EbookPackage::charset_none;
  });
  return code;
}

bool starts_with_utf8_mark_file(const std::string& path) {
  if (!platform::is_regular_file(path)) return false;
  File file;
  char start[3] = {};
  return file.open(path, File::read_existing) && file.read(start, 3) == 3 &&
         starts_with_utf8_mark(std::string_view(start, 3));
}

}  // namespace

EbookPackage EbookPackage::from_page(const std::string& page_path, std::string_view title,
                                     std::optional<int32_t> code_page) {
  EbookPackage package;
  package.package_path_ = page_path + ".opf";
  package.code_page_ = code_page.value_or(declared_code_page(page_path));
  package.add_manifest_item("ContentFile1", page_path, "text/html");
  package.add_spine_entry("ContentFile1");

  std::string date;
  platform::format_date("", platform::today(), date);
  package.add_metadata("dc:Date", date);
  std::string_view name = title;
  if (name.empty()) {
    name = file_name_of(page_path);
    name = name.substr(0, name.find('.'));
  }
  package.add_metadata("dc:Title", name);

  package.add_guide_reference("toc", strings::text(strings::table_of_contents), page_path + "#toc");
  package.link_spine();
  return package;
}

int32_t EbookPackage::detect_charset() const {
  for (const SpineEntry& entry : spine_) {
    if (entry.state != EntryState::in_use || entry.item < 0) continue;
    const int32_t charset =
        charset_of_file(content_path(manifest_[static_cast<std::size_t>(entry.item)]));
    if (charset != charset_none) return charset;
  }
  return charset_none;
}

int32_t EbookPackage::declared_code_page(const std::string& page_path) {
  if (starts_with_utf8_mark_file(page_path)) return utf8_code_page;
  int32_t code_page = 0;
  // The first declaration decides: a page that says "windows-1252" first is
  // not taken for UTF-8 because a later tag says otherwise.
  scan_declarations(page_path, [&code_page](const std::string& charset) {
    if (ascii::equals_ignoring_case(charset, "utf-8") ||
        ascii::equals_ignoring_case(charset, "utf8")) {
      code_page = utf8_code_page;
    }
    return true;
  });
  return code_page;
}

bool EbookPackage::add_metadata(std::string_view name, std::string_view value) {
  if (static_cast<int32_t>(metadata_.size()) >= max_metadata) return false;
  metadata_.push_back({cut(name, max_name), cut(value, max_value), EntryState::in_use});
  return true;
}

bool EbookPackage::add_manifest_item(std::string_view id, std::string_view href,
                                     std::string_view media_type) {
  if (static_cast<int32_t>(manifest_.size()) >= max_manifest) return false;
  manifest_.push_back(
      {cut(id, max_name), cut(href, max_href), cut(media_type, max_name), EntryState::in_use});
  return true;
}

bool EbookPackage::add_spine_entry(std::string_view id) {
  const std::string kept = cut(id, max_name);
  for (const SpineEntry& entry : spine_) {
    if (ascii::equals_ignoring_case(entry.id, kept)) return true;
  }
  if (static_cast<int32_t>(spine_.size()) >= max_spine) return false;
  spine_.push_back({kept, EntryState::in_use, -1});
  return true;
}

bool EbookPackage::add_guide_reference(std::string_view type, std::string_view title,
                                       std::string_view href) {
  if (static_cast<int32_t>(guide_.size()) >= max_guide) return false;
  guide_.push_back(
      {cut(type, max_name), cut(title, max_name), cut(href, max_href), EntryState::in_use});
  return true;
}

void EbookPackage::link_spine() {
  for (SpineEntry& entry : spine_) entry.item = manifest_index(entry.id);
}

const std::string* EbookPackage::metadata_value(std::string_view name) const {
  for (const MetadataEntry& entry : metadata_) {
    if (entry.state == EntryState::in_use && ascii::equals_ignoring_case(entry.name, name)) {
      return &entry.value;
    }
  }
  return nullptr;
}

int32_t EbookPackage::manifest_index(std::string_view id) const {
  for (std::size_t i = 0; i < manifest_.size(); ++i) {
    if (manifest_[i].state == EntryState::in_use &&
        ascii::equals_ignoring_case(manifest_[i].id, id)) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

std::string EbookPackage::content_path(const ManifestItem& item) const {
  return join_path(package_folder(), item.href);
}

std::string EbookPackage::package_folder() const {
  return folder_of(package_path_);
}

}  // namespace wayfetch
