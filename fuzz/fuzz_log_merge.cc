// Arbitrary bytes as the log copy a handheld returns, merged into a fixed
// log; the log must then still open, be sorted, and survive an upload to a
// sink that refuses every address but http and https (and fails some).
// Seeds: fuzz/corpus/log_merge/.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "core/file.h"
#include "core/palm_database.h"
#include "delivery/handheld_log.h"
#include "delivery/wayfetch_replicator.h"
#include "fuzz/scratch_folder.h"
#include "web/web_source.h"

namespace {

using wayfetch::PalmDatabase;

const std::string& scratch_folder() {
  return wayfetch::fuzzing::scratch_folder("fuzz-log");
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void add(PalmDatabase& db, uint32_t id, const std::string& data) {
  int32_t at = db.record_count();
  auto record = db.new_record(at, static_cast<uint32_t>(data.size()));
  record->write(0, data.data(), static_cast<uint32_t>(data.size()));
  db.set_record_info(at, 0, id);
}

std::string target(uint8_t format, const std::string& address) {
  std::string r{'\0', '\0', static_cast<char>(format),
                '\0', '\0', static_cast<char>(address.size())};
  return r + address;
}

std::string count(const std::string& name, uint32_t target_id, uint32_t value) {
  std::string r(1, '\1');
  r += name;
  r.resize(33, '\0');
  for (uint32_t v : {target_id, value}) {
    for (int shift = 24; shift >= 0; shift -= 8) r += static_cast<char>(v >> shift);
  }
  return r;
}

// The log every input is merged into: targets of every kind, with counts.
const std::string& fixed_log() {
  static const std::string bytes = [] {
    std::string path = scratch_folder() + "/fixed.mbl";
    auto db = PalmDatabase::create(path, 0x14, "LORV", "LogF", PalmDatabase::mode_memory);
    add(*db, 1, target(0, "http://lines.example/a"));
    add(*db, 2, target(1, "https://fields.example/fail"));
    add(*db, 3, target(2, "file:///etc/passwd"));
    add(*db, 4, count("Sport", 1, 3));
    add(*db, 5, count("Wetter", 2, 0xFFFFFFF0));
    add(*db, 6, count("x&y=z", 3, 1));
    db->close();
    return read_file(path);
  }();
  return bytes;
}

// Posts nowhere: any address but http and https would be a fault, and
// addresses naming "fail" fail.
class Sink : public wayfetch::WebSource {
 public:
  wayfetch::WebResult get(const wayfetch::WebRequest&) override { std::abort(); }
  wayfetch::WebResult post(const wayfetch::WebRequest& request) override {
    std::string address = request.address.to_utf8();
    auto bytes =
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(address.data()), address.size());
    if (!wayfetch::handheld_log::is_web_address(bytes)) std::abort();
    wayfetch::WebResult result;
    if (address.find("fail") != std::string::npos) result.status = 106;
    return result;
  }
  void abort_all() override {}
};

// The log opens and its records are in order.
void check_log(const std::string& path) {
  if (access(path.c_str(), F_OK) != 0) return;
  auto db = PalmDatabase::open(path, wayfetch::File::read_existing, PalmDatabase::mode_memory);
  if (db == nullptr) std::abort();
  for (int32_t i = 1; i < db->record_count(); ++i) {
    auto a = db->get_record(i - 1);
    auto b = db->get_record(i);
    if (wayfetch::handheld_log::compare_records(a->data(), b->data()) > 0) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& log = fixed_log();
  wayfetch::ReplicatorSetup setup;
  setup.log_path = scratch_folder() + "/lorvbook.mbl";
  setup.returned_path = scratch_folder() + "/lorvbook_temp.mbl";
  wayfetch::fuzzing::write_file(setup.log_path, reinterpret_cast<const uint8_t*>(log.data()),
                                log.size());
  wayfetch::fuzzing::write_file(setup.returned_path, data, size);

  wayfetch::WayfetchReplicator replicator(setup);
  wayfetch::MergeResult merged = replicator.merge_copy(setup.returned_path);
  // A merge either completes (copy gone) or leaves both files as they were.
  if (merged.merged == (access(setup.returned_path.c_str(), F_OK) == 0)) std::abort();
  if (!merged.merged && read_file(setup.log_path) != log) std::abort();
  check_log(setup.log_path);
  Sink sink;
  replicator.upload_log(sink);
  check_log(setup.log_path);
  unlink(setup.returned_path.c_str());
  return 0;
}
