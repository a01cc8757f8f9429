// Navigation stacks: pushes and pops with their transitions, the bar kept
// in step with the stack, and the edge pan that pops.
#include "kit/ui/navigation_controller.h"

#include <algorithm>
#include <cmath>

#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/screen.h"
#include "kit/ui/touch.h"
#include "kit/ui/window.h"

namespace kit {

namespace {

// A pan that begins only at the left edge and only towards the right.
class EdgePanGestureRecognizer : public PanGestureRecognizer {
 public:
  using PanGestureRecognizer::PanGestureRecognizer;
  static constexpr double EdgeWidth = 20;

  void touchesBegan(const TouchSet& touches, const Event& event) override {
    PanGestureRecognizer::touchesBegan(touches, event);
    if (touches.empty()) return;
    start_ = touches.front()->windowLocation();
    const View* v = viewPointer();
    const Point local = v ? v->convertPointFromView(start_, nullptr) : start_;
    if (local.x > EdgeWidth) setState(GestureRecognizerState::Failed);
  }
  void touchesMoved(const TouchSet& touches, const Event& event) override {
    if (state() == GestureRecognizerState::Possible && !touches.empty()) {
      const Point p = touches.front()->windowLocation();
      const double dx = p.x - start_.x, dy = p.y - start_.y;
      if (std::hypot(dx, dy) >= Hysteresis && (dx <= 0 || std::fabs(dy) > std::fabs(dx))) {
        setState(GestureRecognizerState::Failed);
        return;
      }
    }
    PanGestureRecognizer::touchesMoved(touches, event);
  }

