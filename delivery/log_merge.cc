// Merging the handheld's log copies into the desktop log.
#include <memory>
#include <new>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/byte_order.h"
#include "core/error_sink.h"
#include "core/file.h"
#include "core/palm_database.h"
#include "delivery/handheld_log.h"
#include "delivery/log_files.h"
#include "delivery/wayfetch_replicator.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

using handheld_log::RecordKind;
using handheld_log::RecordView;

// One merge of a copy into an open log. Records the copy does not share
// with the log are appended and the log is sorted once at the end: finding
// a record goes through a hash of the log's keys, so a merge costs
// O((n + m) log(n + m)) however many records it adds.
class LogMerger {
 public:
  LogMerger(PalmDatabase& copy, PalmDatabase& log) : copy_(copy), log_(log) {}

  // False when a record could not be made (the log is then to be discarded).
  bool run(MergeResult& result) {
    index_log();
    std::vector<RecordView> views(static_cast<std::size_t>(copy_.record_count()));
    std::vector<std::unique_ptr<PalmRecord>> records(views.size());
    for (std::size_t i = 0; i < views.size(); ++i) {
      records[i] = copy_.get_record(static_cast<int32_t>(i));
      views[i] =
          handheld_log::read_record(records[i] ? records[i]->data() : std::span<const uint8_t>());
      if (views[i].kind == RecordKind::damaged) ++result.damaged;
    }
    // Report targets first, so that every count finds its target's new id.
    for (std::size_t i = 0; i < views.size(); ++i) {
      if (views[i].kind != RecordKind::target) continue;
      uint32_t copy_id = copy_.record_info(static_cast<int32_t>(i))->unique_id;
      uint32_t log_id = 0;
      if (!find_or_add(views[i], records[i]->data(), log_id, result.targets_added)) return false;
      mapping_.emplace(copy_id, log_id);
    }
    for (std::size_t i = 0; i < views.size(); ++i) {
      if (views[i].kind != RecordKind::count) continue;
      if (!merge_count(views[i], records[i]->data(), result)) return false;
    }
    // Appended records (and a log that came unsorted) take their places.
    return log_.quick_sort(
        [](const PalmSortItem& a, const PalmSortItem& b, void*) -> int16_t {
          return static_cast<int16_t>(handheld_log::compare_records(a.data, b.data));
        },
        nullptr);
  }

 private:
  void index_log() {
    int32_t count = log_.record_count();
    for (int32_t i = 0; i < count; ++i) {
      used_ids_.insert(log_.record_info(i)->unique_id);
      std::unique_ptr<PalmRecord> record = log_.get_record(i);
      std::string key = handheld_log::record_key(handheld_log::read_record(record->data()));
      // Damaged records of the log stay as they are and match nothing.
      if (!key.empty()) index_.emplace(std::move(key), i);
    }
  }

  // The log's id for a target with this key, adding the record when absent.
  bool find_or_add(const RecordView& view, std::span<const uint8_t> data, uint32_t& log_id,
                   int32_t& added) {
    std::string key = handheld_log::record_key(view);
    if (auto found = index_.find(key); found != index_.end()) {
      log_id = log_.record_info(found->second)->unique_id;
      return true;
    }
    int32_t at = append(data);
    if (at < 0) return false;
    log_id = log_.record_info(at)->unique_id;
    index_.emplace(std::move(key), at);
    ++added;
    return true;
  }

  bool merge_count(const RecordView& view, std::span<const uint8_t> data, MergeResult& result) {
    uint32_t target = view.target_id;
    if (auto mapped = mapping_.find(target); mapped != mapping_.end()) {
      target = mapped->second;
    } else {
      ++result.unmapped;  // kept with the id it had on the handheld
    }
    std::string key = handheld_log::count_key(view.name, target);
    if (auto found = index_.find(key); found != index_.end()) {
      std::unique_ptr<PalmRecord> present = log_.get_record(found->second);
      std::span<uint8_t> bytes = present->data();
      uint32_t sum = handheld_log::add_counts(
          byte_order::get_be32(&bytes[handheld_log::count_value_offset]), view.count);
      byte_order::put_be32(&bytes[handheld_log::count_value_offset], sum);
      ++result.counts_added;
      return true;
    }
    int32_t at = append(data);
    if (at < 0) return false;
    std::unique_ptr<PalmRecord> added = log_.get_record(at);
    byte_order::put_be32(&added->data()[handheld_log::count_target_offset], target);
    index_.emplace(std::move(key), at);
    ++result.counts_inserted;
    return true;
  }

