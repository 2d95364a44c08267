// What the sanitizers are to ignore in the window tests, built into the test
// binary (the runtimes ask for these functions at start-up). Debian's Qt,
// fontconfig and glib are not built with the sanitizers: LeakSanitizer sees
// their one-time caches as leaks, and ThreadSanitizer cannot see the atomics
// and locks inside them, so it reports races on what they allocate and free
// (called_from_lib: their calls into the runtime are not followed). Only
// those system libraries are named; a leak or a race in our code still
// shows. The hand-over through Qt's event queue is marked for the sanitizer
// in ui/main_window.cpp rather than suppressed.

extern "C" {

const char* __lsan_default_suppressions();
const char* __tsan_default_suppressions();

const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libQt6Core.so\n"
         "leak:libQt6Gui.so\n"
         "leak:libQt6Widgets.so\n"
         "leak:libqoffscreen.so\n"
         "leak:libqsvg.so\n"
         "leak:libqsvgicon.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libdbus-1.so\n";
}

const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so\n"
         "called_from_lib:libQt6Gui.so\n"
         "called_from_lib:libQt6Widgets.so\n"
         "called_from_lib:libglib-2.0.so\n"
         "called_from_lib:libfontconfig.so\n";
}

}  // extern "C"
