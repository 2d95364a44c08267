// The Sync Manager operations as the host exports them to conduits (by the
// linker's dynamic list sync_exports.list, which names exactly these). Each
// one hands its call to the SyncService that is serving.
#include "conduit/sync_manager.h"
#include "hotsync/sync_service.h"

using wayfetch::hotsync::SyncService;

extern "C" {

int32_t SyncReadSysDateTime(SyncDateTime* clock) {
  return SyncService::call([&](SyncService& s) { return s.read_clock(clock); });
}

int32_t SyncFindDbByTypeCreator(int32_t new_search, const char* type, const char* creator,
                                SyncDatabaseInfo* info) {
  return SyncService::call([&](SyncService& s) { return s.find(new_search, type, creator, info); });
}

int32_t SyncOpenDatabase(const char* name, int32_t card, uint8_t mode, int32_t* handle) {
  return SyncService::call(
      [&](SyncService& s) { return s.handheld().open_database(name, card, mode, handle); });
}

int32_t SyncReadRecordByIndex(SyncRecord* record) {
  return SyncService::call([&](SyncService& s) { return s.handheld().read_record(record); });
}

int32_t SyncCloseDatabase(int32_t handle) {
  return SyncService::call([&](SyncService& s) { return s.handheld().close_database(handle); });
}

int32_t SyncCreateDatabase(const SyncCreateRequest* request, int32_t* handle) {
  return SyncService::call(
      [&](SyncService& s) { return s.handheld().create_database(request, s.palm_now(), handle); });
}

int32_t SyncWriteRecord(SyncRecord* record) {
  return SyncService::call([&](SyncService& s) { return s.handheld().write_record(record); });
}

int32_t SyncDeleteDatabase(const char* name, int32_t card) {
  return SyncService::call(
      [&](SyncService& s) { return s.handheld().delete_database(name, card); });
}

int32_t SyncReadPositionXMap(SyncPositionMap* map) {
  return SyncService::call([&](SyncService& s) { return s.handheld().read_position_map(map); });
}

int32_t SyncAddLogEntry(const char* text) {
  return SyncService::call([&](SyncService& s) { return s.add_log_entry(text); });
}

int32_t SyncYieldCycles(uint16_t) {
  return SyncService::call([](SyncService&) { return static_cast<int32_t>(sync_ok); });
}

}  // extern "C"
