// Site downloads (`download-site`): registering the start address, and the
// site-page step that numbers a downloaded page's links and pictures,
// schedules the new ones and fills the page's `page` element.
//
// Local names: every (address, anchor) pair gets a number from the
// engine's UrlRegistry; a link becomes "#anchor" + the number in upper-case
// hexadecimal ("#anchorFFFFFFFF" when it leads nowhere: not registered, out
// of `restrict-to`, too deep, refused), an `a name` becomes "anchor" + the
// number of (this page, name), a picture "img" + its number + "." + the
// extension of its address's last path segment.
//
// Bounds: each address is fetched once; the registry holds a bounded number
// of pairs; the Extractor's per-run download limit refuses the rest (those
// addresses then lead nowhere); only http and https are registered from web
// pages (and file addresses only from the disk); the `page` elements and
// their texts count against the data documents' budgets. The page is
// parsed once and rewritten in one pass, so the step is linear in the page.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/ascii.h"
#include "core/error_codes.h"
#include "extraction/extraction_engine.h"
#include "extraction/safe_name.h"
#include "extraction/words.h"
#include "web/url.h"

namespace wayfetch {

using extraction::UrlRegistry;

namespace {

// "anchor" + the number in upper-case hexadecimal, no leading zeros.
std::string anchor_name(uint32_t number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%X", number);
  return std::string("anchor") + digits;
}

// The extension of a picture's address: what follows the last "." of the
// last segment of its path, kept when it is 1-8 ASCII letters or digits.
std::string picture_extension(const String& absolute) {
  UrlParts parts;
  if (!split(absolute, parts)) return std::string();
  const std::string path = parts.path.to_utf8();
  const std::size_t slash = path.rfind('/');
  const std::string segment = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = segment.rfind('.');
  if (dot == std::string::npos) return std::string();
  const std::string extension = segment.substr(dot + 1);
  if (extension.empty() || extension.size() > 8) return std::string();
  for (char c : extension) {
    if (!ascii::is_letter(static_cast<uint8_t>(c)) && !ascii::is_digit(static_cast<uint8_t>(c))) {
      return std::string();
    }
  }
  return extension;
}

// An ASCII text as bytes of `like`'s encoding.
std::string in_encoding_of(const std::string& ascii, const String& like) {
  if (like.encoding() != TextEncoding::Unicode) return ascii;
  String text{std::string_view(ascii)};
  text.silent = true;
  text.convert(like.encoding(), like.code_page());
  text.select_all();
  return std::string(text.window_bytes());
}

// One rewrite of the page: the bytes [start, end) become `bytes`.
struct Edit {
  int32_t start = 0;
  int32_t end = 0;
  std::string bytes;
};

// The page as the parser read it, with the character reads the ranges need.
class PageSource {
 public:
  explicit PageSource(const TextScanner& text) : text_(text) {}

  // Offsets are the parser's: bytes from the start of the text.
  int32_t length() const { return text_.length(); }

  // Where the content of `element` starts: after the ">" that ends its
  // start tag (found after its name and its last attribute value, as the
  // parser ends values before a ">"); -1 when the tag never ends.
  int32_t content_start(const XmlParser& parser, int32_t element) const {
    const XmlNode& node = parser.get(element);
    const int32_t width = text_.encoding() == TextEncoding::Unicode ? 2 : 1;
    int32_t from = node.source_start + width + static_cast<int32_t>(node.name.window_length());
    for (int32_t child : node.children) {
      const XmlNode& attribute = parser.get(child);
      if (attribute.kind == node_attribute) from = std::max(from, attribute.source_end);
    }
    CharReader reader = reader_at(from, length());
    while (!reader.at_end()) {
      if (reader.next() == '>') return reader.position;
    }
    return -1;
  }

  // Where the content of `element` (named `name`) ends: at the last
  // "</" + name between its content's start and the end the parser
  // recorded for it; without one, at that end (an end tag of an enclosing
  // element closed it), or at the end of the page when nothing closed it.
  int32_t content_end(const XmlParser& parser, int32_t element, int32_t start,
                      std::string_view name) const {
    const XmlNode& node = parser.get(element);
    const int32_t limit = node.source_end > start ? std::min(node.source_end, length()) : length();
    int32_t last = -1;
    CharReader reader = reader_at(start, limit);
    while (!reader.at_end()) {
      const int32_t at = reader.position;
      if (reader.next() != '<') continue;
      CharReader tag = reader;
      bool matches = tag.next() == '/';
      for (std::size_t i = 0; matches && i < name.size(); ++i) {
        matches = ascii::fold(tag.next()) == static_cast<uint32_t>(name[i]);
      }
      if (matches) last = at;
    }
    return last >= 0 ? last : limit;
  }

