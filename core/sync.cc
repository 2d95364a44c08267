#include "core/sync.h"

#include "platform/named_objects.h"
#include "platform/threads.h"

namespace wayfetch {

bool Mutex::create(std::string_view name) {
  object_.reset();
  if (!name.empty()) return false;
  object_ = platform::create_mutex();
  return object_ != nullptr;
}

bool Mutex::release() {
  return object_ != nullptr && object_->release();
}

bool Mutex::wait(int32_t timeout_ms) {
  return object_ != nullptr && object_->wait(timeout_ms);
}

bool Event::create(std::string_view name) {
  object_.reset();
  object_ = name.empty() ? platform::create_event() : platform::open_named_event(name);
  return object_ != nullptr;
}

void Event::set() {
  if (object_) object_->set();
}

void Event::reset() {
  if (object_) object_->reset();
}

bool Event::wait(int32_t timeout_ms) {
  return object_ != nullptr && object_->wait(timeout_ms);
}

bool Semaphore::create(int64_t initial, std::string_view name) {
  object_.reset();
  object_ = name.empty() ? platform::create_semaphore(initial)
                         : platform::open_named_semaphore(name, initial);
  return object_ != nullptr;
}

bool Semaphore::release() {
  return object_ != nullptr && object_->release();
}

bool Semaphore::wait(int32_t timeout_ms) {
  return object_ != nullptr && object_->wait(timeout_ms);
}

bool Semaphore::remove_name(std::string_view name) {
  return platform::remove_named_semaphore(name);
}

int32_t wait_any(std::span<const WaitHandle> handles, int32_t timeout_ms) {
  int32_t result = platform::wait_for_any(handles, timeout_ms);
  return result >= 0 ? result : -1;
}

int32_t wait_all(std::span<const WaitHandle> handles, int32_t timeout_ms) {
  int32_t result = platform::wait_for_all(handles, timeout_ms);
  return result >= 0 ? result : -1;
}

void sleep(int32_t ms) {
  platform::sleep_ms(ms);
}

}  // namespace wayfetch
