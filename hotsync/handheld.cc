#include "hotsync/handheld.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "hotsync/database_name.h"
#include "platform/file_system.h"

namespace wayfetch::hotsync {
namespace {

constexpr int64_t smallest_database = 78;
constexpr uintmax_t largest_database = 0x7FFFFFFF;
constexpr uint32_t max_unique_id = 0xFFFFFF;
// create_file_beside(folder + "/" + this) makes ".wayfetch-hotsync-new.XXXXXX".
constexpr std::string_view temporary_target = "wayfetch-hotsync-new";

// The name in a caller's buffer of sync_name_size bytes; "" when it is not
// terminated inside it or empty.
std::string name_argument(const char* name) {
  if (name == nullptr) return "";
  std::size_t length = strnlen(name, sync_name_size);
  return length == sync_name_size ? "" : std::string(name, length);
}

SyncDatabaseInfo info_of(const PalmDatabase& database, uint32_t local_id) {
  const PalmHeader& header = database.header();
  SyncDatabaseInfo info{};
  std::memcpy(info.name, header.name.data(), sizeof info.name);
  info.name[sizeof info.name - 1] = '\0';
  info.card = 0;
  info.local_id = local_id;
  info.attributes = header.attributes;
  info.version = header.version;
  std::memcpy(info.type, header.type.data(), 4);
  std::memcpy(info.creator, header.creator.data(), 4);
  info.creation_date = header.creation_date;
  info.modification_date = header.modification_date;
  info.backup_date = header.backup_date;
  info.modification_number = header.modification_number;
  info.record_count = static_cast<uint32_t>(database.record_count());
  return info;
}

std::string in_quotes(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

}  // namespace

bool is_leftover_temporary(std::string_view file_name) {
  // Also the file PalmDatabase writes beside one while closing it.
  return file_name.starts_with(leftover_prefix) ||
         (file_name.starts_with(".") && file_name.substr(1).starts_with(leftover_prefix));
}

std::string HandheldDatabase::name() const {
  return std::string(info.name, strnlen(info.name, sizeof info.name));
}

bool Handheld::open(const std::string& folder) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return false;
  folder_ = folder;
  std::vector<std::string> files;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    files.push_back(it->path().filename().string());
  }
  if (error) return false;
  // Byte order of file names decides which of two files with one name wins.
  std::sort(files.begin(), files.end());
  for (const std::string& file : files) read_file(file);
  return true;
}

void Handheld::read_file(const std::string& file) {
  std::error_code error;
  const std::string full = path(file);
  const auto type = std::filesystem::symlink_status(full, error).type();
  if (type == std::filesystem::file_type::regular && is_leftover_temporary(file)) {
    bool removed = platform::remove_file(full);
    log_.add((removed ? "Removed " : "Could not remove ") + in_quotes(file) +
             ", a database left unfinished by an interrupted HotSync");
    return;
  }
  // Symbolic links are not followed: a link could lead out of the folder.
  if (type != std::filesystem::file_type::regular) {
    log_.add("Skipped " + in_quotes(file) + ": not a regular file");
    return;
  }
  const uintmax_t size = std::filesystem::file_size(full, error);
  const char* why = nullptr;
  std::unique_ptr<PalmDatabase> database;
  if (error) {
    why = "cannot be read";
  } else if (size < smallest_database) {
    why = size == 0 ? "empty" : "too short for a Palm database";
  } else if (size > largest_database) {
    why = "too large for a Palm database";
  } else {
    database = PalmDatabase::open(full, File::read_existing, PalmDatabase::mode_on_demand);
    if (!database) why = "not a Palm database";
  }
  if (why == nullptr && !is_database_name(database->name())) why = "its database has no name";
  if (why != nullptr) {
    log_.add("Skipped " + in_quotes(file) + ": " + why);
    return;
  }
  if (const HandheldDatabase* first = find(database->name())) {
    log_.add("Skipped " + in_quotes(file) + ": the database " + in_quotes(database->name()) +
             " is already in " + in_quotes(first->file));
    return;
  }
  databases_.push_back({file, info_of(*database, next_local_id_++)});
}

const HandheldDatabase* Handheld::find(std::string_view name) const {
  auto it = std::find_if(databases_.begin(), databases_.end(),
                         [&](const HandheldDatabase& d) { return d.name() == name; });
  return it == databases_.end() ? nullptr : &*it;
}

