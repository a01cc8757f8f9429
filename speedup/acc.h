// acc: the game speed-up tool's entry. acc_showTouch shows the tool's
// floating button, a small round button in a window of its own above the
// game window, near the right edge. The window is made on the first call
// and shown again by later ones, so there is never more than one button.
// Callable from any thread: the work runs on the main queue.
//
//   acc::acc_showTouch();
#pragma once

#include "kit/ui/button.h"
#include "kit/ui/window.h"

class acc {
 public:
  static void acc_showTouch();

  // The button's window and the button, once shown (main thread).
  static kit::Ref<kit::Window> touchWindow();
  static kit::Ref<kit::Button> touchButton();
  // Removes the window (tests).
  static void reset();

  static constexpr double Side = 44;
  // Above the game and the platform's alert-level windows.
  static constexpr double Level = kit::WindowLevelAlert + 1;
};
