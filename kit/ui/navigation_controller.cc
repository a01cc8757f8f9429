// Navigation stacks, their bar and its items.
#include "kit/ui/navigation_controller.h"

#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/label.h"
#include "kit/ui/screen.h"

namespace kit {

Ref<BarButtonItem> BarButtonItem::withCustomView(Ref<View> view) {
  auto item = kit::make<BarButtonItem>();
  item->customView_ = std::move(view);
  return item;
}

Ref<BarButtonItem> BarButtonItem::withTitle(std::string title, std::function<void()> action) {
  auto item = kit::make<BarButtonItem>();
  item->title_ = std::move(title);
  item->action = std::move(action);
  return item;
}

void NavigationItem::setTitleView(Ref<View> v) {
  titleView_ = std::move(v);
  if (onChange) onChange();
}

void NavigationItem::setLeftBarButtonItem(Ref<BarButtonItem> item) {
  left_ = std::move(item);
  if (onChange) onChange();
}

void NavigationItem::setRightBarButtonItem(Ref<BarButtonItem> item) {
  right_ = std::move(item);
  if (onChange) onChange();
}

Ref<NavigationController> NavigationController::withRoot(const Ref<ViewController>& root) {
  auto nav = kit::make<NavigationController>();
  if (root) nav->setViewControllers({root}, false);
  return nav;
}

NavigationController::NavigationController() = default;

void NavigationController::loadView() {
  auto view = View::make(Screen::main()->bounds());
  setView(view);
  view->addSubview(navigationBar());
  showTop(false);
}

const Ref<View>& NavigationController::navigationBar() {
  if (!bar_) {
    const double width = isViewLoaded() ? viewIfLoaded()->bounds().size.width : Screen::main()->bounds().size.width;
    bar_ = View::make(Rect{0, 0, width, BarHeight});
    bar_->setBackgroundColor(Color::white(0.97));
    bar_->setAutoresizingMask(AutoresizingFlexibleWidth);
    bar_->setHidden(barHidden_);
  }
  return bar_;
}

const Ref<GestureRecognizer>& NavigationController::interactivePopGestureRecognizer() {
  if (!popGesture_) {
    Weak<NavigationController> weak = std::static_pointer_cast<NavigationController>(weak_from_this().lock());
    popGesture_ = PanGestureRecognizer::make([weak](GestureRecognizer& g) {
      auto nav = weak.lock();
      if (nav && g.state() == GestureRecognizerState::Ended && nav->childViewControllers().size() > 1)
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

void NavigationController::setViewControllers(const std::vector<Ref<ViewController>>& controllers, bool animated) {
  for (auto& old : std::vector<Ref<ViewController>>(childViewControllers())) old->removeFromParentViewController();
  for (auto& c : controllers) {
    addChildViewController(c);
    c->didMoveToParentViewController(this);
  }
  if (isViewLoaded()) showTop(animated);
}

void NavigationController::pushViewController(const Ref<ViewController>& controller, bool animated) {
  if (!controller || controller->parentViewController().get() == this) return;
  addChildViewController(controller);
  controller->didMoveToParentViewController(this);
  if (isViewLoaded()) showTop(animated);
}

Ref<ViewController> NavigationController::popViewController(bool animated) {
  if (childViewControllers().size() < 2) return nullptr;
  Ref<ViewController> top = topViewController();
  top->willMoveToParentViewController(nullptr);
  top->removeFromParentViewController();
  if (isViewLoaded()) showTop(animated);
  return top;
}

std::vector<Ref<ViewController>> NavigationController::popToRootViewController(bool animated) {
  std::vector<Ref<ViewController>> popped;
  while (childViewControllers().size() > 1) {
    Ref<ViewController> top = topViewController();
    top->willMoveToParentViewController(nullptr);
    top->removeFromParentViewController();
    popped.insert(popped.begin(), top);
  }
  if (isViewLoaded()) showTop(animated);
  return popped;
}

Rect NavigationController::contentFrame() {
  Rect b = view()->bounds();
  if (!barHidden_) {
    b.origin.y += BarHeight;
    b.size.height -= BarHeight;
  }
  return b;
}

void NavigationController::showTop(bool) {
  Ref<ViewController> top = topViewController();
  auto shown = shown_.lock();
  if (shown && shown != top && shown->isViewLoaded()) shown->viewIfLoaded()->removeFromSuperview();
  shown_ = top;
  if (top) {
    const Ref<View>& v = top->view();
    v->setFrame(contentFrame());
    v->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    view()->insertSubviewBelow(v, navigationBar().get());
  }
  refreshBar();
}

void NavigationController::refreshBar() {
  const Ref<View>& bar = navigationBar();
  for (auto& sub : std::vector<Ref<View>>(bar->subviews())) sub->removeFromSuperview();
  Ref<ViewController> top = topViewController();
  if (!top) return;
  NavigationItem& item = top->navigationItem();
  Weak<NavigationController> weak = std::static_pointer_cast<NavigationController>(weak_from_this().lock());
  item.onChange = [weak] {
    if (auto nav = weak.lock()) nav->refreshBar();
  };
  const Rect b = bar->bounds();
  if (auto title = item.titleView()) {
    title->setCenter({b.size.width / 2, b.size.height / 2});
    bar->addSubview(title);
  } else if (!item.title().empty() || !top->title().empty()) {
    auto label = Label::make(Rect{b.size.width / 4, 0, b.size.width / 2, b.size.height});
    label->setText(item.title().empty() ? top->title() : item.title());
    label->setTextAlignment(TextAlignment::Center);
    label->setFont(Font::boldSystemFont(17));
    bar->addSubview(label);
  }
  if (auto left = item.leftBarButtonItem(); left && left->customView()) {
    Rect f = left->customView()->frame();
    f.origin.y = (b.size.height - f.size.height) / 2;
    if (f.origin.x == 0) f.origin.x = 8;
    left->customView()->setFrame(f);
    bar->addSubview(left->customView());
  }
  if (auto right = item.rightBarButtonItem(); right && right->customView()) {
    Rect f = right->customView()->frame();
    f.origin = {b.size.width - f.size.width - 8, (b.size.height - f.size.height) / 2};
    right->customView()->setFrame(f);
    bar->addSubview(right->customView());
  }
}

void NavigationController::setNavigationBarHidden(bool hidden, bool) {
  barHidden_ = hidden;
  navigationBar()->setHidden(hidden);
  if (isViewLoaded())
    if (auto top = topViewController(); top && top->isViewLoaded()) top->viewIfLoaded()->setFrame(contentFrame());
}

void NavigationController::viewDidLayoutSubviews() {
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

}  // namespace kit
