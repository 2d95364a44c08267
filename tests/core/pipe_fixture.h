// The pipe tests' fixture: a runtime folder of the test's own (inherited by
// the peer process), a block name unique to the test, and a look at a
// block's header from outside.
#ifndef WAYFETCH_TESTS_CORE_PIPE_FIXTURE_H
#define WAYFETCH_TESTS_CORE_PIPE_FIXTURE_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/shared_memory.h"
#include "tests/support/temp_dir.h"

namespace wayfetch::testing {

class PipeFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    saved_ = saved != nullptr ? saved : "";
    setenv("XDG_RUNTIME_DIR", folder_.path().c_str(), 1);
  }
  void TearDown() override {
    if (saved_.empty()) {
      unsetenv("XDG_RUNTIME_DIR");
    } else {
      setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
    }
  }

  // Unique to this test and process, so that `ctest -j` cannot cross names.
  std::string name(const char* suffix = "") const {
    return std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
           std::to_string(getpid()) + suffix;
  }

  // Word `index` (0 kind, 1 state, 2 read, 3 write, 4 capacity) of block
  // `block`'s header, through a mapping of our own; -1 when it cannot be mapped.
  int64_t header_word(const std::string& block, int index) {
    std::unique_ptr<platform::SharedMapping> mapping;
    if (platform::system_shared_memory().open_mapping(block, 1 << 30, mapping) !=
            platform::SharedResult::ok ||
        mapping->size() < 20) {
      return -1;
    }
    return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(mapping->data() + 4 * index))
        .load();
  }

  static int64_t milliseconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  }

  TempDir folder_;
  std::string saved_;
};

}  // namespace wayfetch::testing

#endif
