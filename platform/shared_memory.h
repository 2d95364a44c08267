// Named shared memory, the named semaphores that guard it, and the marks
// that tell whether the processes using it are still alive: what a shared
// block (core/shared_block.h) needs from the system.
//
// SharedMemorySystem is the seam; system_shared_memory() is the Linux one,
// and tests and fuzz targets put an in-memory fake in its place
// (tests/support/fake_shared_memory.h).
//
// On Linux (docs/platform.md):
// - An object named N is the POSIX shared memory object
//   "/wayfetch-<uid>-<scope>-<N>" (shm_open, mode 0600), where <scope> is a
//   short hash of runtime_folder(): /dev/shm is shared by all of a user's
//   processes, while named events and marks live in the runtime folder, so
//   two runtime folders never meet. Semaphore N is the named semaphore of
//   platform/named_objects.h called "<scope>-<N>".
// - A mark is a lock file "<runtime folder>/<safe N>.creator" or
//   ".opener", held with flock(LOCK_EX) by the side it stands for. The
//   kernel lets go of a flock when its process ends, however it ends, so a
//   mark that nobody holds means that side is gone. flock locks belong to
//   the open file, not the process, so two sides in one process exclude
//   each other as two processes do. Descriptors are close-on-exec: a
//   started program never inherits a mark.
//
// Thread-safe: any thread may call any operation; a mapping, semaphore or
// held mark is used by its owner. Failures are results, never exceptions.
#ifndef WAYFETCH_PLATFORM_SHARED_MEMORY_H
#define WAYFETCH_PLATFORM_SHARED_MEMORY_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/waitable.h"

namespace wayfetch::platform {

// A shared-memory object mapped whole for reading and writing; unmapped
// when destroyed (other mappings of the object stay).
class SharedMapping {
 public:
  virtual ~SharedMapping() = default;
  // The first byte, nullptr when the object was empty.
  virtual uint8_t* data() const = 0;
  // The object's size when it was mapped (fstat); all of it is mapped.
  virtual std::size_t size() const = 0;
  // Tells this object from every other object that had or will have the
  // same name while the machine runs (the inode number on Linux).
  virtual uint64_t identity() const = 0;
};

// A mark this process holds; let go when destroyed.
class HeldMark {
 public:
  virtual ~HeldMark() = default;
  // Stores `identity` in the mark, for probe_mark to return. False on failure.
  virtual bool set_identity(uint64_t identity) = 0;
};

// Which side of a shared object a mark stands for.
enum class MarkRole { creator, opener };

// What probe_mark found.
struct MarkProbe {
  bool present = false;   // a mark of that name exists
  bool held = false;      // and some live holder has it (alive)
  uint64_t identity = 0;  // what set_identity stored, 0 when nothing
};

enum class SharedResult {
  ok,
  exists,   // create_mapping: the name is taken
  missing,  // open_mapping: no object of that name
  busy,     // take_mark: another live holder has the mark
  invalid,  // open_mapping: not ours (another owner) or larger than allowed
  failed,   // the system refused (no memory, no runtime folder, bad name)
};

class SharedMemorySystem {
 public:
  virtual ~SharedMemorySystem() = default;

  // Creates object `name` of `size` bytes (zeroed, memory reserved) only
  // when no object has that name, and maps it.
  virtual SharedResult create_mapping(std::string_view name, std::size_t size,
                                      std::unique_ptr<SharedMapping>& out) = 0;
  // Maps the whole existing object `name`; an object larger than `max_size`
  // is `invalid`. An empty object is mapped with data() nullptr.
  virtual SharedResult open_mapping(std::string_view name, std::size_t max_size,
                                    std::unique_ptr<SharedMapping>& out) = 0;
  // Removes the name; existing mappings stay valid. False when none existed.
  virtual bool remove_mapping(std::string_view name) = 0;

  // Creates semaphore `name` with `initial` counts; nullptr when the name
  // exists already. Remove a left-over name first.
  virtual std::unique_ptr<SemaphoreObject> create_semaphore(std::string_view name,
                                                            int64_t initial) = 0;
  // Opens existing semaphore `name`; nullptr when there is none.
  virtual std::unique_ptr<SemaphoreObject> open_semaphore(std::string_view name) = 0;
  virtual bool remove_semaphore(std::string_view name) = 0;

  // Takes the mark of `role` for object `name` without waiting: ok (and
  // `out` holds it), busy (a live holder has it) or failed.
  virtual SharedResult take_mark(std::string_view name, MarkRole role,
                                 std::unique_ptr<HeldMark>& out) = 0;
  // Whether a mark exists and a live holder has it, without taking it.
  virtual MarkProbe probe_mark(std::string_view name, MarkRole role) = 0;
  // Removes the mark's name (a holder keeps holding its own file, and the
  // next take_mark starts a new one).
  virtual void remove_mark(std::string_view name, MarkRole role) = 0;
};

// The Linux implementation, one per process.
SharedMemorySystem& system_shared_memory();

// The hash that scopes shared-memory and semaphore names to a runtime
// folder: 8 lower-case hex digits of FNV-1a over the folder's path.
std::string runtime_scope(std::string_view folder);

}  // namespace wayfetch::platform

#endif