 private:
  CharReader reader_at(int32_t from, int32_t to) const {
    CharReader reader = CharReader::window_of(text_);
    reader.position = std::clamp(from, 0, length());
    reader.end = std::clamp(to, 0, length());
    return reader;
  }

  const TextScanner& text_;
};

// `offset` of the page before the edits, as an offset of the edited page.
// An offset inside an edited range lands at the end of its replacement.
int32_t edited_offset(const std::vector<Edit>& edits, int32_t offset) {
  int64_t moved = 0;
  for (const Edit& edit : edits) {
    if (edit.start >= offset) break;
    if (edit.end > offset) return static_cast<int32_t>(edit.start + moved + edit.bytes.size());
    moved += static_cast<int64_t>(edit.bytes.size()) - (edit.end - edit.start);
  }
  return static_cast<int32_t>(offset + moved);
}

}  // namespace

bool ExtractionEngine::site_registrable(const String& absolute) const {
  UrlParts parts;
  if (!split(absolute, parts)) return false;
  if (parts.scheme == UrlScheme::http || parts.scheme == UrlScheme::https) return true;
  return parts.scheme == UrlScheme::file && may_fetch(absolute, true);
}

bool ExtractionEngine::site_address(const String& link, String& absolute, String& anchor) const {
  const String address = extraction::trimmed(link);
  anchor.clear();
  anchor_of(address, anchor);
  return absolute_address(address, absolute) && site_registrable(absolute);
}

uint32_t ExtractionEngine::site_register(const SiteContext& site, const String& absolute,
                                         const String& anchor, bool picture, int32_t depth,
                                         std::string* picture_name) {
  if (picture_name != nullptr) picture_name->clear();
  const std::string key = absolute.to_utf8();
  // A page met for the first time is taken only while levels are left, and
  // only with a `page` element to fill.
  const bool may_add = picture || (depth > 0 && site.element >= 0);
  UrlRegistry::Lookup found = registry_.number(key, anchor.to_utf8(), may_add);
  if (found.number == UrlRegistry::none) return UrlRegistry::none;
  UrlRegistry::Entry& entry = *found.entry;
  if (found.new_address) {
    entry.picture = picture;
    DownloadRequest request;
    request.address = absolute;
    request.action_node = site.action_node;
    int32_t page = -1;
    if (picture) {
      std::string name = "img" + anchor_name(found.number).substr(6);
      const std::string extension = picture_extension(absolute);
      if (!extension.empty()) name += "." + extension;
      request.kind = DownloadKind::get;
      request.file_name = extraction::safe_file_name(String(name.c_str()), enews_name_);
      entry.file_name = std::string(request.file_name.window_bytes());
    } else {
      page = documents_.add_element(walk_.out.record, site.element, template_text("page"), -1);
      if (page < 0 && documents_.budget_spent()) stop(site.line);
      request.kind = DownloadKind::site_page;
      request.depth = depth - 1;
      request.output_node = page;
    }
    if ((!picture && page < 0) || !hand_to_sink(request, site.line)) {
      // Not fetched, now or later: links to it lead nowhere.
      entry.refused = true;
      if (page >= 0) documents_.remove(walk_.out.record, page);
    }
  }
  if (entry.refused) return UrlRegistry::none;
  if (picture_name != nullptr && entry.picture) *picture_name = entry.file_name;
  return found.number;
}

void ExtractionEngine::run_download_site(ListRun& list) {
  DownloadRequest request;
  if (!request_address(list, DownloadKind::site_page, request)) return;
  const int32_t output = output_element(list);
  if (output < 0) return;
  if (!site_registrable(request.address)) {
    error_at(errors::extract_bad_address, list.element->line);
    return;
  }
  const SiteContext site{list.element->node, list.element->line, output};
  site_register(site, request.address, request.anchor, false, list.element->max_levels, nullptr);
}

void ExtractionEngine::continue_site_page(const DownloadRequest& task, const String& page,
                                          const String& page_address) {
  if (stopped_ || !task_live(task.ticket)) return;
  const extraction::ActionElement* element = template_.action(task.action_node);
  XmlParser* document = documents_.document(task.record);
  if (element == nullptr || document == nullptr || !document->valid(task.output_node)) return;
  const int32_t page_element = task.output_node;
  walk_ = Walk();
  walk_.address = page_address;
  walk_.web_page = extraction::is_web_address(page_address);
  walk_.out = {task.record, page_element};
  walk_.work = page.window_length();
  if (!page_work_left(element->line)) return;
  const SiteContext site{task.action_node, element->line, document->get(page_element).parent};
  // The page's own links name it by the address it was asked for, also when
  // a base or a redirection gave it another.
  const std::string own_key = task.address.to_utf8();
  const std::string page_key = page_address.to_utf8();
  const std::string restrict_to =
      element->restrict_to.present ? element->restrict_to.text.to_utf8() : std::string();

  TextScanner text;
  text.set_text(page.window_bytes(), page.encoding(), page.code_page());
  text.set_context(page.context());
  text.select_all();
  XmlParser parser;
  parser.silent = true;
  parser.set_mode(ParseMode::xml);
  parser.parse(text);
  text.select_all();

  std::vector<Edit> edits;
  int32_t title = -1;
  int32_t body = -1;
  String absolute;
  String anchor;
  for (int32_t i = 1; i < parser.node_count() && !stopped_; ++i) {
    const XmlNode& node = parser.get(i);
    if (node.kind == node_element) {
      if (title < 0 && extraction::equals_ascii(node.name, "title")) title = i;
      if (body < 0 && extraction::equals_ascii(node.name, "body")) body = i;
      continue;
    }
    if (node.kind != node_attribute || node.source_start < 0 || node.source_end < node.source_start ||
        (!edits.empty() && node.source_start < edits.back().end)) {
      continue;
    }
    const String& owner = parser.get(node.parent).name;
    std::string replacement;
    if (extraction::equals_ascii(owner, "img") && extraction::equals_ascii(node.attr_name, "src")) {
      if (!element->get_pics || extraction::trimmed(node.name).empty() ||
          !site_address(node.name, absolute, anchor)) {
        continue;  // keeps its value
      }
      std::string name;
      site_register(site, absolute, anchor, true, 0, &name);
      if (name.empty()) continue;
      replacement = name;
    } else if (extraction::equals_ascii(owner, "a") &&
               extraction::equals_ascii(node.attr_name, "href")) {
      uint32_t number = UrlRegistry::none;
      if (site_address(node.name, absolute, anchor)) {
        if (absolute.to_utf8() == page_key) absolute = task.address;
        if (restrict_to.empty() || ascii::starts_with_ignoring_case(absolute.to_utf8(), restrict_to)) {
          number = site_register(site, absolute, anchor, false, task.depth, nullptr);
        }
      }
      // Appended rather than "#" + name: GCC 12 at -O3 warns falsely
      // (-Wrestrict) about the operator+ that inserts at the front.
      replacement = "#";
      replacement += anchor_name(number);
    } else if (extraction::equals_ascii(owner, "a") &&
               extraction::equals_ascii(node.attr_name, "name")) {
      replacement = anchor_name(registry_.number(own_key, node.name.to_utf8(), false).number);
    } else {
      continue;
    }
    edits.push_back({node.source_start, node.source_end, in_encoding_of(replacement, page)});
  }
  if (stopped_) return;

  // The page after every edit, built in one pass.
  const std::string_view source(reinterpret_cast<const char*>(text.data()),
                                static_cast<std::size_t>(text.length()));
  std::string edited;
  edited.reserve(source.size());
  int32_t copied = 0;
  for (const Edit& edit : edits) {
    edited.append(source.substr(static_cast<std::size_t>(copied),
                                static_cast<std::size_t>(edit.start - copied)));
    edited += edit.bytes;
    copied = edit.end;
  }
  edited.append(source.substr(static_cast<std::size_t>(copied)));

  // The title and the body, in the order the page has them.
  const PageSource ranges(text);
  struct Part {
    int32_t node;
    const char* name;
  };
  std::vector<Part> parts;
  if (title >= 0) parts.push_back({title, "title"});
  if (body >= 0) parts.push_back({body, "body"});
  if (parts.size() == 2 && body < title) std::swap(parts[0], parts[1]);
  for (const Part& part : parts) {
    const int32_t start = ranges.content_start(parser, part.node);
    if (start < 0) continue;
    const int32_t end = ranges.content_end(parser, part.node, start, part.name);
    const int32_t from = edited_offset(edits, start);
    const int32_t to = std::max(from, edited_offset(edits, end));
    String content;
    content.set_text(std::string_view(edited).substr(static_cast<std::size_t>(from),
                                                     static_cast<std::size_t>(to - from)),
                     page.encoding(), page.code_page());
    content.set_context(page.context());
    const int32_t holder =
        documents_.add_element(task.record, page_element, template_text(part.name), -1);
    if (holder < 0 ||
        !documents_.add_attribute(task.record, holder, template_text("content"),
                                  template_text("raw-text")) ||
        documents_.add_text(task.record, holder, in_template_encoding(std::move(content))) < 0) {
      if (documents_.budget_spent()) stop(element->line);
      return;
    }
  }
  const uint32_t own = registry_.number(own_key, std::string(), false).number;
  const int32_t holder =
      documents_.add_element(task.record, page_element, template_text("anchor"), -1);
  if (holder < 0 ||
      documents_.add_text(task.record, holder, template_text(anchor_name(own).c_str())) < 0) {
    if (documents_.budget_spent()) stop(element->line);
    return;
  }
  documents_.record(task.record).has_content = true;
}

}  // namespace wayfetch
