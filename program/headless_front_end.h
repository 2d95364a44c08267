// HeadlessFrontEnd: the running program without a window, on a machine
// without a desktop (or when no window host is available).
//
// Prompts are NonInteractivePrompts on standard error (questions answered
// No, messages written). Status lines go to standard error, one per line
// ("wayfetch: <line>"); a show request is noted there too. wait() returns
// once exit_requested() was called: by "-k" from another start, or by
// SIGINT/SIGTERM/SIGHUP through the program's request listener.
//
// Thread-safe: the observer calls arrive on the program's threads.
#ifndef WAYFETCH_PROGRAM_HEADLESS_FRONT_END_H
#define WAYFETCH_PROGRAM_HEADLESS_FRONT_END_H

#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "config/non_interactive_prompts.h"
#include "program/front_end.h"

namespace wayfetch {

class HeadlessFrontEnd : public ProgramFrontEnd {
 public:
  // `err` must outlive the front end.
  explicit HeadlessFrontEnd(std::FILE* err = stderr);

  void status(const StatusLine& line) override;
  void show_requested(bool foreground) override;
  void exit_requested() override;
  Prompts& prompts() override { return prompts_; }

  // Blocks until exit_requested() was called (also when it came earlier).
  void wait();
  // True once exit_requested() was called, waiting at most `timeout_ms`.
  bool wait_for(int32_t timeout_ms);

 private:
  void line(const std::string& text);

  std::FILE* err_;
  NonInteractivePrompts prompts_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool exit_ = false;
};

}  // namespace wayfetch

#endif
