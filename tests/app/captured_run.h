// A command run in the test's process with its output and messages caught.
#ifndef WAYFETCH_TESTS_APP_CAPTURED_RUN_H
#define WAYFETCH_TESTS_APP_CAPTURED_RUN_H

#include <cstdio>
#include <string>
#include <utility>

namespace wayfetch::testing {

struct CapturedRun {
  int code = -1;
  std::string out;
  std::string err;
};

// Calls `command(out, err)`, which returns an exit code, with two scratch
// files as its streams, and reads back what it wrote.
template <typename Command>
CapturedRun capture_run(Command command) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CapturedRun result;
  result.code = command(out, err);
  for (auto [file, text] : {std::pair{out, &result.out}, std::pair{err, &result.err}}) {
    std::rewind(file);
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
      text->append(block, got);
    }
    std::fclose(file);
  }
  return result;
}

}  // namespace wayfetch::testing

#endif
