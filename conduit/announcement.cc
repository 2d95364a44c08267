// Handling the program's announcements: installing desktop files on the
// handheld, deleting handheld databases, reading the handheld log back.
#include <cstring>
#include <filesystem>
#include <new>

#include "conduit/synchronisation.h"
#include "core/palm_database.h"
#include "platform/file_replacement.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

// The states the program gives its announcements.
enum : int32_t {
  state_new = 0,
  state_gone = 1,   // no desktop file: the handheld copy goes
  state_built = 2,  // built in this run; also what the conduit reports
  state_read_back = 3,
  state_kept = 4,  // exists, not rebuilt
  state_remove = 5,
  state_pending = 6,  // to be built; announced again later
  state_closing = 7,
};

constexpr uint8_t open_existing = 0x08;

bool opens_desktop_file(int32_t state) {
  return state == state_new || state == state_built || state == state_kept || state == state_remove;
}

// A desktop path's file name without its extension: the name the database
// of an announcement without a desktop file goes by.
std::string name_from_path(const std::string& path) {
  return std::filesystem::path(path).stem().string();
}

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

}  // namespace

void Synchronisation::handle(FileMessage& entry) {
  const std::string path = entry.path.to_utf8();
  if (entry.state < state_new || entry.state > state_closing ||
      (entry.direction != FileMessage::direction_ebook &&
       entry.direction != FileMessage::direction_handheld_log)) {
    log_.add("Skipped the announcement of " + quoted(path) + ": unknown state " +
             std::to_string(entry.state) + " or direction " + std::to_string(entry.direction));
    return;
  }
  if (entry.state == state_pending || entry.state == state_closing) return;

  std::unique_ptr<PalmDatabase> desktop;
  std::string name;
  const bool guessed_name = !opens_desktop_file(entry.state);
  if (guessed_name) {
    name = name_from_path(path);
  } else {
    // A FIFO or a device would block the HotSync when opened.
    if (platform::is_regular_file(path)) {
      desktop = PalmDatabase::open(path, File::read_existing, PalmDatabase::mode_on_demand);
    }
    if (!desktop) {
      entry.state = state_read_back;
      log_.add("Skipped " + quoted(path) + ": not a readable Palm database");
      return;
    }
    name = desktop->name();
  }

  DeviceEntry* device = find_device(entry.direction, name);
  // A name taken from the file name is a guess: it never acts on a database
  // another announcement has already claimed.
  if (device != nullptr && guessed_name && device->handled) device = nullptr;

  switch (entry.state) {
    case state_gone:
    case state_remove:
      if (device != nullptr) remove_from_handheld(*device);
      break;
    case state_read_back:
      if (device != nullptr && copy_to_desktop(*device, path) &&
          entry.direction == FileMessage::direction_handheld_log) {
        entry.state = state_built;
        report(entry);
        remove_from_handheld(*device);
      }
      break;
    case state_kept:
      if (device != nullptr && entry.modified <= device->modified) break;
      [[fallthrough]];
    default:  // new and built
      if (device != nullptr) remove_from_handheld(*device);
      if (install(*desktop, path)) {
        entry.state = state_built;
        report(entry);
        // A later announcement of the same book replaces this one.
        if (device == nullptr) device = &remember(*desktop, entry);
      }
      break;
  }
  if (device != nullptr) device->handled = true;
}

Synchronisation::DeviceEntry& Synchronisation::remember(const PalmDatabase& installed,
                                                        const FileMessage& entry) {
  DeviceEntry device;
  const PalmHeader& header = installed.header();
  std::memcpy(device.info.name, header.name.data(), sizeof device.info.name - 1);
  std::memcpy(device.info.type, header.type.data(), sizeof device.info.type);
  std::memcpy(device.info.creator, header.creator.data(), sizeof device.info.creator);
  device.info.card = 0;
  device.direction = entry.direction;
  device.modified = entry.modified;
  devices_.push_back(device);
  return devices_.back();
}

Synchronisation::DeviceEntry* Synchronisation::find_device(int32_t direction,
                                                           const std::string& name) {
  for (DeviceEntry& device : devices_) {
    if (device.direction != direction) continue;
    // The handheld holds one log: any name will do.
    if (direction == FileMessage::direction_handheld_log || device.name() == name) return &device;
  }
  return nullptr;
}

bool Synchronisation::remove_from_handheld(DeviceEntry& device) {
  const std::string name = device.name();
  show_progress("Deleting " + name);
  const int32_t result = sync_.remove(device.info.name, device.info.card);
  yield();
  // Not found: deleted earlier in this HotSync.
  if (result == sync_ok || result == sync_err_not_found) return true;
  log_.add("Could not delete " + quoted(name) + " from the handheld (" + std::to_string(result) +
           ")");
  return false;
}

