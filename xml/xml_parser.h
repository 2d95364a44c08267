// XmlParser: the tolerant XML/HTML parser and the node table it fills.
//
// One parser serves every input of the program: configuration and data
// files, extraction templates, rendering templates, the head of downloaded
// pages and single tags picked out of pages. It never rejects a document: a
// single-pass state machine records errors and warnings on the parser's
// ErrorState, repairs what it can (implicit closing, missing values, stray
// "<") and goes on. The parse mode decides which constructs build structure,
// which element contents are raw text, where the parse stops and whether the
// text's encoding is detected afterwards (docs/xml_parser.md).
//
// The parser owns its node table (a NodeStore of XmlNode records, index 0
// is the document root). Nodes of successive parses are appended under the
// root; nodes are only removed by remove_last_node and reset. References
// returned by node() stay valid only until the next node is created.
//
// Failures: error 17 (no such node: the root is used), 18 (bad tag name),
// 21 (file not written), 22 (input failed, or an inconsistent table), 23
// (end tag of no open element), 24 (unterminated comment or declaration), 25
// (input already failed), 26 (file not loaded), 27 (node not created), 12
// (the table could not grow: no memory);
// warnings 5, 8, 9, 10, 11, 12, 13, 14. Messages quote the current line and
// the input's context slot. Modes 3, 6 and 8 record codes without logging
// and then leave `silent` as the caller had set it.
//
// Not thread-safe: one thread uses a parser at a time.
#ifndef WAYFETCH_XML_XML_PARSER_H
#define WAYFETCH_XML_XML_PARSER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/error_state.h"
#include "core/storage.h"
#include "core/string.h"
#include "core/text_scanner.h"
#include "xml/node_store.h"
#include "xml/xml_node.h"

namespace wayfetch {

// How a text is parsed (the numbers are part of the program's vocabulary).
enum class ParseMode : int32_t {
  xml = 0,                  // XML: every tag; content="raw-text" elements are raw
  xsl_template = 1,         // only "xsl:" tags build structure, the rest is text
  extraction_template = 2,  // XML; "begin", "end", "filter" are raw as well
  html_head_charset = 3,    // page head up to </head>, then charset from meta elements
  xml_prolog_encoding = 4,  // comments and declarations up to the first one, then encoding
  xsl_head_encoding = 5,    // up to the first "xsl:" start tag, then its encoding
  html_head = 6,            // page head up to </head>
  xml_prolog = 7,           // as 4 without detection
  html_tag = 8,             // the first start tag with its attributes
};

class XmlParser : public ErrorState {
 public:
  // By default a table never grows beyond this many nodes: a parse that
  // would pass it stops with error 27. Real pages have about 40 000 nodes a
  // megabyte; the limit keeps hostile input (one node per byte) to a few
  // hundred megabytes.
  static constexpr int32_t default_node_limit = 1000000;

  // write_file option bits.
  static constexpr int32_t write_unicode = 1;       // UTF-16LE with byte-order mark
  static constexpr int32_t write_skip_blank = 4;    // leave out nodes flagged blank
  static constexpr int32_t write_unwrap_blank = 8;  // leave out blank leaves, untag blank elements
  static constexpr int32_t write_lower_case =
      16;  // lower-case element and attribute names in place

  // An empty table holding the root node; mode 0.
  XmlParser();
  XmlParser(const XmlParser&) = delete;
  XmlParser& operator=(const XmlParser&) = delete;
  XmlParser(XmlParser&&) = default;
  XmlParser& operator=(XmlParser&&) = default;
  ~XmlParser() = default;

  // ---- parsing ----
  void set_mode(ParseMode mode) { mode_ = mode; }
  // The mode by its number, 0-8; any other number selects mode 0.
  void set_mode(int32_t mode) {
    mode_ = mode >= 0 && mode <= 8 ? static_cast<ParseMode>(mode) : ParseMode::xml;
  }
  void set_node_limit(int32_t limit) { node_limit_ = limit; }
  int32_t node_limit() const { return node_limit_; }
  ParseMode mode() const { return mode_; }
  // Parses `text` from its cursor in the current mode, appending nodes under
  // the root, and returns when the mode's stop condition is reached. The
  // cursor is left where the parse stopped; in mode 8 just after the tag (or
  // at the end tag of a script), and the tag's element is the first node
  // the call added. Modes 3, 4 and 5 may relabel the text's encoding (never
  // its bytes). Source offsets in the nodes are byte offsets in `text`.
  void parse(TextScanner& text);
  // Loads each file, detects its encoding with a scratch parse in mode 4 and
  // parses it in `mode` into this table. False (error 26) when a file could
  // not be loaded; the other files are still parsed.
  bool parse_files(const Storage<String>& names, ParseMode mode);
  // Empties the table back to the root node and clears the status.
  void reset();

  // ---- queries over the whole table ----
  int32_t node_count() const { return nodes_.size(); }
  // The "href" of the first "base" element that has one.
  bool find_base_href(String& out);
  // The first meta refresh: its delay in seconds and its address (possibly empty).
  bool find_refresh(String& url_out, int32_t& delay_out);

