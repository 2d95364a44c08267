// The one QApplication of the window tests, made on first use (the test
// list is read without one). The tests set QT_QPA_PLATFORM=offscreen.
#ifndef WAYFETCH_TESTS_UI_QT_APP_H
#define WAYFETCH_TESTS_UI_QT_APP_H

#include <QApplication>

namespace wayfetch::testing {

inline QApplication& qt_app() {
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace wayfetch::testing

#endif
