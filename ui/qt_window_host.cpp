#include "ui/qt_window_host.h"

#include <QApplication>

#include <cstdlib>

#include "config/non_interactive_prompts.h"
#include "program/wayfetch_program.h"
#include "ui/main_window.h"

namespace wayfetch {

bool QtWindowHost::available() const {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

int QtWindowHost::run(int argc, char** argv, bool foreground, const ProgramMaker& make_program) {
  QApplication application(argc, argv);
  // Closing the window only hides it: Exit alone ends the loop.
  QApplication::setQuitOnLastWindowClosed(false);
  // The prompts outlive the window, the window outlives the program.
  std::unique_ptr<Prompts> prompts =
      make_prompts_ ? make_prompts_() : std::make_unique<NonInteractivePrompts>();
  MainWindow window(*prompts);
  std::unique_ptr<WayfetchProgram> program = make_program(window);
  if (!program) return 1;
  window.attach(program->core());
  if (setup_) setup_(window, program->core());
  QObject::connect(&window, &MainWindow::leave_requested, &application, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  program->initialise();
  if (foreground) {
    window.show();
  } else if (window.tray() == nullptr) {
    window.showMinimized();
  }
  const int code = QApplication::exec();
  program->stop();
  program.reset();
  return code;
}

}  // namespace wayfetch