 private:
  Point start_;
};

}  // namespace

Ref<NavigationController> NavigationController::withRoot(const Ref<ViewController>& root) {
  auto nav = kit::make<NavigationController>();
  if (root) nav->setViewControllers({root}, false);
  return nav;
}

NavigationController::NavigationController() = default;

NavigationController::~NavigationController() {
  if (bar_) bar_->onBack = nullptr;
}

void NavigationController::loadView() {
  auto view = View::make(Screen::main()->bounds());
  setView(view);
  navigationBar()->setFrame(Rect{0, 0, view->bounds().width(), BarHeight});
  view->addSubview(navigationBar());
  showTop(false, true, {});
}

const Ref<NavigationBar>& NavigationController::navigationBar() {
  if (!bar_) {
    const double width = isViewLoaded() ? viewIfLoaded()->bounds().size.width : Screen::main()->bounds().size.width;
    bar_ = NavigationBar::make(Rect{0, 0, width, BarHeight});
    bar_->setAutoresizingMask(AutoresizingFlexibleWidth);
    bar_->setHidden(barHidden_);
    Weak<NavigationController> weak = std::static_pointer_cast<NavigationController>(weak_from_this().lock());
    bar_->onBack = [weak] {
      if (auto nav = weak.lock(); nav && !nav->isTransitioning()) nav->popViewController(true);
    };
  }
  return bar_;
}

const Ref<GestureRecognizer>& NavigationController::interactivePopGestureRecognizer() {
  if (!popGesture_) {
    Weak<NavigationController> weak = std::static_pointer_cast<NavigationController>(weak_from_this().lock());
    popGesture_ = kit::make<EdgePanGestureRecognizer>([weak](GestureRecognizer& g) {
      auto nav = weak.lock();
      if (!nav || g.state() != GestureRecognizerState::Ended) return;
      auto& pan = static_cast<PanGestureRecognizer&>(g);
      const double width = nav->view()->bounds().width();
      const bool far = pan.translationInView(nav->view().get()).x > width / 3;
      const bool quick = pan.velocityInView(nav->view().get()).x > 300;
      if ((far || quick) && nav->childViewControllers().size() > 1 && !nav->isTransitioning())
        nav->popViewController(true);
    });
    view()->addGestureRecognizer(popGesture_);
  }
  return popGesture_;
}

Ref<ViewController> NavigationController::topViewController() const {
  const auto& list = childViewControllers();
  return list.empty() ? nullptr : list.back();
}

Ref<ViewController> NavigationController::visibleViewController() const {
  auto top = topViewController();
  if (top && top->presentedViewController()) return top->presentedViewController();
  return top;
}

// ---- The bar's hidden flag per level ---------------------------------------------

void NavigationController::rememberBarState() {
  if (auto top = topViewController()) barHiddenFor_[top.get()] = barHidden_;
}

void NavigationController::forgetRemoved() {
  const auto& list = childViewControllers();
  for (auto it = barHiddenFor_.begin(); it != barHiddenFor_.end();) {
    const bool kept = std::any_of(list.begin(), list.end(), [&](const Ref<ViewController>& c) {
      return c.get() == it->first;
    });
    it = kept ? std::next(it) : barHiddenFor_.erase(it);
  }
}

// ---- Stack changes ---------------------------------------------------------------

void NavigationController::setViewControllers(const std::vector<Ref<ViewController>>& controllers, bool animated) {
  for (auto& old : std::vector<Ref<ViewController>>(childViewControllers())) {
    if (std::find(controllers.begin(), controllers.end(), old) != controllers.end()) continue;
    old->willMoveToParentViewController(nullptr);
    old->removeFromParentViewController();
  }
  for (auto& c : controllers) {
    if (!c || c->parentViewController().get() == this) continue;
    addChildViewController(c);
    c->didMoveToParentViewController(this);
  }
  forgetRemoved();
  if (isViewLoaded()) showTop(animated, true, {});
}

void NavigationController::pushViewController(const Ref<ViewController>& controller, bool animated,
                                              std::function<void()> completion) {
  if (!controller || controller->parentViewController().get() == this || controller.get() == this) return;
  rememberBarState();
  addChildViewController(controller);
  controller->didMoveToParentViewController(this);
  barHiddenFor_[controller.get()] = barHidden_;
  if (isViewLoaded()) showTop(animated, true, std::move(completion));
  else if (completion) runOnMainSoon(std::move(completion));
}

Ref<ViewController> NavigationController::takeTop() {
  Ref<ViewController> top = topViewController();
  top->willMoveToParentViewController(nullptr);
  top->removeFromParentViewController();
  return top;
}

Ref<ViewController> NavigationController::popViewController(bool animated, std::function<void()> completion) {
  if (childViewControllers().size() < 2) return nullptr;
  Ref<ViewController> popped = takeTop();
  forgetRemoved();
  if (auto top = topViewController(); top && barHiddenFor_.count(top.get()))
    setNavigationBarHidden(barHiddenFor_[top.get()], animated);
  if (isViewLoaded()) showTop(animated, false, std::move(completion));
  else if (completion) runOnMainSoon(std::move(completion));
  return popped;
}

std::vector<Ref<ViewController>> NavigationController::popToViewController(const Ref<ViewController>& controller,
                                                                           bool animated,
                                                                           std::function<void()> completion) {
  std::vector<Ref<ViewController>> popped;
  const auto& list = childViewControllers();
  if (std::find(list.begin(), list.end(), controller) == list.end()) return popped;
  while (topViewController() != controller) popped.insert(popped.begin(), takeTop());
  if (popped.empty()) return popped;
  forgetRemoved();
  if (barHiddenFor_.count(controller.get())) setNavigationBarHidden(barHiddenFor_[controller.get()], animated);
  if (isViewLoaded()) showTop(animated, false, std::move(completion));
  else if (completion) runOnMainSoon(std::move(completion));
  return popped;
}

std::vector<Ref<ViewController>> NavigationController::popToRootViewController(bool animated,
                                                                               std::function<void()> completion) {
  const auto& list = childViewControllers();
  if (list.empty()) return {};
  return popToViewController(list.front(), animated, std::move(completion));
}

// ---- Showing the top ---------------------------------------------------------------

Rect NavigationController::contentFrame() {
  Rect b = view()->bounds();
  if (!barHidden_) {
    b.origin.y += BarHeight;
    b.size.height -= BarHeight;
  }
  return b;
}

void NavigationController::showTop(bool animated, bool fromRight, std::function<void()> completion) {
  Ref<ViewController> top = topViewController();
  Ref<ViewController> shown = shown_.lock();
  Ref<NavigationController> self = std::static_pointer_cast<NavigationController>(weak_from_this().lock());
  auto finished = [self, top, animated, completion = std::move(completion)]() mutable {
    if (top && top == self->topViewController())
      if (auto d = self->delegate.lock()) d->didShowViewController(*self, *top, animated);
    if (completion) completion();
  };
  if (top == shown) {
    if (top && top->isViewLoaded()) top->viewIfLoaded()->setFrame(contentFrame());
    refreshBar();
    runOnMainSoon(std::move(finished));
    return;
  }
  if (top)
    if (auto d = delegate.lock()) d->willShowViewController(*this, *top, animated);
  shown_ = top;
  Ref<View> oldView = shown && shown->isViewLoaded() ? shown->viewIfLoaded() : nullptr;
  if (oldView && oldView->superview().get() != view().get()) oldView.reset();
  // Loaded first: a controller may show or hide the bar as its view loads,
  // and its view is laid out below the bar it chose.
  Ref<View> newView = top ? top->view() : nullptr;
  const Rect target = contentFrame();
  if (newView) {
    newView->setFrame(target);
    newView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    if (oldView && !fromRight) view()->insertSubviewBelow(newView, oldView.get());
    else view()->insertSubviewBelow(newView, navigationBar().get());
  }
  refreshBar();
  const bool slide = animated && oldView && newView && view()->window();
  if (!slide) {
    if (oldView) oldView->removeFromSuperview();
    runOnMainSoon(std::move(finished));
    return;
  }
  ++transitioning_;
  const double width = target.width();
  Rect newStart = target, oldEnd = oldView->frame();
  if (fromRight) {
    newStart.origin.x += width;
    oldEnd.origin.x -= width / 3;
  } else {
    newStart.origin.x -= width / 3;
    oldEnd.origin.x += width;
  }
  const Rect oldStart = oldView->frame();
  newView->setFrame(newStart);
  View::animate(
      TransitionDuration,
      [&] {
        newView->setFrame(target);
        oldView->setFrame(oldEnd);
      },
      [self, shown, oldView, oldStart, finished = std::move(finished)](bool) mutable {
        --self->transitioning_;
        // The controller that left keeps its view for another showing.
        if (shown != self->topViewController()) {
          oldView->removeFromSuperview();
          oldView->setFrame(oldStart);
        }
        finished();
      });
}

void NavigationController::refreshBar() {
  std::vector<Ref<NavigationItem>> items;
  for (const auto& c : childViewControllers()) items.push_back(c->navigationItem().selfAs<NavigationItem>());
  navigationBar()->setItems(std::move(items));
}

void NavigationController::setNavigationBarHidden(bool hidden, bool) {
  barHidden_ = hidden;
  if (auto top = topViewController()) barHiddenFor_[top.get()] = hidden;
  navigationBar()->setHidden(hidden);
  if (isViewLoaded())
    if (auto top = topViewController(); top && top->isViewLoaded()) top->viewIfLoaded()->setFrame(contentFrame());
}

void NavigationController::viewDidLayoutSubviews() {
  if (isTransitioning()) return;
  if (auto top = topViewController(); top && top->isViewLoaded()) top->viewIfLoaded()->setFrame(contentFrame());
}

bool NavigationController::shouldAutorotate() const {
  auto top = topViewController();
  return top ? top->shouldAutorotate() : true;
}

unsigned NavigationController::supportedInterfaceOrientations() const {
  auto top = topViewController();
  return top ? top->supportedInterfaceOrientations() : OrientationMaskAllButUpsideDown;
}

InterfaceOrientation NavigationController::preferredInterfaceOrientationForPresentation() const {
  auto top = topViewController();
  return top ? top->preferredInterfaceOrientationForPresentation() : InterfaceOrientation::Portrait;
}

bool NavigationController::prefersStatusBarHidden() const {
  auto top = topViewController();
  return top ? top->prefersStatusBarHidden() : false;
}

}  // namespace kit
