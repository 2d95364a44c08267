// DataDocuments: the data documents one template run builds.
//
// Record 0 is the main document (written to radix + ".data.xml"); each
// section the walk begins adds a record for section k (radix + ".data" + k
// + ".xml"), with a document only when the section is built. A record
// counts the downloads still pending for it, carries the flags the end of
// the run reports on (reached, has content, built, warned empty) and is
// written, and its document freed, once nothing is pending.
//
// Record numbers are never reused: a download refers to its record until
// it is done, even when the iteration pass that began the section is rolled
// back (the record is then discarded: never written, never reported).
// Section numbers are what the template's items are counted by; a rolled
// back pass gives its numbers back.
//
// Every document has budgets for its nodes and for the bytes of its texts,
// and so have all the documents held in memory together (a template that
// begins many sections must not multiply the per-document budget); a node
// that would pass one is not created and budget_spent() turns true (the
// engine stops with its fatal code). Nodes taken out again (a rolled
// back pass, a failed include) are flagged blank and left out when the
// document is written (write option 4); their indexes stay valid.
//
// Writing goes to a file beside the target that is renamed over it, so a
// failed write leaves the previous data file whole. Not thread-safe: the
// engine's thread only.
#ifndef WAYFETCH_EXTRACTION_DATA_DOCUMENTS_H
#define WAYFETCH_EXTRACTION_DATA_DOCUMENTS_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/string.h"
#include "xml/xml_parser.h"

namespace wayfetch::extraction {

class DataDocuments {
 public:
  struct Limits {
    int32_t nodes = 1 << 20;                 // nodes per document
    int64_t bytes = int64_t{1} << 26;        // bytes of names, texts and values per document
    int32_t sections = 1000;                 // sections per run
    int64_t held_nodes = int64_t{1} << 21;   // nodes of all documents in memory together
    int64_t held_bytes = int64_t{1} << 27;   // their bytes together
  };

  struct Record {
    int32_t section = 0;  // 0: the main document; k + 1: section k
    std::unique_ptr<XmlParser> document;
    // Per document node, the template node it copies (-1: none).
    std::vector<int32_t> origin;
    int64_t nodes = 0;  // nodes and bytes counted against the budgets
    int64_t bytes = 0;
    int32_t pending = 0;
    bool reached = false;      // a follow, get, include, extract or download-site ran for it
    bool has_content = false;  // an extract, write, get or include wrote into it
    bool warned_empty = false;
    bool built = false;        // its document was created
    bool written = false;
    bool discarded = false;    // begun in a rolled back iteration pass
    int32_t line = -1;         // the template line of the section element (-1: none)
  };

  // Forgets every record; files are named from `radix` (folder and name,
  // no extension, UTF-8).
  void reset(const std::string& radix, const Limits& limits);
  // Creates record 0 with an empty document; returns 0.
  int32_t start_main();

  // ---- sections ----
  // Section numbers handed out so far.
  int32_t section_count() const { return static_cast<int32_t>(numbered_.size()); }
  // Whether another section fits the budget.
  bool section_allowed() const { return section_count() < limits_.sections; }
  // Gives the next section number a record, with an empty document when
  // `build`; returns the record.
  int32_t add_section(bool build);
  // The record of section `k`, -1 when the walk has not begun it.
  int32_t record_of_section(int32_t k) const {
    return k >= 0 && k < section_count() ? numbered_[static_cast<std::size_t>(k)] : -1;
  }
  // Gives back the section numbers from `count` on; their records are discarded.
  void drop_sections_from(int32_t count);

  Record& record(int32_t id) { return records_[static_cast<std::size_t>(id)]; }
  const Record& record(int32_t id) const { return records_[static_cast<std::size_t>(id)]; }
  int32_t record_count() const { return static_cast<int32_t>(records_.size()); }
  bool valid(int32_t id) const { return id >= 0 && id < record_count(); }
  // The document of record `id`, or nullptr (none, written or dropped).
  XmlParser* document(int32_t id);
  const XmlParser* document(int32_t id) const;

  // ---- nodes (all -1 when the record has no document or a budget is spent) ----
  int32_t add_copy(int32_t id, int32_t parent, const XmlNode& source, int32_t origin);
  // A new closed element, written with its end tag.
  int32_t add_element(int32_t id, int32_t parent, const String& name, int32_t origin);
  int32_t add_text(int32_t id, int32_t parent, const String& text);
  // Gives `element` the attribute `name`="value" unless it has one so named.
  bool add_attribute(int32_t id, int32_t element, const String& name, const String& value);
  // Leaves `node` and its subtree out of the written document.
  void remove(int32_t id, int32_t node);
  // Leaves out every node created since the document held `count` nodes.
  void remove_added_since(int32_t id, int32_t count);
  int32_t node_count(int32_t id) const;
  // Counts `nodes` more nodes holding `bytes` more bytes (a document
  // inserted whole) against the budgets; false, counting nothing, when they
  // do not fit.
  bool reserve(int32_t id, int64_t nodes, int64_t bytes);
  // Whether `nodes` more nodes holding `bytes` more bytes would fit.
  bool can_hold(int32_t id, int64_t nodes, int64_t bytes) const {
    return valid(id) && fits(record(id), nodes, bytes);
  }
  // add_copy for a node already counted by reserve.
  int32_t add_reserved_copy(int32_t id, int32_t parent, const XmlNode& source);
  bool budget_spent() const { return budget_spent_; }

  // ---- writing ----
  // Writes every document that is not written yet and has nothing pending,
  // then frees it. A failed write raises error 70 on `reporter` and drops
  // the document. Returns the number of documents written.
  int32_t write_ready(ErrorState& reporter);
  // Documents whose write failed so far.
  int32_t write_failures() const { return write_failures_; }
  // Whether no document is left to write.
  bool all_written() const;
  // radix + ".data" [+ k] + ".xml" for a record.
  std::string path_of(const Record& record) const;

 private:
  // Checks the budgets for one more node of `bytes` bytes and counts it.
  bool take(Record& record, int64_t bytes);
  bool fits(const Record& record, int64_t nodes, int64_t bytes) const;
  void count(Record& record, int64_t nodes, int64_t bytes);
  // Frees a record's document and what it held of the budgets.
  void release(Record& record);
  int32_t track(Record& record, int32_t node, int32_t origin);

  std::string radix_;
  Limits limits_;
  std::vector<Record> records_;
  std::vector<int32_t> numbered_;  // section number -> record
  bool budget_spent_ = false;
  int32_t write_failures_ = 0;
  int64_t held_nodes_ = 0;
  int64_t held_bytes_ = 0;
};

}  // namespace wayfetch::extraction

#endif
