// Writing "config.xml": an output tree built node by node and written by the
// parser's writer as UTF-16 with a byte-order mark.
//
// Every text of the tree is made UTF-16 before it goes in. The writer cleans
// "&" only in one-byte texts, so a title such as "Tom & Jerry" keeps its "&";
// and a file that mixes nothing needs no conversion on the way out.
//
// Attribute values are not escaped by the writer, and the reader ends a
// value at its first '"' or '>'. Those two characters are written as "%22"
// and "%3E": values are addresses and schedule texts, where the escape means
// the same character. A title holding "<" (only a title read from a raw-text
// element can) is written as raw text again, so it reads back unchanged;
// should it hold the end tag "</title" as well (a double-byte text whose
// broken pairs the conversion to UTF-16 splits can), its "<" are written as
// the fullwidth U+FF1C, so that the file always reads back.
//
// The file goes to a new name beside "config.xml" and is renamed over it only
// when it was written whole: a full disk or a crash half-way leaves the old
// configuration as it was.
#include <string>

#include "config/config_text.h"
#include "config/wayfetch_configuration.h"
#include "core/ascii.h"
#include "core/error_codes.h"
#include "platform/file_replacement.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

String wide(std::u16string_view units) {
  String out;
  out.set_text(reinterpret_cast<const uint8_t*>(units.data()),
               static_cast<int32_t>(units.size() * 2), TextEncoding::Unicode, -1);
  return out;
}

