// Writing a node table back out as an XML file.
//
// The file is UTF-16LE with a byte-order mark when asked for, or when the
// first node with a text holds UTF-16 text; otherwise it is written in the
// bytes of the table's texts. One file never mixes the two widths: texts of
// the other kind are converted on the way out (the table keeps them as they
// are). Writing walks the tree with an explicit stack, since a page decides
// how deep its tree is.
#include <string>
#include <string_view>
#include <vector>

#include "core/file.h"
#include "platform/code_page.h"
#include "xml/entity_names.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

constexpr std::size_t flush_size = 1 << 16;

// Buffers the output and counts every write that falls short.
class Output {
 public:
  Output(File& file, bool wide) : file_(file), wide_(wide) {}

  bool wide() const { return wide_; }
  bool failed() const { return failed_; }

  void raw(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= flush_size) flush();
  }
  // ASCII markup in the file's width.
  void markup(std::string_view ascii) {
    if (!wide_) {
      raw(ascii);
      return;
    }
    for (char c : ascii) {
      buffer_.push_back(c);
      buffer_.push_back('\0');
    }
    if (buffer_.size() >= flush_size) flush();
  }
  // A text in the file's width; narrow files take narrow texts as they are
  // and UTF-16 texts converted to `narrow_code_page`.
  void text(const NodeText& value, int32_t narrow_code_page) {
    std::string_view bytes = value.window_bytes();
    if (bytes.empty()) return;
    bool unicode = value.encoding() == TextEncoding::Unicode;
    if (wide_ == unicode) {
      raw(bytes);
      return;
    }
    if (wide_) {
      std::u16string units = value.str().window_utf16();
      raw(std::string_view(reinterpret_cast<const char*>(units.data()), units.size() * 2));
      return;
    }
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t k = 0; k < units.size(); ++k) {
      units[k] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * k]) |
                                       (static_cast<uint8_t>(bytes[2 * k + 1]) << 8));
    }
    std::string narrow;
    if (!platform::from_utf16(narrow_code_page, units.data(), units.size(), narrow)) {
      platform::from_utf16(platform::system_code_page, units.data(), units.size(), narrow);
    }
    raw(narrow);
  }
  void flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
      auto chunk = static_cast<int32_t>(std::min<std::size_t>(buffer_.size() - done, 1 << 20));
      if (file_.write(buffer_.data() + done, chunk) != chunk) {
        failed_ = true;
        break;
      }
      done += static_cast<std::size_t>(chunk);
    }
    buffer_.clear();
  }

 private:
  File& file_;
  bool wide_;
  bool failed_ = false;
  std::string buffer_;
};

// Replaces by "-" every "&" of a narrow text that does not start a known
// reference: "&", at most 9 characters, ";", where the characters are "#"
// and at least two more, or one of the entity names. An "&" with no ";"
// anywhere after it is kept. Linear: the next ";" is searched once per run.
void clean_ampersands(NodeText& text) {
  if (text.encoding() == TextEncoding::Unicode || text.empty()) return;
  uint8_t* data = text.mutable_data();
  int32_t length = text.length();
  CharReader walk{data, 0, length, text.encoding(), text.code_page()};
  int32_t semicolon = -2;  // -2: not searched yet; -1: none in the rest
  while (!walk.at_end()) {
    int32_t at = walk.position;
    if (walk.next() != '&') continue;
    int32_t after = walk.position;
    if (semicolon != -1 && semicolon < after) {
      CharReader search{data, after, length, text.encoding(), text.code_page()};
      semicolon = -1;
      while (!search.at_end()) {
        int32_t position = search.position;
        if (search.next() == ';') {
          semicolon = position;
          break;
        }
      }
    }
    if (semicolon == -1) continue;
    CharReader name{data, after, semicolon, text.encoding(), text.code_page()};
    int32_t count = 0;
    while (!name.at_end() && count <= 9) {
      name.next();
      ++count;
    }
    bool known = false;
    if (count <= 9) {
      std::string_view reference(reinterpret_cast<const char*>(data) + after,
                                 static_cast<std::size_t>(semicolon - after));
      known =
          (!reference.empty() && reference[0] == '#' && count >= 3) || is_entity_name(reference);
    }
    if (!known) data[at] = '-';
  }
}

