// kit::NavigationController: a stack of controllers under a navigation bar.
// The top controller's view fills the area below the bar (the whole view
// when the bar is hidden); pushing and popping swap it, with the
// appearance callbacks. Each controller's navigation item supplies the
// bar's title view and bar-button items.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kit/ui/view_controller.h"

namespace kit {

class GestureRecognizer;

// A button of a navigation bar: a custom view, or a title with an action.
class BarButtonItem : public Object {
 public:
  static Ref<BarButtonItem> withCustomView(Ref<View> view);
  static Ref<BarButtonItem> withTitle(std::string title, std::function<void()> action);
  const Ref<View>& customView() const { return customView_; }
  void setCustomView(Ref<View> v) { customView_ = std::move(v); }
  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }
  std::function<void()> action;

 private:
  Ref<View> customView_;
  std::string title_;
};

class NavigationItem : public Object {
 public:
  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }
  const Ref<View>& titleView() const { return titleView_; }
  void setTitleView(Ref<View> v);
  const Ref<BarButtonItem>& leftBarButtonItem() const { return left_; }
  void setLeftBarButtonItem(Ref<BarButtonItem> item);
  const Ref<BarButtonItem>& rightBarButtonItem() const { return right_; }
  void setRightBarButtonItem(Ref<BarButtonItem> item);
  bool hidesBackButton = false;
  // Told when the item changes (the bar that shows it refreshes).
  std::function<void()> onChange;

 private:
  std::string title_;
  Ref<View> titleView_;
  Ref<BarButtonItem> left_, right_;
};

class NavigationController : public ViewController {
 public:
  static Ref<NavigationController> withRoot(const Ref<ViewController>& root);
  NavigationController();

  const std::vector<Ref<ViewController>>& viewControllers() const { return childViewControllers(); }
  void setViewControllers(const std::vector<Ref<ViewController>>& controllers, bool animated);
  Ref<ViewController> topViewController() const;
  // The presented controller of the top one, else the top one.
  Ref<ViewController> visibleViewController() const;
  void pushViewController(const Ref<ViewController>& controller, bool animated);
  Ref<ViewController> popViewController(bool animated);
  std::vector<Ref<ViewController>> popToRootViewController(bool animated);

  // The bar: a 44-point view at the top of the navigation view.
  const Ref<View>& navigationBar();
  bool isNavigationBarHidden() const { return barHidden_; }
  void setNavigationBarHidden(bool hidden, bool animated = false);
  const Ref<GestureRecognizer>& interactivePopGestureRecognizer();
  static constexpr double BarHeight = 44;

  void loadView() override;
  void viewDidLayoutSubviews() override;
  bool shouldAutorotate() const override;
  unsigned supportedInterfaceOrientations() const override;
  InterfaceOrientation preferredInterfaceOrientationForPresentation() const override;

 private:
  void showTop(bool animated);
  void refreshBar();
  Rect contentFrame();

  Ref<View> bar_;
  bool barHidden_ = false;
  Ref<GestureRecognizer> popGesture_;
  Weak<ViewController> shown_;
};

}  // namespace kit
