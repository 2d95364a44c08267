// An ErrorSink that remembers what reaches it, for tests: records as
// "E<code>,<a>,<b>" / "W<code>,<a>,<b>", registered names in slot order
// (slots are never reused) and the slots released.
#ifndef WAYFETCH_TESTS_SUPPORT_RECORDING_SINK_H
#define WAYFETCH_TESTS_SUPPORT_RECORDING_SINK_H

#include <mutex>
#include <string>
#include <vector>

#include "core/error_sink.h"
#include "core/string.h"

namespace wayfetch::testing {

class RecordingSink : public ErrorSink {
 public:
  void write_error(int32_t code, int32_t a, int32_t b) override { add('E', code, a, b); }
  void write_warning(int32_t code, int32_t a, int32_t b) override { add('W', code, a, b); }
  int32_t register_context(const String& text, int32_t, uint64_t) override {
    std::lock_guard<std::mutex> lock(mutex_);
    names.push_back(text.to_utf8());
    return static_cast<int32_t>(names.size()) - 1;
  }
  void release_context(int32_t slot, uint64_t) override {
    std::lock_guard<std::mutex> lock(mutex_);
    released.push_back(slot);
  }

  std::vector<std::string> records;
  std::vector<std::string> names;
  std::vector<int32_t> released;

 private:
  void add(char kind, int32_t code, int32_t a, int32_t b) {
    std::lock_guard<std::mutex> lock(mutex_);
    records.push_back(kind + std::to_string(code) + "," + std::to_string(a) + "," +
                      std::to_string(b));
  }
  std::mutex mutex_;
};

}  // namespace wayfetch::testing

#endif
