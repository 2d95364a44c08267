#include "hotsync/sync_service.h"

#include <cstring>

#include "web/timestamp.h"

namespace wayfetch::hotsync {
namespace {

// Seconds from 1904-01-01 to 1970-01-01.
constexpr int64_t palm_epoch_offset = 2082844800;

bool matches(const char* wanted, const char (&have)[4]) {
  return wanted == nullptr || std::memcmp(wanted, have, 4) == 0;
}

}  // namespace

std::mutex& SyncService::mutex() {
  static std::mutex lock;
  return lock;
}

SyncService::~SyncService() {
  std::lock_guard lock(mutex());
  if (current_ == this) current_ = nullptr;
}

void SyncService::serve(SyncService* service) {
  std::lock_guard lock(mutex());
  current_ = service;
}

void SyncService::begin_conduit() {
  std::lock_guard lock(mutex());
  serving_ = true;
  cancelled_ = false;
  found_.clear();
  searching_ = false;
}

void SyncService::end_conduit() {
  std::lock_guard lock(mutex());
  serving_ = false;
  found_.clear();
  searching_ = false;
  handheld_.close_all();
}

void SyncService::cancel() {
  std::lock_guard lock(mutex());
  cancelled_ = true;
  handheld_.close_all();
}

uint32_t SyncService::palm_now() const {
  // The handheld keeps a 32-bit count: it wraps in 2040, as the device's does.
  return static_cast<uint32_t>(Timestamp::now().to_unix() + clock_offset_ + palm_epoch_offset);
}

int32_t SyncService::read_clock(SyncDateTime* clock) const {
  if (clock == nullptr) return sync_err_bad_argument;
  const uint32_t seconds = palm_now();
  TimeFields fields;
  if (!Timestamp::from_unix(static_cast<int64_t>(seconds) - palm_epoch_offset).to_fields(fields))
    return sync_err_general;
  *clock = SyncDateTime{fields.year,   fields.month,  fields.day,         fields.hour,
                        fields.minute, fields.second, fields.day_of_week, seconds};
  return sync_ok;
}

int32_t SyncService::find(int32_t new_search, const char* type, const char* creator,
                          SyncDatabaseInfo* info) {
  if (info == nullptr) return sync_err_bad_argument;
  // A listing is a snapshot: databases created or deleted while it runs do
  // not move the ones still to come.
  if (new_search != 0 || !searching_) {
    found_.clear();
    reported_ = 0;
    searching_ = true;
    for (const HandheldDatabase& database : handheld_.databases()) {
      if (matches(type, database.info.type) && matches(creator, database.info.creator))
        found_.push_back(database.info);
    }
  }
  if (reported_ >= found_.size()) return sync_err_not_found;
  *info = found_[reported_++];
  return sync_ok;
}

int32_t SyncService::add_log_entry(const char* text) {
  if (text == nullptr) return sync_err_bad_argument;
  log_.add(std::string_view(text, strnlen(text, HotSyncLog::max_line)));
  return sync_ok;
}

}  // namespace wayfetch::hotsync
