// FakeSharedMemory: an in-memory SharedMemorySystem (platform/shared_memory.h)
// for tests and fuzz targets that play the other side of a shared block
// themselves, in one thread.
//
// Objects are heap buffers of exactly their size (so that AddressSanitizer
// catches any copy outside one); semaphores are counters whose waits never
// block: a wait that cannot take a count at once ends as if its time had
// run out, so code that would sleep goes straight to its liveness test.
// Marks are flags; the test sets the other side's with set_mark and reaches
// an object's bytes with object().
//
// Thread-safe; meant for one thread.
#ifndef WAYFETCH_PLATFORM_FAKE_SHARED_MEMORY_H
#define WAYFETCH_PLATFORM_FAKE_SHARED_MEMORY_H

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/shared_memory.h"

namespace wayfetch::platform {

class FakeSharedMemory final : public SharedMemorySystem {
 public:
  struct Object {
    std::vector<uint8_t> bytes;
    uint64_t identity;
  };
  struct Mark {
    bool held = false;
    uint64_t identity = 0;
  };
  struct Counter {
    std::mutex mutex;
    int64_t count = 0;
  };

  SharedResult create_mapping(std::string_view name, std::size_t size,
                              std::unique_ptr<SharedMapping>& out) override;
  SharedResult open_mapping(std::string_view name, std::size_t max_size,
                            std::unique_ptr<SharedMapping>& out) override;
  bool remove_mapping(std::string_view name) override;
  std::unique_ptr<SemaphoreObject> create_semaphore(std::string_view name,
                                                    int64_t initial) override;
  std::unique_ptr<SemaphoreObject> open_semaphore(std::string_view name) override;
  bool remove_semaphore(std::string_view name) override;
  SharedResult take_mark(std::string_view name, MarkRole role,
                         std::unique_ptr<HeldMark>& out) override;
  MarkProbe probe_mark(std::string_view name, MarkRole role) override;
  void remove_mark(std::string_view name, MarkRole role) override;

  // The bytes of object `name`, nullptr when there is none. Valid while the
  // object has a name or a mapping.
  std::shared_ptr<Object> object(const std::string& name);
  // Sets the mark of `role` as another side would: held (alive) or not.
  void set_mark(const std::string& name, MarkRole role, bool held, uint64_t identity);
  // The count of semaphore `name`, -1 when there is none.
  int64_t count(const std::string& name);

 private:
  static std::string mark_key(std::string_view name, MarkRole role);

  std::mutex mutex_;
  uint64_t next_identity_ = 1;
  std::map<std::string, std::shared_ptr<Object>, std::less<>> objects_;
  std::map<std::string, std::shared_ptr<Counter>, std::less<>> semaphores_;
  std::map<std::string, std::shared_ptr<Mark>, std::less<>> marks_;
};

}  // namespace wayfetch::platform

#endif
