// MemorySettingsStore: the settings store kept in memory, for tests. It can
// be told to fail reads or writes, and counts the updates it stored.
// Thread-safe.
#ifndef WAYFETCH_PLATFORM_SETTINGS_STORE_FAKE_H
#define WAYFETCH_PLATFORM_SETTINGS_STORE_FAKE_H

#include <cstdint>
#include <mutex>
#include <utility>

#include "platform/settings_store.h"

namespace wayfetch::platform {

class MemorySettingsStore : public SettingsStore {
 public:
  MemorySettingsStore() = default;
  explicit MemorySettingsStore(SettingsData data) : data_(std::move(data)) {}

  SettingsStatus read_all(SettingsData& out) override {
    std::lock_guard hold(mutex_);
    if (fail_reads_) {
      out = SettingsData();
      return SettingsStatus::failure(SettingsError::unreadable, "reads fail");
    }
    out = data_;
    return {};
  }
  SettingsStatus update(const Edit& edit) override {
    std::lock_guard hold(mutex_);
    if (fail_reads_) return SettingsStatus::failure(SettingsError::unreadable, "reads fail");
    SettingsData changed = data_;
    if (!edit(changed)) return {};
    if (fail_writes_) return SettingsStatus::failure(SettingsError::write_failed, "writes fail");
    data_ = std::move(changed);
    ++writes_;
    return {};
  }

  void fail_reads(bool fail) {
    std::lock_guard hold(mutex_);
    fail_reads_ = fail;
  }
  void fail_writes(bool fail) {
    std::lock_guard hold(mutex_);
    fail_writes_ = fail;
  }
  int32_t writes() {
    std::lock_guard hold(mutex_);
    return writes_;
  }

 private:
  std::mutex mutex_;
  SettingsData data_;
  bool fail_reads_ = false;
  bool fail_writes_ = false;
  int32_t writes_ = 0;
};

}  // namespace wayfetch::platform

#endif
