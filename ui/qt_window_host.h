// QtWindowHost: runs the program with its window on a desktop.
//
// run() follows program/window_host.h: it makes the QApplication, the
// prompts and the MainWindow; has the program made with the window as its
// front end; attaches the window to the program's core and lets the
// `setup` hook wire what lives outside this library (the dialogs); then
// initialises the program, shows the window (or, when `foreground` is
// false, keeps it hidden with only the notification icon, minimised where
// the desktop has none), runs the event loop until Exit or
// exit_requested(), stops the program and destroys it before the window.
//
// available() is true when DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is
// set. Not thread-safe: run() belongs to the program's main thread.
#ifndef WAYFETCH_UI_QT_WINDOW_HOST_H
#define WAYFETCH_UI_QT_WINDOW_HOST_H

#include <functional>
#include <memory>

#include "config/application_core.h"
#include "config/prompts.h"
#include "program/window_host.h"

namespace wayfetch {

class MainWindow;

class QtWindowHost : public WindowHost {
 public:
  // Makes the window's prompts, once the QApplication exists (default: the
  // answers of a run without a window).
  using PromptsMaker = std::function<std::unique_ptr<Prompts>()>;
  // Wires the window to the core beyond what it does itself (the dialogs'
  // hooks); called after attach, before the program is initialised.
  using Setup = std::function<void(MainWindow& window, ApplicationCore& core)>;

  QtWindowHost() = default;
  QtWindowHost(PromptsMaker make_prompts, Setup setup)
      : make_prompts_(std::move(make_prompts)), setup_(std::move(setup)) {}

  bool available() const override;
  int run(int argc, char** argv, bool foreground, const ProgramMaker& make_program) override;

 private:
  PromptsMaker make_prompts_;
  Setup setup_;
};

}  // namespace wayfetch

#endif
