// ErrorSink: where the records of ErrorState go, and the scoped installer
// that chooses the sink.
//
// A non-silent ErrorState hands each error and warning to the current sink,
// one call per record; file names and URLs that records quote are stored
// by the sink (one call per registration) and named by slot number. The
// program's sink is the ErrorLog (core/error_log.h); tests install in-memory
// ones; with no sink installed nothing is written and nothing registered (a
// library loaded into another process installs its own sink or none).
//
// Installing: ScopedErrorSink makes a sink current for its lifetime and puts
// the previous one back at its end. The current sink is process-wide: records
// raised on any thread reach it. Scopes nest and must end in the reverse
// order of their beginning. Ending a scope waits until records being written
// through it on other threads are done, so the sink may be destroyed right
// after its scope; it must outlive the scope.
//
// Context slots: ContextLease is a share in one registered slot. Copies
// share it; when the last share goes the slot is released, unless the sink
// has given it to another text since (then nothing happens). Texts loaded
// from files hold such a lease (core/string.h), so a slot stays with its
// file for as long as the text, or a parser that parsed it, lives.
//
// Thread safety: everything here may be used from any thread. A sink's
// operations are called concurrently and must be thread-safe.
#ifndef WAYFETCH_CORE_ERROR_SINK_H
#define WAYFETCH_CORE_ERROR_SINK_H

#include <cstdint>

namespace wayfetch {

class String;

class ErrorSink {
 public:
  // Retention classes of a context slot: which slot a full table gives up
  // first (transient ones before kept ones).
  static constexpr int32_t retention_keep = 1;       // template files loaded from disk
  static constexpr int32_t retention_transient = 2;  // files read from a handle, URLs

  virtual ~ErrorSink() = default;

  // One record of `code` (see ErrorState::raise_error for `a` and `b`).
  virtual void write_error(int32_t code, int32_t a, int32_t b) = 0;
  virtual void write_warning(int32_t code, int32_t a, int32_t b) = 0;
  // Stores `text` for later records; returns its slot, or -1 when it cannot
  // be stored. `serial` is the registration's number (next_context_serial()),
  // which release_context compares.
  virtual int32_t register_context(const String& text, int32_t retention, uint64_t serial) = 0;
  // Frees `slot` when it still holds registration `serial`.
  virtual void release_context(int32_t slot, uint64_t serial) = 0;
};

// Makes `sink` (nullptr: none) the current sink for this object's lifetime.
class ScopedErrorSink {
 public:
  explicit ScopedErrorSink(ErrorSink* sink);
  // Puts the previous sink back once records in progress are written.
  ~ScopedErrorSink();
  ScopedErrorSink(const ScopedErrorSink&) = delete;
  ScopedErrorSink& operator=(const ScopedErrorSink&) = delete;

 private:
  ErrorSink* previous_;
};

// A share in one context slot; empty (slot -1) when nothing was registered.
class ContextLease {
 public:
  ContextLease() = default;
  // Registers `text` with the current sink; empty when there is no sink or
  // it refuses the text.
  static ContextLease register_text(const String& text, int32_t retention);

  ContextLease(const ContextLease& other) noexcept;
  ContextLease(ContextLease&& other) noexcept : share_(other.share_) { other.share_ = nullptr; }
  ContextLease& operator=(const ContextLease& other) noexcept;
  ContextLease& operator=(ContextLease&& other) noexcept;
  ~ContextLease() { reset(); }

  // The slot, or -1.
  int32_t slot() const;
  bool empty() const { return share_ == nullptr; }
  // Gives up this share (releasing the slot when it was the last).
  void reset() {
    if (share_ != nullptr) drop();
  }
  // Whether both share the same registration.
  bool same_as(const ContextLease& other) const { return share_ == other.share_; }

 private:
  struct Share;
  void drop();

  Share* share_ = nullptr;
};

// The process-wide numbering of registrations: a number never given before.
uint64_t next_context_serial();

namespace error_sink {
// What ErrorState calls: one record to the current sink (nothing without one).
void write_error(int32_t code, int32_t a, int32_t b);
void write_warning(int32_t code, int32_t a, int32_t b);
// Whether a sink is installed now.
bool installed();
}  // namespace error_sink

}  // namespace wayfetch

#endif
