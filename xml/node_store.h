// NodeStore: the records of one node table, addressed by index.
//
// A growable array of XmlNode records. Reading outside the table gives an
// empty text record; writing outside it gives a scratch record that is set
// back to empty each time it is handed out, so a caller never writes into
// another caller's node. The array grows by half again when full; a table
// that cannot grow (no memory, or past 2 GB) refuses the new record.
// Not thread-safe.
#ifndef WAYFETCH_XML_NODE_STORE_H
#define WAYFETCH_XML_NODE_STORE_H

#include <cstdint>
#include <vector>

#include "xml/xml_node.h"

namespace wayfetch {

class NodeStore {
 public:
  int32_t size() const { return static_cast<int32_t>(records_.size()); }
  const XmlNode& get(int32_t i) const {
    static const XmlNode none{};
    return i >= 0 && i < size() ? records_[static_cast<std::size_t>(i)] : none;
  }
  XmlNode& at(int32_t i) {
    if (i >= 0 && i < size()) return records_[static_cast<std::size_t>(i)];
    scratch_ = XmlNode();
    return scratch_;
  }
  // A new empty record at the end; null when the table cannot grow.
  XmlNode* append();
  // Removes the last record.
  void remove_last() {
    if (!records_.empty()) records_.pop_back();
  }
  const XmlNode* begin() const { return records_.data(); }
  const XmlNode* end() const { return records_.data() + records_.size(); }
  // Empties the table and gives back its memory.
  void reset() { std::vector<XmlNode>().swap(records_); }

 private:
  std::vector<XmlNode> records_;
  XmlNode scratch_;
};

}  // namespace wayfetch

#endif
