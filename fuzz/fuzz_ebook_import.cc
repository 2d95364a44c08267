// Any bytes as a .prc file to import: opening and reading every text record
// must end in a result or a clear refusal, never in a fault.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ebook/prc_converter.h"

namespace {

std::string scratch;

void remove_scratch() {
  if (!scratch.empty()) unlink(scratch.c_str());
}

// One scratch file per process, rewritten for every input and removed at
// exit; in memory when /dev/shm exists, since rewriting a file on disk
// thousands of times a second makes the file system flush it each time.
const std::string& scratch_path() {
  if (scratch.empty()) {
    std::string p = access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz_ebook_import_XXXXXX"
                                                  : "/tmp/fuzz_ebook_import_XXXXXX";
    const int fd = mkstemp(p.data());
    if (fd < 0) std::abort();
    close(fd);
    scratch = p;
    std::atexit(remove_scratch);
  }
  return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = scratch_path();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  wayfetch::PrcConverter prc;
  prc.set_source(path);
  if (!prc.open_import()) {
    if (prc.error_text().empty()) std::abort();
    return 0;
  }
  wayfetch::RecordBuffer record;
  for (int32_t i = 0; i <= prc.text_record_count(); ++i) {
    const bool ok = prc.read_text_record(record, i);
    if (!ok && prc.error_text().empty()) std::abort();
    if (ok && record.length() > 2 * 5 * wayfetch::PrcConverter::max_import_record) std::abort();
  }
  prc.close();
  return 0;
}
