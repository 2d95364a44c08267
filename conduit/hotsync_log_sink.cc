#include "conduit/hotsync_log_sink.h"

#include <utility>

#include "core/message_table.h"

namespace wayfetch {
namespace {

std::string record_text(std::string_view text, const char* kind, int32_t code) {
  // Codes outside the table still leave a trace.
  if (!text.empty()) return std::string(text);
  return std::string(kind) + " " + std::to_string(code);
}

}  // namespace

HotSyncLogSink::HotSyncLogSink(const SyncManagerCalls& sync)
    : sync_(sync), owner_(std::this_thread::get_id()) {}

void HotSyncLogSink::write_error(int32_t code, int32_t, int32_t) {
  record(record_text(messages::error_text(code), "Error", code));
}

void HotSyncLogSink::write_warning(int32_t code, int32_t, int32_t) {
  record(record_text(messages::warning_text(code), "Warning", code));
}

int32_t HotSyncLogSink::register_context(const String&, int32_t, uint64_t) {
  return -1;
}

void HotSyncLogSink::release_context(int32_t, uint64_t) {}

void HotSyncLogSink::add(std::string_view line) {
  flush();
  sync_.log(line);
}

void HotSyncLogSink::flush() {
  std::vector<std::string> lines;
  {
    platform::PlainLock lock(mutex_);
    lines.swap(pending_);
  }
  for (const std::string& line : lines) sync_.log(line);
}

void HotSyncLogSink::record(std::string line) {
  if (std::this_thread::get_id() == owner_) {
    add(line);
    return;
  }
  platform::PlainLock lock(mutex_);
  pending_.push_back(std::move(line));
}

}  // namespace wayfetch
