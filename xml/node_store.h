// NodeStore: the records of one node table, addressed by index.
//
// Records live in segments of 1024 that never move once full, so a table
// that grows to hundreds of thousands of nodes never copies its records
// again; only the first segment starts small (16 records) and doubles up to
// 1024, so the many small tables of single tags and file heads stay small.
// A table wastes at most one segment's unused part.
//
// Reading outside the table gives an empty text record; writing outside it
// gives a scratch record that is set back to empty each time it is handed
// out, so a caller never writes into another caller's node. A table that
// cannot grow (no memory, or past 2 GB of records) refuses the new record.
// Not thread-safe.
#ifndef WAYFETCH_XML_NODE_STORE_H
#define WAYFETCH_XML_NODE_STORE_H

#include <cstdint>
#include <vector>

#include "xml/xml_node.h"

namespace wayfetch {

class NodeStore {
 public:
  static constexpr int32_t segment_bits = 10;
  static constexpr int32_t segment_size = 1 << segment_bits;

  int32_t size() const { return size_; }
  const XmlNode& get(int32_t i) const {
    static const XmlNode none{};
    return i >= 0 && i < size_ ? record(i) : none;
  }
  XmlNode& at(int32_t i) {
    if (i >= 0 && i < size_) return const_cast<XmlNode&>(record(i));
    scratch_ = XmlNode();
    return scratch_;
  }
  // A new empty record at the end; null when the table cannot grow.
  XmlNode* append();
  void remove_last();
  // Empties the table and gives back its memory.
  void reset();

 private:
  const XmlNode& record(int32_t i) const {
    return segments_[static_cast<std::size_t>(i >> segment_bits)]
                    [static_cast<std::size_t>(i & (segment_size - 1))];
  }

  std::vector<std::vector<XmlNode>> segments_;
  int32_t size_ = 0;
  XmlNode scratch_;
};

}  // namespace wayfetch

#endif
