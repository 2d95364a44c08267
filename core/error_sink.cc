#include "core/error_sink.h"

#include <atomic>

#include "platform/thread_annotations.h"

namespace wayfetch {
namespace {

// Records take the lock shared, installers exclusively: an installer's end
// waits for records in progress, and a record never meets a sink whose scope
// has ended. Records are few (silent objects and warning 2 never get here),
// so an uncontended shared lock per record costs nothing that shows.
// Never destroyed: a text holding a slot may be destroyed at the very end
// of the program, after function statics are gone.
platform::ReadWriteMutex& sink_mutex() {
  static auto* mutex = new platform::ReadWriteMutex;
  return *mutex;
}

struct Current {
  ErrorSink* sink WAYFETCH_GUARDED_BY(sink_mutex()) = nullptr;
};

Current& current() {
  static auto* value = new Current;
  return *value;
}

std::atomic<uint64_t> last_serial{0};

}  // namespace

uint64_t next_context_serial() {
  return last_serial.fetch_add(1, std::memory_order_relaxed) + 1;
}

ScopedErrorSink::ScopedErrorSink(ErrorSink* sink) {
  platform::WriteLock lock(sink_mutex());
  previous_ = current().sink;
  current().sink = sink;
}

ScopedErrorSink::~ScopedErrorSink() {
  platform::WriteLock lock(sink_mutex());
  current().sink = previous_;
}

namespace error_sink {

void write_error(int32_t code, int32_t a, int32_t b) {
  platform::ReadLock lock(sink_mutex());
  if (ErrorSink* sink = current().sink) sink->write_error(code, a, b);
}

void write_warning(int32_t code, int32_t a, int32_t b) {
  platform::ReadLock lock(sink_mutex());
  if (ErrorSink* sink = current().sink) sink->write_warning(code, a, b);
}

bool installed() {
  platform::ReadLock lock(sink_mutex());
  return current().sink != nullptr;
}

}  // namespace error_sink

// ---- ContextLease ----

struct ContextLease::Share {
  std::atomic<int32_t> holders{1};
  int32_t slot = -1;
  uint64_t serial = 0;
};

ContextLease ContextLease::register_text(const String& text, int32_t retention) {
  ContextLease lease;
  uint64_t serial = next_context_serial();
  int32_t slot = -1;
  {
    platform::ReadLock lock(sink_mutex());
    if (ErrorSink* sink = current().sink) slot = sink->register_context(text, retention, serial);
  }
  if (slot < 0) return lease;
  lease.share_ = new Share;
  lease.share_->slot = slot;
  lease.share_->serial = serial;
  return lease;
}

ContextLease::ContextLease(const ContextLease& other) noexcept : share_(other.share_) {
  if (share_ != nullptr) share_->holders.fetch_add(1, std::memory_order_relaxed);
}

ContextLease& ContextLease::operator=(const ContextLease& other) noexcept {
  if (share_ == other.share_) return *this;
  reset();
  share_ = other.share_;
  if (share_ != nullptr) share_->holders.fetch_add(1, std::memory_order_relaxed);
  return *this;
}

ContextLease& ContextLease::operator=(ContextLease&& other) noexcept {
  if (this == &other) return *this;
  reset();
  share_ = other.share_;
  other.share_ = nullptr;
  return *this;
}

int32_t ContextLease::slot() const {
  return share_ != nullptr ? share_->slot : -1;
}

void ContextLease::drop() {
  Share* share = share_;
  share_ = nullptr;
  if (share->holders.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  {
    // The sink that registered the slot may have been replaced since; the
    // serial makes sure no other sink, and no later registration in the
    // same slot, is released by mistake.
    platform::ReadLock lock(sink_mutex());
    if (ErrorSink* sink = current().sink) sink->release_context(share->slot, share->serial);
  }
  delete share;
}

}  // namespace wayfetch
