// Sending the handheld log's counts to their report targets.
#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/error_sink.h"
#include "core/file.h"
#include "core/palm_database.h"
#include "delivery/handheld_log.h"
#include "delivery/log_files.h"
#include "delivery/wayfetch_replicator.h"
#include "web/web_connector.h"
#include "web/web_source.h"

namespace wayfetch {
namespace {

using handheld_log::RecordKind;
using handheld_log::RecordView;

String log_text(std::span<const uint8_t> bytes) {
  String text;
  text.set_text(bytes.data(), static_cast<int32_t>(bytes.size()), TextEncoding::SingleByte,
                handheld_log::code_page);
  return text;
}

// Posts one report; the server's answer is not needed, only its status.
int32_t post_report(WebSource& web, const String& address, const std::string& report) {
  File answer;
  if (!answer.open_temporary()) return errors::internet_storage_failed;
  WebRequest request;
  request.address = address;
  request.target = &answer;
  request.form_data.set_text(report, TextEncoding::SingleByte, handheld_log::code_page);
  return web.post(request).status;
}

}  // namespace

UploadResult WayfetchReplicator::upload_log(WebSource& web) {
  UploadResult result;
  LogFile log;
  if (!log.open_existing(setup_.log_path, *this)) return result;
  PalmDatabase& database = log.database();

  // Every record is read once: the targets in their order, and each
  // target's counts in theirs.
  int32_t count = database.record_count();
  std::vector<std::unique_ptr<PalmRecord>> records;
  std::vector<int32_t> targets;
  std::unordered_map<uint32_t, std::vector<int32_t>> counts_of;  // target id -> count indexes
  std::vector<RecordView> views;
  try {
    records.resize(static_cast<std::size_t>(count));
    views.resize(records.size());
    for (int32_t i = 0; i < count; ++i) {
      auto at = static_cast<std::size_t>(i);
      records[at] = database.get_record(i);
      views[at] = handheld_log::read_record(records[at]->data());
      if (views[at].kind == RecordKind::target) targets.push_back(i);
      if (views[at].kind == RecordKind::count) counts_of[views[at].target_id].push_back(i);
    }
  } catch (const std::bad_alloc&) {
    raise_error(errors::replicator_allocation);
    return result;  // the log stays as it is for the next run
  }
  if (targets.empty()) {
    log.remove();
    result.log_deleted = true;
    return result;
  }

  std::vector<int32_t> done;  // records of the targets sent, and their counts
  for (int32_t target : targets) {
    const RecordView& view = views[static_cast<std::size_t>(target)];
    uint32_t id = database.record_info(target)->unique_id;
    const std::vector<int32_t>& counts = counts_of[id];
    std::string report;
    for (int32_t c : counts) {
      const RecordView& entry = views[static_cast<std::size_t>(c)];
      handheld_log::append_report_entry(report, view.format, entry.name, entry.count);
    }
    if (!report.empty()) {
      String address = log_text(view.address);
      // A database from the handheld must not make the program post to
      // local files or any other scheme.
      if (!handheld_log::is_web_address(view.address)) {
        ContextLease url = ContextLease::register_text(address, ErrorSink::retention_transient);
        raise_warning(warnings::log_target_not_web, url.slot());
        ++result.refused;
        continue;
      }
      int32_t status = post_report(web, address, report);
      if (status != WebConnector::ok) {
        report_failed_request(*this, address, status);
        ++result.failed;
        continue;
      }
    }
    ++result.sent;
    done.push_back(target);
    done.insert(done.end(), counts.begin(), counts.end());
  }

  if (result.failed == 0 && result.refused == 0) {
    log.remove();
    result.log_deleted = true;
    return result;
  }
  records.clear();  // handles go before the table changes
  // From the back, so that the indexes still to delete stay where they are.
  std::sort(done.begin(), done.end());
  done.erase(std::unique(done.begin(), done.end()), done.end());
  for (auto it = done.rbegin(); it != done.rend(); ++it) database.delete_record(*it);
  static_cast<void>(log.write_back(*this));
  return result;
}

}  // namespace wayfetch
