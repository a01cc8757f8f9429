// kit::Window: the root of a view tree shown on the screen. Windows have a
// level (normal, status bar, alert, or any number; higher lies above), a
// root view controller whose view fills them, and one of them at a time is
// the key window. A window is hidden until shown; the application lists
// the visible ones but does not keep them alive: their owners do.
//
// Touches enter a window through sendTouch (the test driver calls it): the
// window finds the view under the finger by hit testing and delivers the
// touch to that view's gesture recognizers and to the view.
#pragma once

#include <memory>

#include "kit/ui/view.h"

namespace kit {

class ViewController;
class TouchDispatcher;
class Screen;
enum class TouchPhase;

class Window : public View {
 public:
  // A window covering the main screen.
  static Ref<Window> make();
  static Ref<Window> make(const Rect& frame) { return kit::make<Window>(frame); }
  explicit Window(const Rect& frame);
  ~Window() override;

  WindowLevel windowLevel() const { return level_; }
  void setWindowLevel(WindowLevel level);

  const Ref<ViewController>& rootViewController() const { return root_; }
  void setRootViewController(Ref<ViewController> controller);

  // Shows the window and makes it the key window.
  void makeKeyAndVisible();
  void makeKeyWindow();
  bool isKeyWindow() const;
  virtual void becomeKeyWindow() {}
  virtual void resignKeyWindow() {}
  void setHidden(bool hidden) override;
  Ref<Screen> screen() const;

  // The unsafe edges of this window: the device's, where the window
  // reaches them.
  EdgeInsets windowSafeAreaInsets() const;

  // Runs a layout pass of the whole tree on the next run loop pass.
  void scheduleLayoutPass();

  // Delivers one touch event at a point of the window's space (see
  // touch_dispatcher.h); `touchId` tells fingers apart.
  void sendTouch(TouchPhase phase, Point location, int touchId = 0);
  TouchDispatcher& touchDispatcher();

  Ref<Responder> nextResponder() const override;
  std::string description() const override;

  // Used by the application when the screen changes size.
  void screenDidChange(Size oldScreen);

 private:
  WindowLevel level_ = WindowLevelNormal;
  Ref<ViewController> root_;
  std::unique_ptr<TouchDispatcher> touches_;
  bool layoutScheduled_ = false;
};

}  // namespace kit
