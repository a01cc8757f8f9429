// View controllers: lazy views, appearance, children, presentation.
#include "kit/ui/view_controller.h"

#include <algorithm>
#include <cstdio>

#include "kit/ui/main_loop.h"
#include "kit/ui/navigation_controller.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "kit/ui/window.h"

namespace kit {

ViewController::ViewController() = default;

ViewController::~ViewController() {
  if (view_ && view_->controller_ == this) view_->controller_ = nullptr;
}

std::string ViewController::description() const { return defaultDescription(); }

// ---- The view ------------------------------------------------------------------

const Ref<View>& ViewController::view() {
  KIT_CHECK_MAIN_THREAD();
  if (!view_ && !loading_) {
    loading_ = true;
    loadView();
    if (!view_) setView(View::make(Screen::main()->bounds()));
    loading_ = false;
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(Ref<View> view) {
  KIT_CHECK_MAIN_THREAD();
  if (view_ && view_->controller_ == this) view_->controller_ = nullptr;
  view_ = std::move(view);
  if (view_) view_->controller_ = this;
}

void ViewController::loadView() {
  KIT_CHECK_MAIN_THREAD();
  if (!nibName_.empty()) {
    if (auto loaded = SceneRegistry::shared().loadNib(nibName_, this)) {
      if (!view_) setView(loaded);
      return;
    }
  }
  setView(View::make(Screen::main()->bounds()));
}

void ViewController::viewWillTransitionToSize(Size size) {
  KIT_CHECK_MAIN_THREAD();
  for (auto& child : std::vector<Ref<ViewController>>(children_)) child->viewWillTransitionToSize(size);
}

void ViewController::receiveMemoryWarning() {
  KIT_CHECK_MAIN_THREAD();
  didReceiveMemoryWarning();
  for (auto& child : std::vector<Ref<ViewController>>(children_)) child->receiveMemoryWarning();
  if (presented_) presented_->receiveMemoryWarning();
}

void ViewController::updateAppearance(bool animated) {
  KIT_CHECK_MAIN_THREAD();
  bool visible = false;
  if (view_) {
    Window* w = view_->windowPointer();
    visible = w && !w->isHidden();
  }
  if (visible == appeared_) return;
  appeared_ = visible;
  if (visible) {
    viewWillAppear(animated);
    if (!deferDidAppear_) viewDidAppear(animated);
  } else {
    viewWillDisappear(animated);
    viewDidDisappear(animated);
  }
}

// ---- Children ----------------------------------------------------------------

void ViewController::addChildViewController(const Ref<ViewController>& child) {
  KIT_CHECK_MAIN_THREAD();
  if (!child || child.get() == this) return;
  if (auto old = child->parent_.lock(); old.get() == this) return;
  if (child->parent_.lock()) child->removeFromParentViewController();
  child->willMoveToParentViewController(this);
  children_.push_back(child);
  child->parent_ = std::static_pointer_cast<ViewController>(weak_from_this().lock());
}

void ViewController::removeFromParentViewController() {
  KIT_CHECK_MAIN_THREAD();
  auto parent = parent_.lock();
  if (!parent) return;
  Ref<ViewController> keep = std::static_pointer_cast<ViewController>(weak_from_this().lock());
  auto& list = parent->children_;
  list.erase(std::remove_if(list.begin(), list.end(), [&](const Ref<ViewController>& c) { return c.get() == this; }),
             list.end());
  parent_.reset();
  didMoveToParentViewController(nullptr);
}

NavigationController* ViewController::navigationController() const {
  for (auto p = parent_.lock(); p; p = p->parent_.lock())
    if (auto nav = dynamic_cast<NavigationController*>(p.get())) return nav;
  return nullptr;
}

NavigationItem& ViewController::navigationItem() {
  if (!navigationItem_) {
    navigationItem_ = kit::make<NavigationItem>();
    if (!title_.empty()) navigationItem_->setTitle(title_);
  }
  return *navigationItem_;
}

void ViewController::setTitle(const std::string& title) {
  KIT_CHECK_MAIN_THREAD();
  title_ = title;
  if (navigationItem_) navigationItem_->setTitle(title);
}

// ---- Presentation --------------------------------------------------------------

bool ViewController::presentViewController(const Ref<ViewController>& controller, bool animated,
                                           std::function<void()> completion) {
  KIT_CHECK_MAIN_THREAD();
  if (!controller) return false;
  auto refuse = [&](const char* why) {
    std::fprintf(stderr, "kit: refused to present %s on %s: %s\n", controller->description().c_str(),
                 description().c_str(), why);
    return false;
  };
  if (controller.get() == this) return refuse("a controller cannot present itself");
  if (presented_) return refuse("it is already presenting another controller");
  if (controller->presenting_.lock()) return refuse("the controller is already presented");
  Window* window = view()->windowPointer();
  if (!window) return refuse("its view is not in a window");
  Ref<Window> keepWindow = std::static_pointer_cast<Window>(window->weak_from_this().lock());

  presented_ = controller;
  controller->presenting_ = std::static_pointer_cast<ViewController>(weak_from_this().lock());
  controller->beingPresented_ = true;
  const Ref<View>& shown = controller->view();
  shown->setFrame(window->bounds());
  shown->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  controller->deferDidAppear_ = true;
  window->addSubview(shown);
  shown->layoutIfNeeded();

  if (!animated) {
    Ref<ViewController> presented = controller;
    runOnMainSoon([self = std::static_pointer_cast<ViewController>(weak_from_this().lock()), presented,
                   completion = std::move(completion)]() mutable {
      self->finishPresentation(presented, false, std::move(completion));
    });
    return true;
  }
  // The transition's look is recorded on the view's layer.
  if (controller->transitionStyle_ == ModalTransitionStyle::CrossDissolve) {
    shown->setAlpha(0);
  } else {
    Rect below = shown->frame();
    below.origin.y = window->bounds().size.height;
    shown->setFrame(below);
  }
  Ref<ViewController> presented = controller;
  Ref<ViewController> self = std::static_pointer_cast<ViewController>(weak_from_this().lock());
  const Rect target = window->bounds();
  View::animate(
      TransitionDuration,
      [&] {
        shown->setAlpha(1);
        shown->setFrame(target);
      },
      [self, presented, completion = std::move(completion)](bool) mutable {
        self->finishPresentation(presented, true, std::move(completion));
      });
  return true;
}

void ViewController::finishPresentation(const Ref<ViewController>& presented, bool animated,
                                        std::function<void()> completion) {
  presented->beingPresented_ = false;
  presented->deferDidAppear_ = false;
  if (presented->appeared_) presented->viewDidAppear(animated);
  if (completion) completion();
}

void ViewController::dismissViewController(bool animated, std::function<void()> completion) {
  KIT_CHECK_MAIN_THREAD();
  if (presented_) {
    removePresented(animated, std::move(completion));
    return;
  }
  if (auto presenter = presenting_.lock()) presenter->removePresented(animated, std::move(completion));
}

void ViewController::removePresented(bool animated, std::function<void()> completion) {
  Ref<ViewController> gone = presented_;
  if (!gone || gone->beingDismissed_) return;
  // Whatever the dismissed controller presents goes with it, without a
  // transition of its own.
  if (gone->presented_) gone->removePresented(false, {});
  gone->beingDismissed_ = true;
  Ref<ViewController> self = std::static_pointer_cast<ViewController>(weak_from_this().lock());
  auto finish = [self, gone, animated](std::function<void()> done) {
    if (gone->view_) gone->view_->removeFromSuperview();
    if (gone->view_) gone->view_->setAlpha(1);
    gone->beingDismissed_ = false;
    gone->presenting_.reset();
    if (self->presented_ == gone) self->presented_.reset();
    (void)animated;
    if (done) runOnMainSoon(std::move(done));
  };
  if (!animated || !gone->view_) {
    finish(std::move(completion));
    return;
  }
  Ref<View> shown = gone->view_;
  Window* window = shown->windowPointer();
  const double height = window ? window->bounds().size.height : shown->bounds().size.height;
  const ModalTransitionStyle style = gone->transitionStyle_;
  View::animate(
      TransitionDuration,
      [&] {
        if (style == ModalTransitionStyle::CrossDissolve) {
          shown->setAlpha(0);
        } else {
          Rect f = shown->frame();
          f.origin.y = height;
          shown->setFrame(f);
        }
      },
      [finish, completion = std::move(completion)](bool) mutable { finish(std::move(completion)); });
}

Ref<Responder> ViewController::nextResponder() const {
  if (view_) {
    if (auto super = view_->superview()) return super;
  }
  if (auto presenter = presenting_.lock()) return presenter;
  if (auto parent = parent_.lock()) return parent;
  return nullptr;
}

}  // namespace kit