Handheld::OpenDatabase* Handheld::find_open(int32_t handle) {
  auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

bool Handheld::is_open(std::string_view name) const {
  return std::any_of(open_.begin(), open_.end(),
                     [&](const auto& entry) { return entry.second.name == name; });
}

int32_t Handheld::open_database(const char* name_bytes, int32_t card, uint8_t mode,
                                int32_t* handle) {
  const std::string name = name_argument(name_bytes);
  if (name.empty() || handle == nullptr) return sync_err_bad_argument;
  // Handheld databases are read here; only created ones are written.
  if ((mode & sync_mode_read) == 0 || (mode & sync_mode_write) != 0) return sync_err_bad_argument;
  const HandheldDatabase* known = card == 0 ? find(name) : nullptr;
  if (known == nullptr) return sync_err_not_found;
  if (open_.size() >= sync_max_open || next_handle_ == INT32_MAX) return sync_err_limit;
  OpenDatabase opened;
  opened.name = name;
  opened.database =
      PalmDatabase::open(path(known->file), File::read_existing, PalmDatabase::mode_on_demand);
  // The file may have changed since the folder was read: it must still be
  // a sound database of that name.
  if (!opened.database || opened.database->name() != name) return sync_err_io;
  *handle = next_handle_++;
  open_.emplace(*handle, std::move(opened));
  return sync_ok;
}

int32_t Handheld::create_database(const SyncCreateRequest* request, uint32_t now, int32_t* handle) {
  if (request == nullptr || handle == nullptr) return sync_err_bad_argument;
  const std::string name = name_argument(request->name);
  if (name.empty() || request->card != 0) return sync_err_bad_argument;
  if (find(name) != nullptr || is_open(name)) return sync_err_exists;
  if (open_.size() >= sync_max_open || next_handle_ == INT32_MAX) return sync_err_limit;
  OpenDatabase created;
  created.name = name;
  created.writing = true;
  created.temporary = platform::create_file_beside(path(temporary_target));
  if (created.temporary.empty()) return sync_err_io;
  constexpr uint8_t open_existing = 0x08;
  created.database =
      PalmDatabase::create(created.temporary, open_existing, std::string_view(request->creator, 4),
                           std::string_view(request->type, 4), PalmDatabase::mode_memory);
  if (!created.database) {
    platform::remove_file(created.temporary);
    return sync_err_io;
  }
  created.database->set_name(name);
  created.database->set_info({.attributes = request->attributes, .version = request->version});
  created.database->set_dates(
      {.creation = request->creation_date != 0 ? request->creation_date : now,
       .modification = request->modification_date != 0 ? request->modification_date : now,
       .backup = 0});
  *handle = next_handle_++;
  open_.emplace(*handle, std::move(created));
  return sync_ok;
}

int32_t Handheld::close_database(int32_t handle) {
  auto it = open_.find(handle);
  if (it == open_.end()) return sync_err_bad_handle;
  OpenDatabase closing = std::move(it->second);
  open_.erase(it);
  if (!closing.writing) return sync_ok;
  return finish_created(closing);
}

// Writes a created database into its temporary file and renames that to the
// database's file; until the rename nothing of it is visible as a database.
int32_t Handheld::finish_created(OpenDatabase& created) {
  SyncDatabaseInfo info = info_of(*created.database, next_local_id_++);
  const bool written = created.database->close();
  created.database.reset();
  const std::string mapped = file_name_for_database(created.name);
  const std::string stem = mapped.substr(0, mapped.size() - 4);
  // A file that is not this database (a skipped one, or a user's file of the
  // same name) is never replaced: the database gets another file name.
  std::string file;
  for (int n = 1; written && n < 1000 && file.empty(); ++n) {
    std::string candidate = n == 1 ? mapped : stem + "~" + std::to_string(n) + ".pdb";
    std::error_code error;
    if (std::filesystem::symlink_status(path(candidate), error).type() ==
        std::filesystem::file_type::not_found) {
      file = candidate;
    }
  }
  // The temporary file was made private; the database gets the permissions
  // any new file of the user gets.
  if (!file.empty()) platform::use_default_permissions(created.temporary);
  if (file.empty() || !platform::replace_file(created.temporary, path(file))) {
    platform::remove_file(created.temporary);
    log_.add("Could not store the database " + in_quotes(created.name) + " on the handheld");
    return sync_err_io;
  }
  HandheldDatabase added{file, info};
  auto at = std::lower_bound(
      databases_.begin(), databases_.end(), added,
      [](const HandheldDatabase& a, const HandheldDatabase& b) { return a.file < b.file; });
  databases_.insert(at, added);
  return sync_ok;
}

int32_t Handheld::delete_database(const char* name_bytes, int32_t card) {
  const std::string name = name_argument(name_bytes);
  if (name.empty()) return sync_err_bad_argument;
  if (card != 0) return sync_err_not_found;
  if (is_open(name)) return sync_err_busy;
  auto it = std::find_if(databases_.begin(), databases_.end(),
                         [&](const HandheldDatabase& d) { return d.name() == name; });
  if (it == databases_.end()) return sync_err_not_found;
  std::error_code error;
  if (!platform::remove_file(path(it->file)) &&
      std::filesystem::symlink_status(path(it->file), error).type() !=
          std::filesystem::file_type::not_found) {
    return sync_err_io;
  }
  databases_.erase(it);
  return sync_ok;
}

int32_t Handheld::read_record(SyncRecord* record) {
  if (record == nullptr) return sync_err_bad_argument;
  OpenDatabase* opened = find_open(record->handle);
  if (opened == nullptr) return sync_err_bad_handle;
  if (record->index < 0) return sync_err_bad_argument;
  PalmDatabase& database = *opened->database;
  if (record->index >= database.record_count()) return sync_err_not_found;
  const uint32_t size = database.record_size(record->index);
  if (size > sync_max_record_size) {
    record->size = size;
    return sync_err_too_big;
  }
  if (size > record->buffer_size || (size > 0 && record->buffer == nullptr)) {
    record->size = size;
    return sync_err_buffer_small;
  }
  auto info = database.record_info(record->index);
  auto data = database.get_record(record->index);
  if (!info || !data || data->size() != size) return sync_err_io;
  if (size > 0) std::memcpy(record->buffer, data->data().data(), size);
  record->size = size;
  record->attributes = info->attributes;
  record->unique_id = info->unique_id;
  return sync_ok;
}

int32_t Handheld::write_record(SyncRecord* record) {
  if (record == nullptr) return sync_err_bad_argument;
  OpenDatabase* opened = find_open(record->handle);
  if (opened == nullptr) return sync_err_bad_handle;
  if (!opened->writing) return sync_err_read_only;
  const uint32_t size = record->buffer_size;
  if (size > sync_max_record_size) return sync_err_too_big;
  if ((size > 0 && record->buffer == nullptr) || record->unique_id > max_unique_id)
    return sync_err_bad_argument;
  PalmDatabase& database = *opened->database;
  const uint32_t id = record->unique_id != 0 ? record->unique_id : opened->next_unique_id;
  if (id > max_unique_id) return sync_err_limit;
  if (opened->unique_ids.count(id) != 0) return sync_err_exists;
  const int32_t index = database.record_count();
  if (index >= PalmDatabase::max_records) return sync_err_limit;
  auto added = database.new_record(index, size);
  if (!added) return sync_err_limit;
  if (size > 0) added->write(0, record->buffer, size);
  database.release_record(std::move(added));
  database.set_record_info(index, record->attributes, id);
  opened->unique_ids.insert(id);
  opened->next_unique_id = std::max(opened->next_unique_id, id + 1);
  record->index = index;
  record->size = size;
  record->unique_id = id;
  return sync_ok;
}

int32_t Handheld::read_position_map(SyncPositionMap* map) {
  if (map == nullptr) return sync_err_bad_argument;
  OpenDatabase* opened = find_open(map->handle);
  if (opened == nullptr) return sync_err_bad_handle;
  const int32_t count = opened->database->record_count();
  if (static_cast<uint32_t>(count) > map->capacity) {
    map->count = static_cast<uint32_t>(count);
    return sync_err_buffer_small;
  }
  if (count > 0 && map->ids == nullptr) return sync_err_bad_argument;
  for (int32_t i = 0; i < count; ++i) {
    auto info = opened->database->record_info(i);
    map->ids[i] = info ? info->unique_id : 0;
  }
  map->count = static_cast<uint32_t>(count);
  return sync_ok;
}

void Handheld::close_all() {
  for (auto& [handle, opened] : open_) {
    if (opened.writing) {
      opened.database->discard();
      opened.database.reset();
      platform::remove_file(opened.temporary);
      log_.add("Discarded the database " + in_quotes(opened.name) +
               ": it was created but never closed");
    } else {
      opened.database.reset();
      log_.add("Closed the database " + in_quotes(opened.name) + ", which was left open");
    }
  }
  open_.clear();
}

}  // namespace wayfetch::hotsync
