// Events and semaphores that several processes of the same user share by
// name (the pipes between the program and its conduit, the listeners that
// other instances wake).
//
// Names are the program's own ("Wayfetch_conduit_event"). They are made safe
// and private to the user: every byte outside A-Z a-z 0-9 _ - becomes %XX,
// and the result is prefixed with "wayfetch-<uid>-".
//
// - A named semaphore is a POSIX named semaphore (sem_open) called
//   "/wayfetch-<uid>-<name>". It has no descriptor for poll(2), so a wait on
//   it alone uses sem_clockwait (exact), and a wait_any/wait_all that
//   includes it tries it again after short sleeps (1 ms, doubling to 16 ms).
//   It lives until it is removed (remove_named_semaphore) or the machine
//   restarts, so its count survives a crashed process; whoever creates a
//   fresh one after a crash removes the old name first.
// - A named event is a FIFO "<name>.event" in the user's runtime folder. It
//   is signalled while the FIFO holds bytes, so poll(2) waits for it like for
//   any local object, and the kernel drops its state when the last process
//   closes it, as the program expects of named kernel objects: a crashed
//   process leaves nothing signalled behind.
//
// docs/waiting.md tells what waiting on these objects can and cannot promise.
// Thread-safe. Failures return nullptr or false.
#ifndef WAYFETCH_PLATFORM_NAMED_OBJECTS_H
#define WAYFETCH_PLATFORM_NAMED_OBJECTS_H

#include <memory>
#include <string>
#include <string_view>

#include "platform/waitable.h"

namespace wayfetch::platform {

// "wayfetch-<uid>-<escaped name>", or "" when the name is empty or its safe
// form would be longer than 200 bytes.
std::string named_object_name(std::string_view name);

// The folder private to this user for named objects: "$XDG_RUNTIME_DIR/wayfetch",
// else "<temporary folder>/wayfetch-<uid>"; created with mode 0700 when
// missing. "" when neither can be made or the one found is not a folder of
// ours that only we can use.
std::string runtime_folder();

// Opens the named semaphore, creating it with `initial` counts when it does
// not exist yet (an existing one keeps its count).
std::unique_ptr<SemaphoreObject> open_named_semaphore(std::string_view name, int64_t initial);
// Creates the named semaphore with `initial` counts; nullptr when one of that
// name exists already (or the system refuses).
std::unique_ptr<SemaphoreObject> create_new_named_semaphore(std::string_view name,
                                                            int64_t initial);
// Opens the named semaphore only when it exists; nullptr otherwise.
std::unique_ptr<SemaphoreObject> open_existing_named_semaphore(std::string_view name);
// Removes the name; processes that have it open keep using their semaphore.
bool remove_named_semaphore(std::string_view name);

// Opens the named event, creating it non-signalled when no process has it open.
std::unique_ptr<EventObject> open_named_event(std::string_view name);

}  // namespace wayfetch::platform

#endif
