// Reads arbitrary bytes as "config.xml" and as an eNews description, saves
// what was read and reads the saved file again: the records must come back
// the same, field for field (tests/config/config_dump.h).
//
// Double-byte texts are read, saved and read again but not compared: where a
// lead byte stands before "<" or a quote, the parser takes the two bytes as
// one character while the conversion to UTF-16 splits them, so the saved text
// may hold markup the first reading did not see.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/settings_names.h"
#include "config/wayfetch_configuration.h"
#include "core/file.h"
#include "fuzz/fuzz_input.h"
#include "platform/settings_store_fake.h"
#include "tests/config/config_dump.h"
#include "xml/xml_parser.h"

namespace {

using namespace wayfetch;

struct Installation {
  Installation() : folder("/dev/shm/fuzz_config_read_" + std::to_string(getpid())) {
    ::mkdir(folder.c_str(), 0700);
    if (!store.write_value(settings_names::program_key, settings_names::installation_path, folder)
             .ok()) {
      std::abort();
    }
  }
  std::string folder;
  platform::MemorySettingsStore store;
};

// Whether the reader will take `text` as double-byte text.
bool reads_as_double_byte(TextScanner text) {
  if (text.encoding() != TextEncoding::SingleByte)
    return text.encoding() == TextEncoding::Multibyte;
  XmlParser scratch;
  scratch.silent = true;
  scratch.set_mode(ParseMode::xml_prolog_encoding);
  scratch.parse(text);
  return text.encoding() == TextEncoding::Multibyte;
}

// Saves `first`, reads the file back and compares.
void save_and_compare(WayfetchConfiguration& first, platform::SettingsStore& store, bool compare) {
  std::string before = testing::dump(first);
  if (!first.save()) std::abort();
  WayfetchConfiguration second(store);
  second.silent = true;
  if (!second.load(second.config_path(), true, true)) std::abort();
  std::string after = testing::dump(second);
  if (compare && after != before) {
    std::fprintf(stderr, "read first:\n%s\nread after saving:\n%s\n", before.c_str(),
                 after.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Installation installation;
  TextScanner text = fuzzing::text_from(data, size);

  // As config.xml: the bytes in a file, UTF-16 ones after a byte-order mark.
  const std::string path = installation.folder + "/config.xml";
  {
    File file;
    if (!file.open(path, File::write_new)) std::abort();
    if (text.encoding() == TextEncoding::Unicode) file.write("\xFF\xFE", 2);
    file.write(text.data(), text.length());
  }
  {
    WayfetchConfiguration first(installation.store);
    first.silent = true;
    if (first.load(first.config_path(), true, true)) {
      File file;
      TextScanner stored;
      bool double_byte = file.open(path, File::read_existing) && stored.read_file(file, String()) &&
                         reads_as_double_byte(stored);
      save_and_compare(first, installation.store, !double_byte);
    }
  }

  // As a description handed over in memory.
  WayfetchConfiguration first(installation.store);
  first.silent = true;
  ENewsList list;
  if (first.read_description(text, list, nullptr)) {
    first.merge(std::move(list), true);
    save_and_compare(first, installation.store, !reads_as_double_byte(text));
  }
  return 0;
}
