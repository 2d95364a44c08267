#include "extraction/data_documents.h"

#include <algorithm>
#include <utility>

#include "core/error_codes.h"
#include "platform/file_replacement.h"

namespace wayfetch::extraction {

void DataDocuments::reset(const std::string& radix, const Limits& limits) {
  radix_ = radix;
  limits_ = limits;
  records_.clear();
  numbered_.clear();
  budget_spent_ = false;
  write_failures_ = 0;
  held_nodes_ = held_bytes_ = 0;
}

int32_t DataDocuments::start_main() {
  records_.clear();
  numbered_.clear();
  held_nodes_ = held_bytes_ = 0;
  Record& main = records_.emplace_back();
  main.document = std::make_unique<XmlParser>();
  main.origin.assign(1, -1);
  main.built = true;
  return 0;
}

int32_t DataDocuments::add_section(bool build) {
  Record& section = records_.emplace_back();
  section.section = section_count() + 1;
  if (build) {
    section.document = std::make_unique<XmlParser>();
    section.origin.assign(1, -1);
    section.built = true;
  }
  auto id = static_cast<int32_t>(records_.size()) - 1;
  numbered_.push_back(id);
  return id;
}

void DataDocuments::drop_sections_from(int32_t count) {
  while (section_count() > count) {
    Record& dropped = record(numbered_.back());
    release(dropped);
    dropped.discarded = true;
    numbered_.pop_back();
  }
}

XmlParser* DataDocuments::document(int32_t id) {
  if (!valid(id)) return nullptr;
  return record(id).document.get();
}

const XmlParser* DataDocuments::document(int32_t id) const {
  if (!valid(id)) return nullptr;
  return record(id).document.get();
}

bool DataDocuments::take(Record& record, int64_t bytes) {
  if (budget_spent_ || record.document == nullptr) return false;
  if (!fits(record, 1, bytes)) {
    budget_spent_ = true;
    return false;
  }
  count(record, 1, bytes);
  return true;
}

bool DataDocuments::fits(const Record& record, int64_t nodes, int64_t bytes) const {
  return record.document != nullptr && record.nodes + nodes < limits_.nodes &&
         record.bytes + bytes <= limits_.bytes && held_nodes_ + nodes <= limits_.held_nodes &&
         held_bytes_ + bytes <= limits_.held_bytes;
}

void DataDocuments::count(Record& record, int64_t nodes, int64_t bytes) {
  record.nodes += nodes;
  record.bytes += bytes;
  held_nodes_ += nodes;
  held_bytes_ += bytes;
}

void DataDocuments::release(Record& record) {
  held_nodes_ -= record.nodes;
  held_bytes_ -= record.bytes;
  record.nodes = 0;
  record.bytes = 0;
  record.document.reset();
  record.origin.clear();
  record.origin.shrink_to_fit();
}

int32_t DataDocuments::track(Record& record, int32_t node, int32_t origin) {
  if (node >= 0) {
    record.origin.resize(static_cast<std::size_t>(record.document->node_count()), -1);
    record.origin[static_cast<std::size_t>(node)] = origin;
  }
  return node;
}

int32_t DataDocuments::add_copy(int32_t id, int32_t parent, const XmlNode& source,
                                int32_t origin) {
  if (!valid(id)) return -1;
  Record& target = record(id);
  if (!take(target, int64_t{source.name.length()} + source.attr_name.length())) return -1;
  return track(target, target.document->append_copy(parent, source), origin);
}

int32_t DataDocuments::add_reserved_copy(int32_t id, int32_t parent, const XmlNode& source) {
  XmlParser* doc = document(id);
  if (doc == nullptr) return -1;
  return track(record(id), doc->append_copy(parent, source), -1);
}

int32_t DataDocuments::add_element(int32_t id, int32_t parent, const String& name,
                                   int32_t origin) {
  if (!valid(id)) return -1;
  Record& target = record(id);
  if (!take(target, name.window_length())) return -1;
  int32_t element = target.document->create_element(parent, name, -1, -1);
  if (element >= 0) target.document->node(element).closed = 1;
  return track(target, element, origin);
}

int32_t DataDocuments::add_text(int32_t id, int32_t parent, const String& text) {
  if (!valid(id)) return -1;
  Record& target = record(id);
  if (!take(target, text.window_length())) return -1;
  return track(target, target.document->create_text(parent, text), -1);
}

bool DataDocuments::add_attribute(int32_t id, int32_t element, const String& name,
                                  const String& value) {
  XmlParser* doc = document(id);
  if (doc == nullptr || !doc->valid(element)) return false;
  String existing;
  if (doc->attribute(element, name, existing)) return true;
  Record& target = record(id);
  if (!take(target, int64_t{name.window_length()} + value.window_length())) return false;
  int32_t attribute = doc->create_attribute(element, name);
  track(target, attribute, -1);
  return attribute >= 0 && doc->set_attribute_value(element, value);
}

void DataDocuments::remove(int32_t id, int32_t node) {
  XmlParser* doc = document(id);
  if (doc != nullptr && node > 0 && doc->valid(node)) doc->node(node).blank = 1;
}

void DataDocuments::remove_added_since(int32_t id, int32_t count) {
  XmlParser* doc = document(id);
  if (doc == nullptr) return;
  // Flagging the top of every new subtree is enough: the writer leaves out
  // a blank node with everything below it.
  for (int32_t node = std::max(count, 1); node < doc->node_count(); ++node) {
    if (doc->get(node).parent < count) doc->node(node).blank = 1;
  }
}

int32_t DataDocuments::node_count(int32_t id) const {
  const XmlParser* doc = document(id);
  return doc == nullptr ? 0 : doc->node_count();
}

bool DataDocuments::reserve(int32_t id, int64_t nodes, int64_t bytes) {
  if (!valid(id) || !fits(record(id), nodes, bytes)) return false;
  count(record(id), nodes, bytes);
  return true;
}

std::string DataDocuments::path_of(const Record& record) const {
  std::string path = radix_ + ".data";
  if (record.section > 0) path += std::to_string(record.section - 1);
  return path + ".xml";
}

int32_t DataDocuments::write_ready(ErrorState& reporter) {
  int32_t written = 0;
  for (Record& record : records_) {
    if (record.document == nullptr || record.written || record.discarded || record.pending > 0) {
      continue;
    }
    // The document goes to a file beside its place and is renamed over it
    // only when complete, so a failed write keeps the previous data file.
    platform::FileReplacement replacement(path_of(record));
    // The engine reports the failure in its own words; the table stays quiet.
    record.document->silent = true;
    const bool done = replacement.ready() &&
                      record.document->write_file(String(std::string_view(replacement.path())),
                                                  XmlParser::write_skip_blank, String()) &&
                      replacement.commit();
    if (done) {
      ++written;
    } else {
      ++write_failures_;
      reporter.raise_error(errors::extract_write_failed);
    }
    record.written = true;
    release(record);
  }
  return written;
}

bool DataDocuments::all_written() const {
  for (const Record& record : records_) {
    if (record.document != nullptr && !record.written && !record.discarded) return false;
  }
  return true;
}

}  // namespace wayfetch::extraction
