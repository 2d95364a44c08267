// Reading a configuration or an eNews description into records.
//
// The document is parsed in the extraction-template mode (a description
// carries its extraction template in the same file) and walked by index.
// Names of elements and attributes compare without regard to ASCII case;
// anything unknown is passed over. Numbers are read strictly: a value that is
// not a plain decimal count within 32 bits keeps the field's default instead
// of wrapping into a negative or wrong count.
#include <cstdint>
#include <memory>
#include <utility>

#include "config/config_text.h"
#include "config/wayfetch_configuration.h"
#include "core/ascii.h"
#include "core/error_codes.h"
#include "core/text_scanner.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

using config_text::is_name;

// A copy of `value` with every blank turned into "_".
String underscored(const String& value) {
  String out = value;
  if (out.empty()) return out;
  uint8_t* data = out.mutable_data();
  CharReader reader{data, 0, out.length(), out.encoding(), out.code_page()};
  while (!reader.at_end()) {
    int32_t at = reader.position;
    if (!ascii::is_blank(reader.next())) continue;
    data[at] = '_';
    if (out.encoding() == TextEncoding::Unicode) data[at + 1] = 0;
  }
  return out;
}

// A decimal count 0 .. 2^31-1, blanks around it allowed; anything else
// (a sign, other characters, more than 31 bits) gives `fallback`.
int32_t read_count(const String& value, int32_t fallback) {
  uint32_t number = 0;
  if (!config_text::read_number(value, number) || number > INT32_MAX) return fallback;
  return static_cast<int32_t>(number);
}

// A version number, 0 .. 2^32-1: "rebuild" 4294967295 stands for every
// rebuild of a major.minor.
uint32_t read_version_number(const String& value, uint32_t fallback) {
  uint32_t number = fallback;
  return config_text::read_number(value, number) ? number : fallback;
}

bool is_yes(const String& value) {
  return is_name(value, "yes");
}

// Walks the nodes of one document by index.
class DocumentReader {
 public:
  explicit DocumentReader(const XmlParser& tree) : tree_(tree) {}

  // The "wayfetch-config" element at the top level or directly inside one
  // top-level element; -1 when there is none.
  int32_t find_configuration() const {
    for (int32_t top : tree_.get(0).children) {
      if (is_element(top, "wayfetch-config")) return top;
    }
    for (int32_t top : tree_.get(0).children) {
      if (!is_element(top, nullptr)) continue;
      for (int32_t inner : tree_.get(top).children) {
        if (is_element(inner, "wayfetch-config")) return inner;
      }
    }
    return -1;
  }

  // Fills the records from the configuration element's children.
  void read(int32_t configuration, ENewsList& out, GlobalSettings* settings) const {
    bool version_read = false;
    for (int32_t child : tree_.get(configuration).children) {
      if (is_element(child, "enews")) {
        out.push_back(read_enews(child));
      } else if (settings != nullptr && is_element(child, "global")) {
        read_global(child, *settings);
      } else if (settings != nullptr && !version_read && is_element(child, "version")) {
        read_version(child, settings->version);
        version_read = true;
      }
    }
  }

 private:
  // An element, with the given name when `name` is not nullptr.
  bool is_element(int32_t i, const char* name) const {
    const XmlNode& node = tree_.get(i);
    return node.kind == node_element && (name == nullptr || is_name(node.name, name));
  }

  // The text of an element: its first text child. Attributes (which the
  // parser lists first among the children), comments and nested elements
  // are not the title a person wrote.
  String text_of(int32_t element) const {
    for (int32_t child : tree_.get(element).children) {
      if (tree_.get(child).kind == node_text) return tree_.get(child).name;
    }
    return String();
  }

  std::unique_ptr<ENews> read_enews(int32_t element) const {
    auto enews = std::make_unique<ENews>();
    String periodicity;
    String validity("1 hour");
    for (int32_t child : tree_.get(element).children) {
      const XmlNode& node = tree_.get(child);
      if (node.kind == node_element) {
        if (is_name(node.name, "title")) enews->title = text_of(child);
        if (is_name(node.name, "enewsitem")) enews->add_item(read_item(child));
        continue;
      }
      if (node.kind != node_attribute) continue;
      const String& name = node.attr_name;
      const String& value = node.name;
      if (is_name(name, "name")) {
        enews->set_name(underscored(value));
      } else if (is_name(name, "xml-extraction")) {
        enews->xml_extraction = value;
      } else if (is_name(name, "xsl-rendering")) {
        enews->xsl_rendering = value;
      } else if (is_name(name, "xml-proxy")) {
        enews->xml_proxy = value;
      } else if (is_name(name, "periodicity")) {
        periodicity = value;
      } else if (is_name(name, "validity")) {
        // The eNews's texts are saved only through its items, so an empty
        // one must mean "not given": else items read with no validity would
        // come back from a save with the default "1 hour".
        if (!value.empty()) validity = value;
      } else if (is_name(name, "oneshot")) {
        enews->oneshot = is_yes(value);
      } else if (is_name(name, "file-count")) {
        enews->file_count = read_count(value, 0);
      } else if (is_name(name, "time-per-file")) {
        enews->time_per_file = read_count(value, 0);
      } else if (is_name(name, "file-size")) {
        enews->file_size = read_count(value, 0);
      }
    }
    // The eNews's schedule texts are defaults for its items.
    for (int32_t k = 0; k < enews->item_count(); ++k) {
      ENewsItem& item = enews->item(k);
      if (!periodicity.empty() && item.periodicity().empty()) item.set_periodicity(periodicity);
      if (!validity.empty() && item.validity().empty()) item.set_validity(validity);
    }
    return enews;
  }