class TreeWriter {
 public:
  TreeWriter(NodeStore& nodes, Output& out, int32_t options, int32_t narrow_code_page)
      : nodes_(nodes), out_(out), options_(options), narrow_code_page_(narrow_code_page) {}

  // Writes the subtree of the root; false when a node of unknown kind was met.
  bool write() {
    stack_.push_back({0, 0, false});
    while (!stack_.empty()) {
      Frame& frame = stack_.back();
      const ChildList& children = nodes_.get(frame.node).children;
      if (frame.next_child < children.size()) {
        int32_t child = children.get(frame.next_child++);
        int32_t parent = frame.node;
        if (child > parent && child < nodes_.size()) write_node(child);
        continue;
      }
      if (frame.end_tag) {
        XmlNode& element = nodes_.at(frame.node);
        out_.markup("</");
        out_.text(element.name, narrow_code_page_);
        out_.markup(">");
      }
      stack_.pop_back();
    }
    return ok_;
  }

 private:
  struct Frame {
    int32_t node;
    int32_t next_child;
    bool end_tag;
  };

  bool skip_blank() const { return (options_ & XmlParser::write_skip_blank) != 0; }
  bool unwrap_blank() const { return (options_ & XmlParser::write_unwrap_blank) != 0; }
  bool lower() const { return (options_ & XmlParser::write_lower_case) != 0; }

  void write_node(int32_t index) {
    XmlNode& node = nodes_.at(index);
    if (skip_blank() && node.blank) return;
    switch (node.kind) {
      case node_attribute:
        return;  // written with the start tag of its element
      case node_text:
        if (unwrap_blank() && node.blank) return;
        clean_ampersands(node.name);
        out_.text(node.name, narrow_code_page_);
        return;
      case node_comment:
        if (unwrap_blank() && node.blank) return;
        out_.markup("<");
        out_.text(node.name, narrow_code_page_);
        out_.markup(">");
        return;
      case node_root:
        stack_.push_back({index, 0, false});
        return;
      case node_element:
        break;
      default:
        ok_ = false;
        return;
    }
    if (unwrap_blank() && node.blank) {
      stack_.push_back({index, 0, false});
      return;
    }
    if (lower()) node.name.lower_case();
    out_.markup("<");
    out_.text(node.name, narrow_code_page_);
    out_.markup(" ");
    for (int32_t child : node.children) {
      if (child <= index || child >= nodes_.size()) continue;
      XmlNode& attribute = nodes_.at(child);
      if (attribute.kind != node_attribute) continue;
      if ((skip_blank() || unwrap_blank()) && attribute.blank) continue;
      if (lower()) attribute.attr_name.lower_case();
      out_.text(attribute.attr_name, narrow_code_page_);
      out_.markup("=\"");
      out_.text(attribute.name, narrow_code_page_);
      out_.markup("\" ");
    }
    if (!node.closed) out_.markup("/");
    out_.markup(">");
    stack_.push_back({index, 0, node.closed != 0});
  }

  NodeStore& nodes_;
  Output& out_;
  int32_t options_;
  int32_t narrow_code_page_;
  std::vector<Frame> stack_;
  bool ok_ = true;
};

}  // namespace

bool XmlParser::write_file(const String& path, int32_t options, const String& header) {
  bool wide = (options & write_unicode) != 0;
  int32_t narrow_code_page = platform::system_code_page;
  for (int32_t i = 0; i < nodes_.size(); ++i) {
    const XmlNode& node = nodes_.get(i);
    const NodeText& text = !node.name.empty() ? node.name : node.attr_name;
    if (text.empty()) continue;
    if (text.encoding() == TextEncoding::Unicode) {
      wide = true;
    } else if (text.code_page() != -1) {
      narrow_code_page = text.code_page();
    }
    break;
  }
  File file;
  if (!file.open(path, File::write_new)) {
    raise_error(errors::parse_file_access);
    return false;
  }
  Output out(file, wide);
  if (wide) out.raw(std::string_view("\xFF\xFE", 2));
  out.raw(header.window_bytes());
  TreeWriter writer(nodes_, out, options, narrow_code_page);
  bool known_kinds = writer.write();
  out.flush();
  if (!known_kinds) raise_error(errors::parse_unknown);
  if (out.failed()) {
    raise_error(errors::parse_file_access);
    return false;
  }
  return known_kinds;
}

}  // namespace wayfetch
