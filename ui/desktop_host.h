// make_desktop_host: the window host the program runs with on a desktop,
// with everything wired that the window itself does not make: the prompts
// as dialogs (QtPrompts) owned by the window while it shows, the Quick
// publish and configuration dialogs behind their commands, and prompts that
// answer at once (Cancel, No, "later") once the event loop has ended, so
// that an update still asking never holds up the program's stop.
#ifndef WAYFETCH_UI_DESKTOP_HOST_H
#define WAYFETCH_UI_DESKTOP_HOST_H

#include <memory>

#include "program/window_host.h"

namespace wayfetch {

std::unique_ptr<WindowHost> make_desktop_host();

}  // namespace wayfetch

#endif