std::u16string ascii16(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// The value as written between double quotes.
String attribute_value(const std::u16string& units) {
  std::u16string escaped;
  escaped.reserve(units.size());
  for (char16_t c : units) {
    if (c == u'"') {
      escaped += u"%22";
    } else if (c == u'>') {
      escaped += u"%3E";
    } else {
      escaped += c;
    }
  }
  return wide(escaped);
}

std::u16string number(int64_t value) {
  return ascii16(std::to_string(value));
}

constexpr char16_t fullwidth_less_than = 0xFF1C;

// Whether `units` can stand as the raw text of a "title" element: the
// reader ends raw text at "<", blanks, "/", blanks and the name "title".
bool fits_raw_title(const std::u16string& units) {
  for (std::size_t at = units.find(u'<'); at != std::u16string::npos;
       at = units.find(u'<', at + 1)) {
    std::size_t i = at + 1;
    while (i < units.size() && ascii::is_blank(units[i])) ++i;
    if (i >= units.size() || units[i] != u'/') continue;
    ++i;
    while (i < units.size() && ascii::is_blank(units[i])) ++i;
    std::size_t start = i;
    while (i < units.size() && ascii::is_name_char(units[i])) ++i;
    std::u16string name = units.substr(start, i - start);
    for (char16_t& c : name) c = static_cast<char16_t>(ascii::fold(c));
    if (name == u"title") return false;
  }
  return true;
}

// Builds the output tree; after a failed addition every later one fails too
// and ok() stays false.
class TreeBuilder {
 public:
  explicit TreeBuilder(XmlParser& tree) : tree_(tree) {}

  bool ok() const { return ok_; }

  // A closed element, so that it is written with its end tag and holds its
  // children.
  int32_t element(int32_t parent, const char* name) {
    if (!ok_) return -1;
    int32_t index = tree_.create_element(parent, wide(ascii16(name)), -1, -1);
    if (index < 0) {
      ok_ = false;
      return -1;
    }
    tree_.node(index).closed = 1;
    return index;
  }
  void attribute(int32_t element, const char* name, const std::u16string& value) {
    if (!ok_) return;
    ok_ = tree_.create_attribute(element, wide(ascii16(name))) >= 0 &&
          tree_.set_attribute_value(element, attribute_value(value));
  }
  void attribute(int32_t element, const char* name, const String& value) {
    attribute(element, name, config_text::utf16_of(value));
  }
  void attribute(int32_t element, const char* name, const char* ascii) {
    attribute(element, name, ascii16(ascii));
  }
  void attribute_if_set(int32_t element, const char* name, const String& value) {
    if (!value.empty()) attribute(element, name, value);
  }
  void yes_no(int32_t element, const char* name, bool value) {
    attribute(element, name, value ? "yes" : "no");
  }
  // A "title" child holding `text`.
  void title(int32_t parent, const String& text) {
    int32_t title = element(parent, "title");
    std::u16string units = config_text::utf16_of(text);
    if (units.find(u'<') != std::u16string::npos) {
      if (!fits_raw_title(units)) {
        for (char16_t& unit : units) {
          if (unit == u'<') unit = fullwidth_less_than;
        }
      } else {
        attribute(title, "content", "raw-text");
      }
    }
    if (ok_ && !units.empty())
      ok_ = tree_.create_text(title, wide(std::u16string_view(units))) >= 0;
  }

 private:
  XmlParser& tree_;
  bool ok_ = true;
};

void add_enews(TreeBuilder& out, int32_t root, const ENews& enews) {
  int32_t element = out.element(root, "enews");
  out.title(element, enews.title);
  out.attribute_if_set(element, "xml-extraction", enews.xml_extraction);
  out.attribute_if_set(element, "xsl-rendering", enews.xsl_rendering);
  out.attribute_if_set(element, "xml-proxy", enews.xml_proxy);
  out.attribute_if_set(element, "name", enews.name());
  if (enews.oneshot) out.attribute(element, "oneshot", "yes");
  out.attribute(element, "file-count", number(enews.file_count));
  out.attribute(element, "time-per-file", number(enews.time_per_file));
  out.attribute(element, "file-size", number(enews.file_size));
  for (int32_t k = 0; k < enews.item_count(); ++k) {
    const ENewsItem& item = enews.item(k);
    int32_t item_element = out.element(element, "enewsitem");
    out.title(item_element, item.title);
    out.yes_no(item_element, "selected", item.selected());
    out.yes_no(item_element, "selected-in-build", item.selected_in_build);
    out.attribute_if_set(item_element, "periodicity", item.periodicity());
    out.attribute_if_set(item_element, "validity", item.validity());
    out.attribute_if_set(item_element, "name", item.name());
    out.attribute(item_element, "file-count", number(item.file_count));
  }
}

void add_settings(TreeBuilder& out, int32_t root, const GlobalSettings& settings) {
  int32_t global = out.element(root, "global");
  out.attribute(global, "web-when-pda-sync", yes_no_text(settings.web_when_pda_sync));
  out.yes_no(global, "signal-end", settings.signal_end);
  int32_t proxy = out.element(global, "proxy");
  out.attribute(proxy, "mode", proxy_mode_text(settings.proxy.mode));
  // Only a named proxy has a server and a user; the password stays in memory.
  // Empty values are left out: an empty attribute reads back the same, with
  // a warning in the log at every start.
  if (settings.proxy.mode == ProxyMode::proxy) {
    out.attribute_if_set(proxy, "username", settings.proxy.user_name);
    out.attribute_if_set(proxy, "name", settings.proxy.name);
  }
  const VersionRecord& version = settings.version;
  int32_t element = out.element(root, "version");
  out.attribute(element, "major", number(version.major));
  out.attribute(element, "minor", number(version.minor));
  out.attribute(element, "rebuild", number(version.rebuild));
  out.attribute(element, "next-test", version.next_test.format());
}

}  // namespace

const char* proxy_mode_text(ProxyMode mode) {
  switch (mode) {
    case ProxyMode::none:
      return "none";
    case ProxyMode::proxy:
      return "proxy";
    default:
      return "automatic";
  }
}

bool WayfetchConfiguration::save() {
  String path = config_path();
  if (path.empty()) return false;
  XmlParser tree;
  TreeBuilder out(tree);
  int32_t root = out.element(0, "wayfetch-config");
  for (const auto& enews : enews_) add_enews(out, root, *enews);
  add_settings(out, root, settings_);
  if (!out.ok()) return false;

  platform::FileReplacement replacement(path.to_utf8());
  if (!replacement.ready()) {
    tree.raise_error(errors::parse_file_access);
    return false;
  }
  String new_file{std::string_view(replacement.path())};
  new_file.use_system_code_page();
  // A failed write leaves the new file to the replacement, which removes it.
  if (!tree.write_file(new_file)) return false;
  if (!replacement.commit()) {
    tree.raise_error(errors::parse_file_access);
    return false;
  }
  return true;
}

}  // namespace wayfetch
