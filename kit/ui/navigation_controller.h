// kit::NavigationController: a stack of controllers under a navigation bar.
// The top controller's view fills the area below the bar (the whole view
// when the bar is hidden); pushing and popping swap it, sliding in from the
// right when animated, with the appearance callbacks, and a completion
// that runs once the transition is over. Each controller's navigation item
// supplies the bar's title, back button and bar-button items.
//
// Whether the bar is hidden is remembered per level of the stack: a
// controller pushed under a hidden bar that shows the bar finds it hidden
// again when it is popped back to the one below.
//
// The interactive pop gesture is a pan that starts at the left edge.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "kit/ui/navigation_bar.h"
#include "kit/ui/view_controller.h"

namespace kit {

class GestureRecognizer;
class NavigationController;

class NavigationControllerDelegate {
 public:
  virtual ~NavigationControllerDelegate() = default;
  virtual void willShowViewController(NavigationController&, ViewController&, bool /*animated*/) {}
  virtual void didShowViewController(NavigationController&, ViewController&, bool /*animated*/) {}
};

class NavigationController : public ViewController {
 public:
  static Ref<NavigationController> withRoot(const Ref<ViewController>& root);
  NavigationController();
  ~NavigationController() override;

  Weak<NavigationControllerDelegate> delegate;

  const std::vector<Ref<ViewController>>& viewControllers() const { return childViewControllers(); }
  void setViewControllers(const std::vector<Ref<ViewController>>& controllers, bool animated);
  Ref<ViewController> topViewController() const;
  // The presented controller of the top one, else the top one.
  Ref<ViewController> visibleViewController() const;

  // The completions run on the main run loop once the new top is in place
  // (after TransitionDuration when animated).
  void pushViewController(const Ref<ViewController>& controller, bool animated,
                          std::function<void()> completion = {});
  Ref<ViewController> popViewController(bool animated, std::function<void()> completion = {});
  std::vector<Ref<ViewController>> popToRootViewController(bool animated, std::function<void()> completion = {});
  std::vector<Ref<ViewController>> popToViewController(const Ref<ViewController>& controller, bool animated,
                                                       std::function<void()> completion = {});
  // A push or pop transition is running.
  bool isTransitioning() const { return transitioning_ > 0; }

  // The bar: a 44-point bar at the top of the navigation view.
  const Ref<NavigationBar>& navigationBar();
  bool isNavigationBarHidden() const { return barHidden_; }
  void setNavigationBarHidden(bool hidden, bool animated = false);
  const Ref<GestureRecognizer>& interactivePopGestureRecognizer();
  static constexpr double BarHeight = NavigationBar::Height;

  void loadView() override;
  void viewDidLayoutSubviews() override;
  bool shouldAutorotate() const override;
  unsigned supportedInterfaceOrientations() const override;
  InterfaceOrientation preferredInterfaceOrientationForPresentation() const override;
  bool prefersStatusBarHidden() const override;

 private:
  // Shows the top controller's view; `fromRight` slides it in, else the
  // old one slides out to the right.
  void showTop(bool animated, bool fromRight, std::function<void()> completion);
  void refreshBar();
  void rememberBarState();
  void forgetRemoved();
  Rect contentFrame();
  Ref<ViewController> takeTop();

  Ref<NavigationBar> bar_;
  bool barHidden_ = false;
  // The bar's hidden flag of each level, by controller.
  std::map<const ViewController*, bool> barHiddenFor_;
  Ref<GestureRecognizer> popGesture_;
  Weak<ViewController> shown_;
  int transitioning_ = 0;
};

}  // namespace kit
