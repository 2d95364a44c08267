// ErrorLog: the program's one log of errors and warnings, "error_log.txt".
//
// The file is UTF-16LE with a byte-order mark. Each record is the message
// text of its code, a line break, and for some code groups a location line
// (a line number and/or a file name or URL from the context table). The
// context table holds 400 slots of at most 149 UTF-16 units, each with a
// retention class (1 keep: template files; 2 transient: open handles, URLs).
// The record layout is documented in docs/error_log_format.md.
//
// ErrorLog is the program's ErrorSink: it does nothing until installed with
// ScopedErrorSink (core/error_sink.h) for the scope in which its records are
// wanted.
//
// Thread-safe: records, registrations and releases are written under one
// mutex, taken with a 100 ms limit; a record that cannot get it in time is
// dropped (a registration then gives -1, a release keeps its slot).
#ifndef WAYFETCH_CORE_ERROR_LOG_H
#define WAYFETCH_CORE_ERROR_LOG_H

#include <array>
#include <cstdint>

#include "core/error_sink.h"
#include "core/file.h"
#include "core/sync.h"

namespace wayfetch {

class String;

class ErrorLog : public ErrorSink {
 public:
  static constexpr int32_t slot_count = 400;
  static constexpr int32_t slot_characters = 149;

  // Creates `path` anew (open-mode 0x36) and, when `unicode`, writes the
  // byte-order mark; when not `unicode` the file stays empty forever.
  ErrorLog(const String& path, bool unicode);
  ~ErrorLog() override = default;
  ErrorLog(const ErrorLog&) = delete;
  ErrorLog& operator=(const ErrorLog&) = delete;

  // True when the file and the mutex were created.
  bool is_open() const { return open_; }
  bool open() const { return open_; }
  // True when records are written (UTF-16 with a byte-order mark).
  bool unicode() const { return unicode_; }
  // Frees every context slot and cuts the file back to its byte-order mark.
  void reset();
  // Flushes the file to disk.
  void flush();
  // Stores a file name or URL (cut to 149 units) for later records, until
  // the slot is chosen again or reset(); returns the slot (0-399) or -1
  // (mutex busy, Multibyte text without code page).
  int32_t register_context(const String& text, int32_t retention);

  // ---- ErrorSink ----
  // One record for an error or warning (docs/error_log_format.md).
  void write_error(int32_t code, int32_t a, int32_t b) override;
  void write_warning(int32_t code, int32_t a, int32_t b) override;
  int32_t register_context(const String& text, int32_t retention, uint64_t serial) override;
  void release_context(int32_t slot, uint64_t serial) override;

 private:
  class RecordBuilder;
  struct Layout;

  // The one record writer of errors and warnings.
  void write_record(const Layout& layout, int32_t a, int32_t b);
  bool slot_in_use(int32_t slot) const WAYFETCH_REQUIRES(mutex_);

  Mutex mutex_;
  File file_ WAYFETCH_GUARDED_BY(mutex_);
  bool open_ = false;
  bool unicode_ = false;
  std::array<std::array<char16_t, slot_characters + 1>, slot_count> slots_
      WAYFETCH_GUARDED_BY(mutex_){};
  // 0 free, else the retention class.
  std::array<int32_t, slot_count> slot_states_ WAYFETCH_GUARDED_BY(mutex_){};
  // The registration each slot holds (next_context_serial()).
  std::array<uint64_t, slot_count> slot_serials_ WAYFETCH_GUARDED_BY(mutex_){};
};

}  // namespace wayfetch

#endif
