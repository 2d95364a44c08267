// Storage<T>: the growable array and stack behind every list of the program.
//
// Slot 0 holds a default-constructed T that is never a real element; element
// i lives in slot i + 1. A failed access returns slot 0, and so does a pop
// from an empty stack, so callers always get a valid object; slot 0 is set
// back to the default each time it is handed out, so what one caller wrote
// through it never reaches the next (get() hands out a default of its own). A new Storage
// has capacity 6. Accessing element i with i >= capacity - 1 grows the array
// to i/2 + i + 2 slots; elements are moved, never copied bytewise.
// Failures: error 12 when the array cannot grow (the access yields slot 0),
// error 13 for a negative index, warning 5 for a pop from an empty stack.
// Not thread-safe.
#ifndef WAYFETCH_CORE_STORAGE_H
#define WAYFETCH_CORE_STORAGE_H

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "core/error_state.h"

namespace wayfetch {

template <typename T>
class Storage : public ErrorState {
 public:
  static constexpr int32_t initial_capacity = 6;
  // The array never grows beyond this many bytes; beyond it, error 12.
  static constexpr int64_t max_bytes = int64_t{1} << 31;

  explicit Storage(int32_t capacity = initial_capacity) { allocate(capacity); }
  Storage(const Storage& other) : ErrorState(other) { copy_from(other); }
  Storage(Storage&& other) noexcept : ErrorState(other) { take(other); }
  Storage& operator=(const Storage& other) {
    if (this != &other) {
      ErrorState::operator=(other);
      copy_from(other);
    }
    return *this;
  }
  Storage& operator=(Storage&& other) noexcept {
    if (this != &other) {
      ErrorState::operator=(other);
      take(other);
    }
    return *this;
  }
  ~Storage() = default;

  // Element i, growing the array as needed; extends the size to i + 1.
  T& at(int32_t i) {
    if (i < 0) {
      raise_error(errors::storage_self_check);
      return sentinel();
    }
    if (i >= capacity_ - 1 && !grow(static_cast<int64_t>(i) / 2 + i + 2)) return sentinel();
    if (count_ < i + 2) count_ = i + 2;
    return data_[static_cast<std::size_t>(i) + 1];
  }
  // Element i without growing; a default T when i is not an element.
  const T& get(int32_t i) const {
    if (i < 0 || i >= count_ - 1) {
      static const T none{};
      return none;
    }
    return data_[static_cast<std::size_t>(i) + 1];
  }
  T& operator[](int32_t i) { return at(i); }
  const T& operator[](int32_t i) const { return get(i); }

  // Number of elements.
  int32_t size() const { return count_ - 1; }
  int32_t capacity() const { return capacity_; }
  // Number of pushed elements + 1.
  int32_t top() const { return top_; }
  // Number of elements + 1 (slot 0 counts).
  int32_t count() const { return count_; }

  void push(T value) {
    T& slot = at(top_ - 1);
    if (&slot == &data_[0]) return;
    slot = std::move(value);
    ++top_;
  }
  // The element that was on top; slot 0 with warning 5 when the stack is empty.
  T& pop() {
    if (top_ <= 1) {
      top_ = 1;
      raise_warning(warnings::empty_stack);
      return sentinel();
    }
    --top_;
    return data_[static_cast<std::size_t>(top_)];
  }
  // The element on top; slot 0 when the stack is empty.
  T& peek() { return top_ <= 1 ? sentinel() : data_[static_cast<std::size_t>(top_ - 1)]; }
  // Removes element i, shifting the following ones down.
  void remove(int32_t i) {
    if (i < 0 || i >= count_ - 1) return;
    for (int32_t slot = i + 1; slot + 1 < count_; ++slot) {
      data_[static_cast<std::size_t>(slot)] = std::move(data_[static_cast<std::size_t>(slot) + 1]);
    }
    data_[static_cast<std::size_t>(count_) - 1] = T();
    --count_;
    if (i < top_ - 1) --top_;
    if (top_ > count_) top_ = count_;
  }
  // Frees the array and starts again with capacity 6 and the sentinel.
  void clear() { allocate(initial_capacity); }
  // Exchanges contents and status with `other` without allocating.
  void swap(Storage& other) noexcept {
    std::swap(static_cast<ErrorState&>(*this), static_cast<ErrorState&>(other));
    std::swap(capacity_, other.capacity_);
    std::swap(top_, other.top_);
    std::swap(count_, other.count_);
    data_.swap(other.data_);
  }

  T* begin() { return data_.get() + 1; }
  T* end() { return data_.get() + count_; }
  const T* begin() const { return data_.get() + 1; }
  const T* end() const { return data_.get() + count_; }

 private:
  // Slot 0, back at the default.
  T& sentinel() {
    data_[0] = T();
    return data_[0];
  }
  void allocate(int32_t capacity) {
    if (capacity < 2) capacity = 2;
    data_ = std::make_unique<T[]>(static_cast<std::size_t>(capacity));
    capacity_ = capacity;
    top_ = 1;
    count_ = 1;
  }
  bool grow(int64_t slots) {
    if (slots * static_cast<int64_t>(sizeof(T)) > max_bytes || slots > INT32_MAX) {
      raise_error(errors::storage_allocation);
      return false;
    }
    std::unique_ptr<T[]> bigger(new (std::nothrow) T[static_cast<std::size_t>(slots)]);
    if (!bigger) {
      raise_error(errors::storage_allocation);
      return false;
    }
    for (int32_t slot = 0; slot < count_; ++slot) {
      bigger[static_cast<std::size_t>(slot)] = std::move(data_[static_cast<std::size_t>(slot)]);
    }
    data_ = std::move(bigger);
    capacity_ = static_cast<int32_t>(slots);
    return true;
  }
  void copy_from(const Storage& other) {
    data_ = std::make_unique<T[]>(static_cast<std::size_t>(other.capacity_));
    for (int32_t slot = 0; slot < other.count_; ++slot) {
      data_[static_cast<std::size_t>(slot)] = other.data_[static_cast<std::size_t>(slot)];
    }
    capacity_ = other.capacity_;
    top_ = other.top_;
    count_ = other.count_;
  }
  void take(Storage& other) {
    data_ = std::move(other.data_);
    capacity_ = other.capacity_;
    top_ = other.top_;
    count_ = other.count_;
    other.allocate(initial_capacity);
  }

  int32_t capacity_ = 0;
  int32_t top_ = 1;
  int32_t count_ = 1;
  std::unique_ptr<T[]> data_;
};

}  // namespace wayfetch

#endif
