#include "core/directional_pipe.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/clock.h"

namespace wayfetch {
namespace {

// How often a creator waiting for its opener looks at the blocks' states
// when no release wakes it.
constexpr int32_t opened_poll_ms = 10;

}  // namespace

bool DirectionalPipe::create(std::string_view name, int32_t timeout_ms, int32_t capacity) {
  if (create_blocks(name, timeout_ms, capacity) && wait_opened(timeout_ms)) return true;
  close();
  return false;
}

bool DirectionalPipe::create_blocks(std::string_view name, int32_t timeout_ms, int32_t capacity) {
  const std::string base(name);
  bool made = inbound_.create(base + "R", SharedBlock::kind_r, timeout_ms, capacity) &&
              outbound_.create(base + "W", SharedBlock::kind_w, timeout_ms, capacity);
  adopt(inbound_);
  adopt(outbound_);
  if (!made) close();
  return made;
}

bool DirectionalPipe::wait_opened(int32_t timeout_ms) {
  if (!inbound_.is_mapped() || !outbound_.is_mapped()) return false;
  const platform::Clock& clock = platform::current_clock();
  const auto end = clock.steady_time() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    // The opener releases each block's "_changed" once as it connects, but
    // the states decide: the opener reads the block it opened first and may
    // take that release back itself before this side looks.
    if (inbound_.connected() && outbound_.connected()) return true;
    int32_t wait_ms = opened_poll_ms;
    if (timeout_ms >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - clock.steady_time());
      if (left.count() <= 0) return false;
      wait_ms = static_cast<int32_t>(std::min<int64_t>(left.count(), opened_poll_ms));
    }
    wait_any({inbound_.changed_handle(), outbound_.changed_handle()}, wait_ms);
  }
}

bool DirectionalPipe::open(std::string_view name, int32_t timeout_ms) {
  const std::string base(name);
  bool opened = inbound_.open(base + "W", SharedBlock::kind_w, timeout_ms);
  adopt(inbound_);
  if (!opened) return false;
  opened = outbound_.open(base + "R", SharedBlock::kind_r, timeout_ms);
  adopt(outbound_);
  if (!opened) inbound_.close();
  return opened;
}

int32_t DirectionalPipe::read(void* buffer, int32_t length) {
  int32_t moved = inbound_.read(buffer, length);
  adopt(inbound_);
  return moved;
}

int32_t DirectionalPipe::write(const void* buffer, int32_t length) {
  int32_t moved = outbound_.write(buffer, length);
  adopt(outbound_);
  return moved;
}

bool DirectionalPipe::start_read(PipeRequest& request) {
  return start(request, true);
}

bool DirectionalPipe::start_write(PipeRequest& request) {
  return start(request, false);
}

bool DirectionalPipe::start(PipeRequest& request, bool reading) {
  return (reading ? inbound_ : outbound_).post(request, reading);
}

bool DirectionalPipe::wait(PipeRequest& request, int32_t timeout_ms) {
  return request.completion.wait(timeout_ms);
}

bool DirectionalPipe::request_connected(PipeRequest& request) {
  SharedBlock& block = request.direction == PipeRequest::direction_read ? inbound_ : outbound_;
  return request.completion.wait(0) && block.connected();
}

bool DirectionalPipe::connected() {
  return inbound_.connected() && outbound_.connected();
}

void DirectionalPipe::close() {
  inbound_.close();
  outbound_.close();
}

void DirectionalPipe::adopt(const SharedBlock& block) {
  if (block.error != 0) error = block.error;
}

}  // namespace wayfetch