  // ---- node access ----
  // Node i; error 17 and the root when i is not in the table.
  XmlNode& node(int32_t i);
  // Node i without raising; the table's sentinel (an empty text node) when
  // i is not in the table.
  const XmlNode& get(int32_t i) const { return nodes_.get(i); }
  bool valid(int32_t i) const { return i >= 0 && i < nodes_.size(); }

  // ---- building (error 27 and -1 when the parent is not in the table) ----
  // An element named by `name`'s window, with source offsets. It is not
  // `closed`: set that flag for an element that is to be written with an
  // end tag rather than as an empty tag followed by its children.
  int32_t create_element(int32_t parent, const String& name, int32_t start, int32_t end);
  int32_t create_text(int32_t parent, const String& text);
  int32_t create_comment(int32_t parent, const String& text);
  // An attribute with an empty value as the last child of `parent`.
  int32_t create_attribute(int32_t parent, const String& name);
  // Fills the last child of `element`, which must be an attribute (error 27 otherwise).
  bool set_attribute_value(int32_t element, const String& value);
  // Appends a copy of `record` (texts, kind, flags, offsets; no children) as
  // the last child of `parent`; returns its index or -1.
  int32_t append_copy(int32_t parent, const XmlNode& record);

  // ---- navigation ----
  // Copies the value of the first attribute of `element` named `name`
  // (case-insensitive) into `out`; false (out untouched) when there is none.
  bool attribute(int32_t element, const String& name, String& out);
  bool attribute(int32_t element, const char* name, String& out);
  // Element iterators; they keep their position in the nodes, so one walk
  // over a given parent at a time. -1 when there is no (further) element.
  int32_t first_element_child(int32_t i);
  int32_t next_element_child(int32_t i);
  // Pre-order walk over the elements below `root`, continuing from `from`.
  int32_t next_element(int32_t root, int32_t from);
  // True when `ancestor` is on the parent chain of i.
  bool is_descendant(int32_t i, int32_t ancestor) const;
  // name_HEX_ for the element and each ancestor element; empty for other kinds.
  void unique_name(int32_t i, String& out);

  // ---- editing ----
  // Removes the most recently created node when it has no children (error 22 otherwise).
  bool remove_last_node();
  // Whether node i is only white space; sets the `blank` flag of i and below.
  bool mark_blank(int32_t i);
  // Appends the text nodes of the subtree of i in `source`, in document order.
  static void collect_texts(Storage<int32_t>& out, const XmlParser& source, int32_t i);
  // Copies the subtree of `source`'s node i as the last child of `parent`
  // here; returns the new index of its top, -1 when i or parent is invalid.
  int32_t import_subtree(const XmlParser& source, int32_t i, int32_t parent = 0);
  // The same, keeping the characters copied in text nodes within
  // `max_chars` (-1: no limit); `used` counts them across calls.
  int32_t import_subtree_limited(const XmlParser& source, int32_t i, int32_t max_chars,
                                 int32_t& used, int32_t parent = 0);

  // ---- writing (xml/xml_writer.cc) ----
  // Writes the table as an XML file with the option bits above, the header
  // first. False with error 21 when the file cannot be created or written.
  bool write_file(const String& path, int32_t options, const String& header);
  bool write_file(const String& path) { return write_file(path, write_unicode, String()); }

  // ---- parse state ----
  // Between parses the stack is empty, `current` is the root, the state 0
  // and raw off; `line` keeps the line the last parse stopped on (every
  // parse starts again at 1).
  int32_t line() const { return line_; }
  int32_t current() const { return current_; }
  int32_t state() const { return state_; }
  bool raw() const { return raw_; }
  const Storage<int32_t>& open_elements() const { return open_elements_; }

 private:
  friend class ParseMachine;

  // Appends a node of `kind` under `parent` whose `name` is a copy of
  // `bytes`, labelled with the encoding, code page and context of `like`;
  // -1 (error 27) when the parent is not in the table.
  int32_t add_node(int32_t parent, int32_t kind, std::string_view bytes, const String& like);
  // The root node, as the constructor creates it.
  void make_root();
  // Shared by the two import forms.
  int32_t import_nodes(const XmlParser& source, int32_t i, int32_t parent, int32_t max_chars,
                       int32_t* used);
  // Runs the encoding detection of `mode` over the table; returns 0 when the
  // text was relabelled, else warning 10 or 11.
  int32_t detect_encoding(ParseMode mode, String& text);
  // Keeps the context slot of a parsed or imported text for as long as the
  // nodes that name it (by number) are in the table.
  void hold_context(const ContextLease& lease);

  ParseMode mode_ = ParseMode::xml;
  NodeStore nodes_;
  int32_t node_limit_ = default_node_limit;
  int32_t line_ = 1;
  Storage<int32_t> open_elements_;
  int32_t current_ = 0;
  int32_t state_ = 0;
  bool raw_ = false;
  // The highest stack position of each open element name (folded to lower
  // case) and, per stack position, the next lower one with the same name:
  // closing by name stays linear however deep the stack grows.
  std::unordered_map<std::string, int32_t> open_by_name_;
  std::vector<int32_t> open_same_below_;
  // The context slots the nodes' texts name (see String::load_file).
  std::vector<ContextLease> context_leases_;
};

}  // namespace wayfetch

#endif
