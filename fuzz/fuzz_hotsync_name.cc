// Database names to file names of the handheld folder and back: any name maps
// to a file name inside the folder that reads back as the same name, and any
// file name that reads as a name is the one that name maps to.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "hotsync/database_name.h"

namespace {

using namespace wayfetch::hotsync;

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::string file = file_name_for_database(bytes);
  if (!is_database_name(bytes)) {
    check(file.empty());
  } else {
    check(file.size() > 4 && file.size() <= 3 * max_database_name + 4 && file.ends_with(".pdb"));
    check(file.find_first_of(std::string_view("/\0", 2)) == std::string::npos);
    check(file.front() != '.');
    const std::filesystem::path folder = "/handheld";
    const std::filesystem::path inside = (folder / file).lexically_normal();
    check(inside.parent_path() == folder && inside.filename() == file);
    check(database_name_for_file(file) == bytes);
  }

  if (auto name = database_name_for_file(bytes)) check(file_name_for_database(*name) == bytes);
  return 0;
}
