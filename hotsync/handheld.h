// Handheld: a handheld simulated as a folder of Palm database files, one file
// per database, all on card 0 (docs/hotsync.md). It serves the database
// operations of the Sync Manager: list, open, read, create, write, close and
// delete, with the results of conduit/sync_manager.h.
//
// The folder is untrusted (it may be a reader's storage): open() reads the
// header of every regular file and keeps those that are sound Palm databases
// with a name; every other file, a second file with a name already seen
// (the first by file name wins) and anything that is not a regular file is
// skipped with a log line, and temporary files a killed host left behind are
// removed. Names map to file names through hotsync/database_name.h, so no
// name reaches outside the folder.
//
// A created database lives in a temporary file in the folder (leftover_prefix)
// until it is closed, and is then renamed to its file; a database that is
// never closed is discarded by close_all(). Every operation checks its
// handle, index and sizes and writes only into the caller's buffer within the
// size it gave.
//
// Not thread-safe: the SyncService serialises the calls.
#ifndef WAYFETCH_HOTSYNC_HANDHELD_H
#define WAYFETCH_HOTSYNC_HANDHELD_H

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "conduit/sync_manager.h"
#include "core/palm_database.h"
#include "hotsync/hotsync_log.h"

namespace wayfetch::hotsync {

// Temporary files of created databases start with this (and the file
// written while closing one with "." before it).
inline constexpr std::string_view leftover_prefix = ".wayfetch-hotsync-new.";

// Whether a file name is a temporary file of this host.
bool is_leftover_temporary(std::string_view file_name);

struct HandheldDatabase {
  std::string file;  // its file name in the folder
  SyncDatabaseInfo info{};
  std::string name() const;
};

class Handheld {
 public:
  explicit Handheld(HotSyncLog& log) : log_(log) {}
  Handheld(const Handheld&) = delete;
  Handheld& operator=(const Handheld&) = delete;
  ~Handheld() { close_all(); }

  // Reads the folder; false when it is no folder that can be read.
  bool open(const std::string& folder);
  // The databases in file-name order.
  const std::vector<HandheldDatabase>& databases() const { return databases_; }

  int32_t open_database(const char* name, int32_t card, uint8_t mode, int32_t* handle);
  // `now` is the handheld clock for dates left 0.
  int32_t create_database(const SyncCreateRequest* request, uint32_t now, int32_t* handle);
  int32_t close_database(int32_t handle);
  int32_t delete_database(const char* name, int32_t card);
  int32_t read_record(SyncRecord* record);
  int32_t write_record(SyncRecord* record);
  int32_t read_position_map(SyncPositionMap* map);
  // Closes what is still open; created databases that were not closed are
  // discarded (their temporary files removed). Each gets a log line.
  void close_all();

 private:
  struct OpenDatabase {
    std::string name;
    bool writing = false;
    std::unique_ptr<PalmDatabase> database;
    std::string temporary;  // writing: the file it lives in until closed
    uint32_t next_unique_id = 1;
    std::set<uint32_t> unique_ids;  // writing: the ids given so far
  };

  void read_file(const std::string& file_name);
  OpenDatabase* find_open(int32_t handle);
  bool is_open(std::string_view name) const;
  const HandheldDatabase* find(std::string_view name) const;
  int32_t finish_created(OpenDatabase& open);
  std::string path(std::string_view file_name) const {
    return folder_ + "/" + std::string(file_name);
  }

  HotSyncLog& log_;
  std::string folder_;
  std::vector<HandheldDatabase> databases_;
  std::map<int32_t, OpenDatabase> open_;
  int32_t next_handle_ = 1;
  uint32_t next_local_id_ = 1;
};

}  // namespace wayfetch::hotsync

#endif
