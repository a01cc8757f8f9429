// Windows: level, root controller, key status, layout scheduling, touches.
#include "kit/ui/window.h"

#include <algorithm>
#include <functional>

#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/screen.h"
#include "kit/ui/touch_dispatcher.h"
#include "kit/ui/view_controller.h"

namespace kit {

Ref<Window> Window::make() { return kit::make<Window>(Screen::main()->bounds()); }

Window::Window(const Rect& frame) : View(frame) { layer()->setHidden(true); }

Window::~Window() = default;

std::string Window::description() const {
  std::string d = View::description();
  d.pop_back();
  return d + "; level = " + std::to_string(static_cast<long>(level_)) + ">";
}

void Window::setWindowLevel(WindowLevel level) {
  level_ = level;
  Application::shared()->windowLevelChanged(this);
}

void Window::setRootViewController(Ref<ViewController> controller) {
  if (root_ == controller) return;
  Ref<ViewController> old = root_;
  if (old && old->isViewLoaded() && old->view()->superview().get() == this) old->view()->removeFromSuperview();
  root_ = std::move(controller);
  if (!root_) return;
  const Ref<View>& view = root_->view();
  view->setFrame(bounds());
  view->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  insertSubviewAt(view, 0);
}

void Window::makeKeyAndVisible() {
  setHidden(false);
  makeKeyWindow();
}

void Window::makeKeyWindow() { Application::shared()->makeKey(this); }

bool Window::isKeyWindow() const { return Application::shared()->keyWindow().get() == this; }

void Window::setHidden(bool hidden) {
  const bool was = isHidden();
  if (was == hidden) return;
  View::setHidden(hidden);
  Application::shared()->windowVisibilityChanged(this);
  if (!hidden) {
    setNeedsLayout();
    layoutIfNeeded();
  }
  // Controllers whose views are in this window appear or disappear with it.
  std::function<void(View&)> update = [&](View& v) {
    if (ViewController* c = v.owningController()) c->updateAppearance();
    for (auto& sub : std::vector<Ref<View>>(v.subviews())) update(*sub);
  };
  update(*this);
}

Ref<Screen> Window::screen() const { return Screen::main(); }

EdgeInsets Window::windowSafeAreaInsets() const {
  const DeviceProfile& p = DeviceProfile::current();
  const Rect f = frame();
  const EdgeInsets s = p.safeAreaInsets;
  const Size screen = p.screenSize;
  auto clamp = [](double v, double limit) { return std::clamp(v, 0.0, std::max(0.0, limit)); };
  EdgeInsets e;
  e.top = clamp(s.top - f.minY(), f.height());
  e.left = clamp(s.left - f.minX(), f.width());
  e.bottom = clamp(f.maxY() - (screen.height - s.bottom), f.height());
  e.right = clamp(f.maxX() - (screen.width - s.right), f.width());
  return e;
}

void Window::scheduleLayoutPass() {
  if (layoutScheduled_) return;
  layoutScheduled_ = true;
  Weak<Window> weak = std::static_pointer_cast<Window>(weak_from_this().lock());
  if (weak.expired()) {
    layoutScheduled_ = false;  // still being built: the first showing lays out
    return;
  }
  runOnMainSoon([weak] {
    if (auto w = weak.lock()) {
      w->layoutScheduled_ = false;
      w->layoutIfNeeded();
    }
  });
}

TouchDispatcher& Window::touchDispatcher() {
  if (!touches_) touches_ = std::make_unique<TouchDispatcher>(*this);
  return *touches_;
}

void Window::sendTouch(TouchPhase phase, Point location, int touchId) {
  touchDispatcher().deliver(phase, location, touchId);
}

Ref<Responder> Window::nextResponder() const { return Application::shared(); }

void Window::screenDidChange(Size oldScreen) {
  const Rect f = frame();
  if (f.origin == Point{} && f.size == oldScreen) setFrame(Screen::main()->bounds());
  std::function<void(View&)> notify = [&](View& v) {
    v.safeAreaInsetsDidChange();
    for (auto& sub : v.subviews()) notify(*sub);
  };
  notify(*this);
}

}  // namespace kit
