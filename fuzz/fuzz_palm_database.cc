// Opens arbitrary bytes as a Palm database in memory (mode 0) and on demand
// (mode 1) and reads every record; a database that opens must also survive a
// write-back unchanged: reopened, it holds the same records.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/palm_database.h"
#include "fuzz/scratch_folder.h"

namespace {

using wayfetch::PalmDatabase;

struct Record {
  std::vector<uint8_t> data;
  uint8_t attributes;
  uint32_t unique_id;
  bool operator==(const Record&) const = default;
};

// Every record of the database, or nothing when it does not open.
bool read_all(const std::string& path, uint8_t code, int32_t mode, std::vector<Record>& out) {
  auto db = PalmDatabase::open(path, code, mode);
  if (db == nullptr) return false;
  out.clear();
  for (int32_t i = 0; i < db->record_count(); ++i) {
    auto record = db->get_record(i);
    auto info = db->record_info(i);
    if (record == nullptr || !info || record->size() != db->record_size(i)) std::abort();
    out.push_back(
        {{record->data().begin(), record->data().end()}, info->attributes, info->unique_id});
  }
  if (db->get_record(db->record_count()) != nullptr) std::abort();
  (void)db->name();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = wayfetch::fuzzing::scratch_folder("fuzz-palm") + "/input.pdb";
  wayfetch::fuzzing::write_file(path, data, size);
  std::vector<Record> in_memory;
  std::vector<Record> on_demand;
  bool opened = read_all(path, 0x09, 0, in_memory);
  if (read_all(path, 0x09, 1, on_demand) != opened) std::abort();
  if (!opened) return 0;
  if (in_memory != on_demand) std::abort();

  // Round trip: write back through a writable mode 0, then read again.
  auto db = PalmDatabase::open(path, 0x0B, 0);
  if (db == nullptr || !db->close()) std::abort();
  std::vector<Record> again;
  if (!read_all(path, 0x09, 1, again) || again != in_memory) std::abort();
  return 0;
}
