#include "ui/tray_animation.h"

namespace wayfetch {

TrayAnimation::Step TrayAnimation::step(bool running) {
  Step next;
  next.update_now_enabled = !running;
  if (running) {
    // A run that starts while the normal icon shows begins at frame 0.
    next.icon = shown_ < 0 ? 0 : (shown_ + 1) % frame_count;
  } else {
    next.icon = normal_icon;
  }
  next.change = next.icon != shown_;
  shown_ = next.icon;
  return next;
}

}  // namespace wayfetch