  std::unique_ptr<ENewsItem> read_item(int32_t element) const {
    auto item = std::make_unique<ENewsItem>();
    for (int32_t child : tree_.get(element).children) {
      const XmlNode& node = tree_.get(child);
      if (node.kind == node_element && is_name(node.name, "title")) item->title = text_of(child);
      if (node.kind != node_attribute) continue;
      const String& name = node.attr_name;
      const String& value = node.name;
      if (is_name(name, "name")) {
        item->set_name(underscored(value));
      } else if (is_name(name, "selected")) {
        item->set_selected(is_yes(value));
      } else if (is_name(name, "selected-in-build")) {
        item->selected_in_build = is_yes(value);
      } else if (is_name(name, "periodicity")) {
        item->set_periodicity(value);
      } else if (is_name(name, "validity")) {
        item->set_validity(value);
      } else if (is_name(name, "file-count")) {
        item->file_count = read_count(value, 0);
      }
    }
    return item;
  }

  void read_global(int32_t element, GlobalSettings& settings) const {
    for (int32_t child : tree_.get(element).children) {
      const XmlNode& node = tree_.get(child);
      if (node.kind == node_element && is_name(node.name, "proxy")) {
        settings.proxy = read_proxy(child);
      } else if (node.kind == node_attribute && is_name(node.attr_name, "web-when-pda-sync")) {
        settings.web_when_pda_sync = parse_yes_no(node.name);
      } else if (node.kind == node_attribute && is_name(node.attr_name, "signal-end")) {
        settings.signal_end = is_yes(node.name);
      }
    }
  }

  ProxySettings read_proxy(int32_t element) const {
    ProxySettings proxy;
    for (int32_t child : tree_.get(element).children) {
      const XmlNode& node = tree_.get(child);
      if (node.kind != node_attribute) continue;
      if (is_name(node.attr_name, "mode")) {
        if (is_name(node.name, "none")) proxy.mode = ProxyMode::none;
        if (is_name(node.name, "automatic")) proxy.mode = ProxyMode::automatic;
        if (is_name(node.name, "proxy")) proxy.mode = ProxyMode::proxy;
      } else if (is_name(node.attr_name, "name")) {
        proxy.name = node.name;
      } else if (is_name(node.attr_name, "username")) {
        proxy.user_name = node.name;
      }
    }
    return proxy;
  }

  void read_version(int32_t element, VersionRecord& version) const {
    version.text = text_of(element);
    for (int32_t child : tree_.get(element).children) {
      const XmlNode& node = tree_.get(child);
      if (node.kind != node_attribute) continue;
      const String& name = node.attr_name;
      if (is_name(name, "major")) {
        version.major = read_version_number(node.name, version.major);
      } else if (is_name(name, "minor")) {
        version.minor = read_version_number(node.name, version.minor);
      } else if (is_name(name, "rebuild")) {
        version.rebuild = read_version_number(node.name, version.rebuild);
      } else if (is_name(name, "url")) {
        version.url = node.name;
      } else if (is_name(name, "next-test")) {
        // A time out of the calendar's range keeps the one we have.
        bool ok = false;
        Timestamp next = Timestamp::parse(node.name, &ok);
        if (ok) version.next_test = next;
      }
    }
  }

  const XmlParser& tree_;
};

}  // namespace

bool WayfetchConfiguration::read_description(const String& text, ENewsList& out,
                                             GlobalSettings* settings) {
  clear_status();
  TextScanner scanner(text);
  if (scanner.error == errors::string_allocation) {
    raise_error(errors::config_allocation);
    return false;
  }
  return read_document(scanner, out, settings);
}

bool WayfetchConfiguration::read_description(File& file, const String& name, ENewsList& out,
                                             GlobalSettings* settings) {
  clear_status();
  int64_t size = file.is_open() ? file.size() : -1;
  if (size < 0 || size > max_file_size) {
    raise_error(errors::config_file_missing);
    return false;
  }
  TextScanner text;
  if (!text.read_file(file, name)) {
    raise_error(text.error == errors::string_allocation ? errors::config_allocation
                                                        : errors::config_file_missing);
    return false;
  }
  return read_document(text, out, settings);
}

bool WayfetchConfiguration::read_document(TextScanner& text, ENewsList& out,
                                          GlobalSettings* settings) {
  XmlParser tree;
  tree.set_mode(ParseMode::extraction_template);
  if (!config_text::parse_document(text, tree)) {
    raise_error(errors::config_invalid_file);
    return false;
  }
  DocumentReader reader(tree);
  int32_t configuration = reader.find_configuration();
  if (configuration < 0) {
    raise_error(errors::config_file_missing);
    return false;
  }
  reader.read(configuration, out, settings);
  return true;
}

}  // namespace wayfetch
