#include "platform/fake_shared_memory.h"

namespace wayfetch::platform {
namespace {

class FakeMapping final : public SharedMapping {
 public:
  explicit FakeMapping(std::shared_ptr<FakeSharedMemory::Object> object)
      : object_(std::move(object)) {}
  uint8_t* data() const override {
    return object_->bytes.empty() ? nullptr : object_->bytes.data();
  }
  std::size_t size() const override { return object_->bytes.size(); }
  uint64_t identity() const override { return object_->identity; }

 private:
  std::shared_ptr<FakeSharedMemory::Object> object_;
};

class FakeSemaphore final : public SemaphoreObject {
 public:
  explicit FakeSemaphore(std::shared_ptr<FakeSharedMemory::Counter> counter)
      : counter_(std::move(counter)) {}
  int descriptor() const override { return -1; }
  bool try_take() override {
    std::lock_guard lock(counter_->mutex);
    if (counter_->count == 0) return false;
    --counter_->count;
    return true;
  }
  void give_back() override { release(); }
  bool release() override {
    std::lock_guard lock(counter_->mutex);
    if (counter_->count >= semaphore_max_count) return false;
    ++counter_->count;
    return true;
  }
  // Never sleeps: the time of any wait runs out at once.
  bool wait(int32_t) override { return try_take(); }

 private:
  std::shared_ptr<FakeSharedMemory::Counter> counter_;
};

class FakeHeldMark final : public HeldMark {
 public:
  FakeHeldMark(std::shared_ptr<FakeSharedMemory::Mark> mark, std::mutex& mutex)
      : mark_(std::move(mark)), mutex_(mutex) {}
  ~FakeHeldMark() override {
    std::lock_guard lock(mutex_);
    mark_->held = false;
  }
  bool set_identity(uint64_t identity) override {
    std::lock_guard lock(mutex_);
    mark_->identity = identity;
    return true;
  }

 private:
  std::shared_ptr<FakeSharedMemory::Mark> mark_;
  std::mutex& mutex_;
};

// Removes `name` from `map`; false when it was not there.
template <typename Map>
bool erase_named(Map& map, std::string_view name) {
  auto found = map.find(name);
  if (found == map.end()) return false;
  map.erase(found);
  return true;
}

}  // namespace

SharedResult FakeSharedMemory::create_mapping(std::string_view name, std::size_t size,
                                              std::unique_ptr<SharedMapping>& out) {
  std::lock_guard lock(mutex_);
  out.reset();
  if (name.empty() || size == 0) return SharedResult::failed;
  if (objects_.find(name) != objects_.end()) return SharedResult::exists;
  auto object = std::make_shared<Object>(Object{std::vector<uint8_t>(size), next_identity_++});
  objects_.emplace(std::string(name), object);
  out = std::make_unique<FakeMapping>(std::move(object));
  return SharedResult::ok;
}

SharedResult FakeSharedMemory::open_mapping(std::string_view name, std::size_t max_size,
                                            std::unique_ptr<SharedMapping>& out) {
  std::lock_guard lock(mutex_);
  out.reset();
  auto found = objects_.find(name);
  if (found == objects_.end()) return SharedResult::missing;
  if (found->second->bytes.size() > max_size) return SharedResult::invalid;
  out = std::make_unique<FakeMapping>(found->second);
  return SharedResult::ok;
}

bool FakeSharedMemory::remove_mapping(std::string_view name) {
  std::lock_guard lock(mutex_);
  return erase_named(objects_, name);
}

std::unique_ptr<SemaphoreObject> FakeSharedMemory::create_semaphore(std::string_view name,
                                                                    int64_t initial) {
  std::lock_guard lock(mutex_);
  if (semaphores_.find(name) != semaphores_.end()) return nullptr;
  auto counter = std::make_shared<Counter>();
  counter->count = initial;
  semaphores_.emplace(std::string(name), counter);
  return std::make_unique<FakeSemaphore>(std::move(counter));
}

std::unique_ptr<SemaphoreObject> FakeSharedMemory::open_semaphore(std::string_view name) {
  std::lock_guard lock(mutex_);
  auto found = semaphores_.find(name);
  if (found == semaphores_.end()) return nullptr;
  return std::make_unique<FakeSemaphore>(found->second);
}

bool FakeSharedMemory::remove_semaphore(std::string_view name) {
  std::lock_guard lock(mutex_);
  return erase_named(semaphores_, name);
}

SharedResult FakeSharedMemory::take_mark(std::string_view name, MarkRole role,
                                         std::unique_ptr<HeldMark>& out) {
  std::lock_guard lock(mutex_);
  auto& mark = marks_[mark_key(name, role)];
  if (mark == nullptr) mark = std::make_shared<Mark>();
  if (mark->held) return SharedResult::busy;
  mark->held = true;
  out = std::make_unique<FakeHeldMark>(mark, mutex_);
  return SharedResult::ok;
}

MarkProbe FakeSharedMemory::probe_mark(std::string_view name, MarkRole role) {
  std::lock_guard lock(mutex_);
  auto found = marks_.find(mark_key(name, role));
  if (found == marks_.end()) return {};
  return {true, found->second->held, found->second->identity};
}

void FakeSharedMemory::remove_mark(std::string_view name, MarkRole role) {
  std::lock_guard lock(mutex_);
  marks_.erase(mark_key(name, role));
}

std::shared_ptr<FakeSharedMemory::Object> FakeSharedMemory::object(const std::string& name) {
  std::lock_guard lock(mutex_);
  auto found = objects_.find(name);
  return found == objects_.end() ? nullptr : found->second;
}

void FakeSharedMemory::set_mark(const std::string& name, MarkRole role, bool held,
                                uint64_t identity) {
  std::lock_guard lock(mutex_);
  auto& mark = marks_[mark_key(name, role)];
  if (mark == nullptr) mark = std::make_shared<Mark>();
  mark->held = held;
  mark->identity = identity;
}

int64_t FakeSharedMemory::count(const std::string& name) {
  std::shared_ptr<Counter> counter;
  {
    std::lock_guard lock(mutex_);
    auto found = semaphores_.find(name);
    if (found == semaphores_.end()) return -1;
    counter = found->second;
  }
  std::lock_guard lock(counter->mutex);
  return counter->count;
}

std::string FakeSharedMemory::mark_key(std::string_view name, MarkRole role) {
  return std::string(name) + (role == MarkRole::creator ? ".creator" : ".opener");
}

}  // namespace wayfetch::platform
