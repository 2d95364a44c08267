// ErrorLog: the program's one log of errors and warnings, "error_log.txt".
//
// The file is UTF-16LE with a byte-order mark. Each record is the message
// text of its code, a line break, and for some code groups a location line
// (a line number and/or a file name or URL from the context table). The
// context table holds 400 slots of at most 149 UTF-16 units, each with a
// retention class (1 keep: template files; 2 transient: open handles, URLs).
// The record layout is documented in docs/error_log_format.md.
//
// Thread-safe: records and registrations are written under one mutex, taken
// with a 100 ms limit; a record that cannot get it in time is dropped.
// One instance per process is reachable through ErrorLog::instance().
#ifndef WAYFETCH_CORE_ERROR_LOG_H
#define WAYFETCH_CORE_ERROR_LOG_H

#include <array>
#include <atomic>
#include <cstdint>

#include "core/file.h"
#include "core/sync.h"

namespace wayfetch {

class String;

class ErrorLog {
 public:
  static constexpr int32_t slot_count = 400;
  static constexpr int32_t slot_characters = 149;
  static constexpr int32_t retention_keep = 1;
  static constexpr int32_t retention_transient = 2;

  // Creates `path` anew (open-mode 0x36) and, when `unicode`, writes the
  // byte-order mark; when not `unicode` the file stays empty forever.
  // Becomes the process-wide log.
  ErrorLog(const String& path, bool unicode);
  ~ErrorLog();
  ErrorLog(const ErrorLog&) = delete;
  ErrorLog& operator=(const ErrorLog&) = delete;

  // The process-wide log, or nullptr when none exists.
  static ErrorLog* instance() { return instance_.load(std::memory_order_acquire); }

  // True when the file and the mutex were created.
  bool is_open() const { return open_; }
  bool open() const { return open_; }
  // True when records are written (UTF-16 with a byte-order mark).
  bool unicode() const { return unicode_; }
  // Frees every context slot and cuts the file back to its byte-order mark.
  void reset();
  // Flushes the file to disk.
  void flush();
  // Stores a file name or URL (cut to 149 units) for later records; returns
  // the slot (0-399) or -1 (no log, mutex busy, Multibyte text without code page).
  int32_t register_context(const String& text, int32_t retention);

  // One record for an error or warning (see ErrorState).
  void write_error(int32_t code, int32_t a, int32_t b);
  void write_warning(int32_t code, int32_t a, int32_t b);

 private:
  class RecordBuilder;

  bool slot_in_use(int32_t slot) const;

  static std::atomic<ErrorLog*> instance_;

  File file_;
  Mutex mutex_;
  bool open_ = false;
  bool unicode_ = false;
  std::array<std::array<char16_t, slot_characters + 1>, slot_count> slots_{};
  std::array<int32_t, slot_count> slot_states_{};
};

}  // namespace wayfetch

#endif