  // Appends a record holding `data` with an id no other record of the log
  // has; its index, or -1 when it could not be made.
  int32_t append(std::span<const uint8_t> data) {
    int32_t at = log_.record_count();
    std::unique_ptr<PalmRecord> record = log_.new_record(at, static_cast<uint32_t>(data.size()));
    if (record == nullptr) return -1;
    record->write(0, data.data(), static_cast<uint32_t>(data.size()));
    // The seed normally gives a fresh id; a log whose seed fell behind its
    // ids (written elsewhere, or damaged) must not get a second record with
    // an id counts already point to.
    uint32_t id = log_.record_info(at)->unique_id;
    while (used_ids_.contains(id)) id = (id + 1) & 0xFFFFFF;
    log_.set_record_info(at, 0, id);
    used_ids_.insert(id);
    return at;
  }

  PalmDatabase& copy_;
  PalmDatabase& log_;
  std::unordered_map<std::string, int32_t> index_;  // key -> index in the log
  std::unordered_set<uint32_t> used_ids_;
  std::unordered_map<uint32_t, uint32_t> mapping_;  // copy's target id -> log's
};

// Warnings 48 and 49 name the copy and how many records they concern.
void report_count(ErrorState& reporter, int32_t code, int32_t how_many, const std::string& path) {
  if (how_many == 0) return;
  ContextLease file = ContextLease::register_text(String(path), ErrorSink::retention_transient);
  reporter.raise_warning(code, how_many, file.slot());
}

}  // namespace

MergeResult WayfetchReplicator::merge_copy(const std::string& copy_path) {
  MergeResult result;
  // Read-only in memory: the copy is never written back.
  std::unique_ptr<PalmDatabase> copy =
      PalmDatabase::open(copy_path, File::read_existing, PalmDatabase::mode_memory);
  if (copy == nullptr) return result;  // not a Palm database: nothing is done
  LogFile log;
  if (!log.open_or_create(setup_.log_path, copy->name(), *this)) return result;

  bool made = false;
  try {
    made = LogMerger(*copy, log.database()).run(result);
  } catch (const std::bad_alloc&) {
    made = false;
  }
  if (!made) {
    raise_error(errors::replicator_allocation);
    log.abandon();
    return result;
  }
  report_count(*this, warnings::log_records_damaged, result.damaged, copy_path);
  report_count(*this, warnings::log_counts_unmapped, result.unmapped, copy_path);
  if (!log.write_back(*this)) return result;
  // Only now that the log holds its counts may the copy go.
  static_cast<void>(platform::remove_file(copy_path));
  result.merged = true;
  return result;
}

int32_t WayfetchReplicator::merge_returned_logs(MessageList messages) {
  int32_t merged = 0;
  for (const std::unique_ptr<PipeMessage>& message : messages) {
    if (message == nullptr || message->kind() != PipeMessage::kind_file) continue;
    const auto& file = static_cast<const FileMessage&>(*message);
    if (file.direction != FileMessage::direction_handheld_log || file.state != returned_state) {
      continue;
    }
    // The path comes from the other process: only the file this run told
    // the conduit to write is taken, whatever else a message names.
    if (setup_.returned_path.empty() || file.path.to_utf8() != setup_.returned_path) continue;
    if (merge_copy(setup_.returned_path).merged) ++merged;
  }
  return merged;
}

int32_t WayfetchReplicator::merge_returned_logs(MessageQueue& incoming) {
  MessageList messages;
  static_cast<void>(incoming.take_all(messages, 0));
  return merge_returned_logs(std::move(messages));
}

}  // namespace wayfetch
