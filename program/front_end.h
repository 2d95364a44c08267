// ProgramFrontEnd: what the running program (program/wayfetch_program.h)
// asks of whatever shows it: the window, or nothing at all on a machine
// without a desktop (program/headless_front_end.h).
//
// The front end observes the application core like any UpdateObserver
// (status, progress, estimates, the tree, the prompts) and, besides, hears
// what other starts of `wayfetch` ask of the running instance: show the
// window (a plain second start, or "-m"), end the program ("-k"), and the
// handheld connection notice.
//
// Threads: these calls arrive on the program's listener threads; a front end
// with a window hands them to its own thread and returns at once.
#ifndef WAYFETCH_PROGRAM_FRONT_END_H
#define WAYFETCH_PROGRAM_FRONT_END_H

#include "config/update_observer.h"

namespace wayfetch {

class ProgramFrontEnd : public UpdateObserver {
 public:
  // Another start asked to see the program: show the window and restore it;
  // bring it to the foreground unless `foreground` is false ("-m").
  virtual void show_requested(bool foreground) { (void)foreground; }
  // Another start asked the program to end ("-k"), or the system did
  // (SIGTERM): leave the front end's loop; the program's stop follows.
  virtual void exit_requested() = 0;
};

}  // namespace wayfetch

#endif
