// ProcessHandle: another process of this user, held by a process file
// descriptor (pidfd), so that waiting for it and signalling it can never
// reach a later process that was given the same id.
//
// Open the handle first and check that the id still means the process you
// want (a lock it holds, its program file) afterwards: from then on the
// handle stays with that process even when it ends.
//
// Not thread-safe. Failures return false.
#ifndef WAYFETCH_PLATFORM_PROCESS_HANDLE_H
#define WAYFETCH_PLATFORM_PROCESS_HANDLE_H

#include <cstdint>
#include <string>

namespace wayfetch::platform {

class ProcessHandle {
 public:
  ProcessHandle() = default;
  ~ProcessHandle() { close(); }
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;

  // Opens process `id`; false when there is none (or the system has no
  // pidfd).
  bool open(int32_t id);
  void close();
  bool is_open() const { return fd_ >= 0; }
  // True once the process has ended, waiting at most `timeout_ms`.
  bool wait_ended(int32_t timeout_ms);
  // Sends `signal_number`; false when the process has ended or may not be
  // signalled.
  bool send_signal(int signal_number);

 private:
  int fd_ = -1;
};

// The program file process `id` runs ("/proc/ID/exe"), without the
// " (deleted)" the kernel adds when the file was replaced; "" when unknown.
std::string process_program_file(int32_t id);
// This process's id.
int32_t current_process_id();

}  // namespace wayfetch::platform

#endif
