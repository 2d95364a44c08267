#include "core/directional_pipe.h"

#include <string>

namespace wayfetch {

bool DirectionalPipe::create(std::string_view name, int32_t timeout_ms, int32_t capacity) {
  const std::string base(name);
  bool made = inbound_.create(base + "R", SharedBlock::kind_r, timeout_ms, capacity) &&
              outbound_.create(base + "W", SharedBlock::kind_w, timeout_ms, capacity);
  adopt(inbound_);
  adopt(outbound_);
  // The opener releases each block's "_changed" once as it connects.
  if (made && wait_all({inbound_.changed_handle(), outbound_.changed_handle()}, timeout_ms) == 0) {
    return true;
  }
  close();
  return false;
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
  SharedBlock& block = reading ? inbound_ : outbound_;
  Thread& worker = reading ? block.read_worker_ : block.write_worker_;
  // The previous worker goes first: it may still be finishing this very
  // request, and must not set its completion after the reset below.
  worker.close();
  request.direction = reading ? PipeRequest::direction_read : PipeRequest::direction_write;
  request.completion.reset();
  (reading ? block.read_request_ : block.write_request_) = &request;
  worker.set_routine(reading ? &SharedBlock::run_read : &SharedBlock::run_write, &block);
  return worker.start();
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