bool Synchronisation::install(PalmDatabase& desktop, const std::string& path) {
  const std::string name = desktop.name();
  show_progress("Installing " + name);
  const PalmHeader& header = desktop.header();
  SyncCreateRequest request{};
  std::memcpy(request.name, header.name.data(), sizeof request.name - 1);
  request.card = 0;
  request.attributes = header.attributes;
  request.version = header.version;
  std::memcpy(request.type, header.type.data(), sizeof request.type);
  std::memcpy(request.creator, header.creator.data(), sizeof request.creator);
  request.creation_date = header.creation_date;
  request.modification_date = header.modification_date;

  int32_t handle = 0;
  int32_t result = sync_.create(&request, &handle);
  if (result == sync_ok) {
    // A new database holds no records yet; its map is read all the same,
    // as the handheld expects before the first write.
    uint32_t ids[1];
    SyncPositionMap map{handle, ids, 1, 0};
    result = sync_.position_map(&map);
    if (result == sync_ok) result = write_records(desktop, handle);
    const int32_t closed = sync_.close(handle);
    if (result == sync_ok) result = closed;
    // The half-made database must not stay on the handheld.
    if (result != sync_ok) sync_.remove(request.name, 0);
  }
  yield();
  if (result == sync_ok) return true;
  log_.add("Could not install " + quoted(path) + " as " + quoted(name) + " on the handheld (" +
           std::to_string(result) + ")");
  return false;
}

int32_t Synchronisation::write_records(PalmDatabase& desktop, int32_t handle) {
  for (int32_t i = 0; i < desktop.record_count(); ++i) {
    std::unique_ptr<PalmRecord> record = desktop.get_record(i);
    const std::optional<PalmRecordInfo> info = desktop.record_info(i);
    // The file changed since it was opened.
    if (!record || !info) return sync_err_io;
    std::span<uint8_t> bytes = record->data();
    SyncRecord write{
        handle,         0, bytes.data(), static_cast<uint32_t>(bytes.size()), 0, info->attributes,
        info->unique_id};
    const int32_t result = sync_.write_record(&write);
    desktop.release_record(std::move(record));
    if (result != sync_ok) return result;
    if (!yield()) return sync_err_cancelled;
  }
  return sync_ok;
}

bool Synchronisation::copy_to_desktop(const DeviceEntry& device, const std::string& path) {
  const std::string name = device.name();
  show_progress("Reading back " + name);
  int32_t handle = 0;
  const bool opened =
      sync_.open(device.info.name, device.info.card, sync_mode_read, &handle) == sync_ok;
  bool copied = opened && copy_records(device, handle, path);
  if (!opened) raise_warning(warnings::device_file);
  if (opened) sync_.close(handle);
  if (!copied) log_.add("Could not copy " + quoted(name) + " from the handheld to " + quoted(path));
  return copied;
}

bool Synchronisation::copy_records(const DeviceEntry& device, int32_t handle,
                                   const std::string& path) {
  // The copy is written beside its target and renamed when complete, so the
  // program never merges half a database.
  platform::FileReplacement target(path);
  std::unique_ptr<PalmDatabase> copy;
  if (target.ready()) {
    copy =
        PalmDatabase::create(target.path(), open_existing, std::string_view(device.info.creator, 4),
                             std::string_view(device.info.type, 4), PalmDatabase::mode_memory);
  }
  if (!copy) {
    raise_warning(warnings::device_file);
    return false;
  }
  copy->set_name(device.name());
  copy->set_info({.attributes = device.info.attributes,
                  .version = device.info.version,
                  .modification_number = device.info.modification_number});
  copy->set_dates({.creation = device.info.creation_date,
                   .modification = device.info.modification_date,
                   .backup = device.info.backup_date});
  if (!read_records(handle, *copy)) {
    copy->discard();
    return false;
  }
  if (copy->close() && target.commit()) return true;
  raise_warning(warnings::device_file);
  return false;
}

bool Synchronisation::read_records(int32_t handle, PalmDatabase& copy) {
  // One buffer for the largest record the handheld holds.
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[sync_max_record_size]);
  if (!buffer) {
    raise_error(errors::replicator_allocation);
    return false;
  }
  for (int32_t i = 0;; ++i) {
    SyncRecord read{handle, i, buffer.get(), sync_max_record_size, 0, 0, 0};
    const int32_t result = sync_.read_record(&read);
    if (result == sync_err_not_found) return true;
    if (result != sync_ok) return false;
    std::unique_ptr<PalmRecord> record = copy.new_record(i, read.size);
    if (!record || !record->write(0, buffer.get(), read.size) ||
        !copy.set_record_info(i, read.attributes, read.unique_id)) {
      return false;
    }
    copy.release_record(std::move(record));
    if (!yield()) return false;
  }
}

void Synchronisation::report(const FileMessage& entry) {
  outgoing_.add(entry.copy());
}

}  // namespace wayfetch
