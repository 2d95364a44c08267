// WindowHost: how the program entry runs the program with a window when the
// machine has a desktop. The user-interface library implements it; the entry
// (program/program_entry.h) runs headless when there is no host or it is
// not available.
//
// A host's run() does, in this order:
//   1. create its application object and the window (a ProgramFrontEnd);
//   2. program = make_program(window): the program, constructed with the
//      window as its front end, not yet initialised;
//   3. attach the window to program->core();
//   4. program->initialise(): configuration (with its messages and the
//      conversion question), last synchronisation, the tree, the estimates,
//      the timer and the listener threads;
//   5. show the window, or keep it hidden with only the notification icon
//      when `foreground` is false; run the event loop until Exit or
//      exit_requested();
//   6. program->stop(), then destroy the program before the window.
// It returns the process's exit code.
#ifndef WAYFETCH_PROGRAM_WINDOW_HOST_H
#define WAYFETCH_PROGRAM_WINDOW_HOST_H

#include <functional>
#include <memory>

#include "program/front_end.h"

namespace wayfetch {

class WayfetchProgram;

using ProgramMaker = std::function<std::unique_ptr<WayfetchProgram>(ProgramFrontEnd&)>;

class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // Whether a window can be shown here (DISPLAY, WAYLAND_DISPLAY or
  // QT_QPA_PLATFORM is set).
  virtual bool available() const = 0;
  virtual int run(int argc, char** argv, bool foreground, const ProgramMaker& make_program) = 0;
};

}  // namespace wayfetch

#endif
