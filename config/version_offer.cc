// Reading the new-version server's reply. The reply comes from the network
// and may be anything (a captive portal's login page answers 200 with
// HTML): every field is checked, and a doubtful reply is refused whole
// rather than read in part.
#include "config/version_offer.h"

#include <string>

#include "config/config_text.h"
#include "core/text_scanner.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

using config_text::is_name;

// The first "version" element in document order (node indexes follow it),
// or -1.
int32_t find_version(const XmlParser& tree) {
  for (int32_t i = 1; i < tree.node_count(); ++i) {
    const XmlNode& node = tree.get(i);
    if (node.kind == node_element && is_name(node.name, "version")) return i;
  }
  return -1;
}

}  // namespace

bool VersionOffer::read(File& file) {
  int64_t size = file.size();
  if (size <= 0 || size > max_reply_size || file.seek(0, File::Origin::start) != 0) return false;
  TextScanner reply;
  if (!reply.read_file(file, String("new-version reply"))) return false;
  XmlParser tree;
  // Nobody but this check can act on a broken reply; it is not the log's.
  tree.silent = true;
  tree.set_mode(ParseMode::xml);
  if (!config_text::parse_document(reply, tree)) return false;
  int32_t element = find_version(tree);
  if (element < 0) return false;

  VersionOffer offer;
  bool major = false;
  bool minor = false;
  bool rebuild = false;
  for (int32_t child : tree.get(element).children) {
    const XmlNode& node = tree.get(child);
    if (node.kind == node_text && offer.text.empty()) offer.text = node.name;
    if (node.kind != node_attribute) continue;
    const String& name = node.attr_name;
    if (is_name(name, "major")) {
      major = config_text::read_number(node.name, offer.number.major);
      if (!major) return false;
    } else if (is_name(name, "minor")) {
      minor = config_text::read_number(node.name, offer.number.minor);
      if (!minor) return false;
    } else if (is_name(name, "rebuild")) {
      rebuild = config_text::read_number(node.name, offer.number.rebuild);
      if (!rebuild) return false;
    } else if (is_name(name, "url")) {
      offer.url = node.name;
    }
  }
  if (!major || !minor || !rebuild) return false;
  *this = std::move(offer);
  return true;
}

String VersionOffer::display() const {
  if (!text.empty()) return text;
  return String(std::to_string(number.major) + "." + std::to_string(number.minor) + "." +
                std::to_string(number.rebuild));
}

}  // namespace wayfetch
