// TrayAnimation: what the notification icon shows, one step every 200 ms.
//
// While an update runs the icon turns through four frames, one per step;
// otherwise it shows the program's icon, set once when the update ends (or
// at the first step). Each step also says whether the icon's Update now is
// to be greyed. The window drives it from a QTimer on the GUI thread, so it
// needs no lock; it holds no Qt object, so it is tested without a tray.
#ifndef WAYFETCH_UI_TRAY_ANIMATION_H
#define WAYFETCH_UI_TRAY_ANIMATION_H

#include <cstdint>

namespace wayfetch {

class TrayAnimation {
 public:
  static constexpr int32_t frame_count = 4;
  static constexpr int32_t step_ms = 200;
  // The program's icon, as opposed to frames 0-3.
  static constexpr int32_t normal_icon = -1;

  struct Step {
    // The icon to show now: normal_icon or a frame; `change` is false when
    // the icon shown already is the right one.
    int32_t icon = normal_icon;
    bool change = false;
    bool update_now_enabled = true;
  };

  // One step, with `running` the job semaphore's state now.
  Step step(bool running);

 private:
  // What is shown: -2 nothing yet, normal_icon or a frame.
  int32_t shown_ = -2;
};

}  // namespace wayfetch

#endif
