#include "program/headless_front_end.h"

#include <chrono>
#include <iostream>

namespace wayfetch {

HeadlessFrontEnd::HeadlessFrontEnd(std::FILE* err) : err_(err), prompts_(std::cerr) {}

void HeadlessFrontEnd::line(const std::string& text) {
  std::lock_guard hold(mutex_);
  std::fprintf(err_, "wayfetch: %s\n", text.c_str());
  std::fflush(err_);
}

void HeadlessFrontEnd::status(const StatusLine& line_shown) {
  line(line_shown.text());
}

void HeadlessFrontEnd::show_requested(bool foreground) {
  line(foreground ? "asked to show the window: there is none here"
                  : "asked to show the window (not brought forward): there is none here");
}

void HeadlessFrontEnd::exit_requested() {
  std::lock_guard hold(mutex_);
  exit_ = true;
  changed_.notify_all();
}

void HeadlessFrontEnd::wait() {
  std::unique_lock hold(mutex_);
  changed_.wait(hold, [this] { return exit_; });
}

bool HeadlessFrontEnd::wait_for(int32_t timeout_ms) {
  std::unique_lock hold(mutex_);
  return changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms), [this] { return exit_; });
}

}  // namespace wayfetch
