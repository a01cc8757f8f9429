// kit::ViewController: the platform's view controller. It owns a view that
// it builds lazily (loadView, then viewDidLoad, once), hears appearance
// callbacks when that view enters or leaves a visible window, keeps child
// controllers, and presents and dismisses other controllers over the
// window. A controller presents one controller at a time: presenting while
// something is presented is refused, as the platform refuses it. A
// controller belongs to the main thread: the methods that change it check
// it (KIT_CHECK_MAIN_THREAD, through view.h).
//
//   class NoticeController : public kit::ViewController {
//     void viewDidLoad() override {
//       auto label = kit::Label::make(kit::Rect{20, 0, W - 40, 44});
//       label->setText("知道了");
//       view()->addSubview(label);
//     }
//   };
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kit/ui/responder.h"
#include "kit/ui/ui_types.h"
#include "kit/ui/view.h"

namespace kit {

class NavigationController;
class NavigationItem;
class Window;

enum class ModalPresentationStyle {
  Automatic = -2,
  None = -1,
  FullScreen = 0,
  PageSheet = 1,
  FormSheet = 2,
  CurrentContext = 3,
  Custom = 4,
  OverFullScreen = 5,
  OverCurrentContext = 6,
  Popover = 7,
};

enum class ModalTransitionStyle { CoverVertical = 0, FlipHorizontal = 1, CrossDissolve = 2, PartialCurl = 3 };

class ViewController : public Responder {
 public:
  static Ref<ViewController> make() { return kit::make<ViewController>(); }
  ViewController();
  ~ViewController() override;
  std::string description() const override;

  // ---- The view
  // The view, loaded on first use.
  const Ref<View>& view();
  Ref<View> viewIfLoaded() const { return view_; }
  bool isViewLoaded() const { return static_cast<bool>(view_); }
  void setView(Ref<View> view);
  void loadViewIfNeeded() { view(); }
  // Makes the view: the nib registered under nibName(), else a plain view
  // of the screen's size. Override to build another kind of view.
  virtual void loadView();
  virtual void viewDidLoad() {}
  const std::string& nibName() const { return nibName_; }
  void setNibName(std::string name) { KIT_CHECK_MAIN_THREAD(); nibName_ = std::move(name); }

  // ---- Appearance and layout callbacks
  virtual void viewWillAppear(bool /*animated*/) {}
  virtual void viewDidAppear(bool /*animated*/) {}
  virtual void viewWillDisappear(bool /*animated*/) {}
  virtual void viewDidDisappear(bool /*animated*/) {}
  virtual void viewWillLayoutSubviews() {}
  virtual void viewDidLayoutSubviews() {}
  // The window changes size (rotation); the base passes it to the children.
  virtual void viewWillTransitionToSize(Size size);
  virtual void didReceiveMemoryWarning() {}
  // Passes a memory warning down the tree of controllers.
  void receiveMemoryWarning();
  // Whether the view is in a visible window (after viewWillAppear).
  bool isAppeared() const { return appeared_; }

  const std::string& title() const { return title_; }
  // Also the navigation item's title, as on the platform.
  virtual void setTitle(const std::string& title);

  // ---- Children
  void addChildViewController(const Ref<ViewController>& child);
  void removeFromParentViewController();
  const std::vector<Ref<ViewController>>& childViewControllers() const { return children_; }
  Ref<ViewController> parentViewController() const { return parent_.lock(); }
  virtual void willMoveToParentViewController(ViewController* /*parent*/) {}
  virtual void didMoveToParentViewController(ViewController* /*parent*/) {}
  NavigationController* navigationController() const;
  NavigationItem& navigationItem();

  // ---- Presentation
  // Presents `controller` over this one's window. Refused (with a log line,
  // and no completion) when this controller already presents one, when
  // `controller` is already presented, or when this view is in no window.
  // Returns whether the presentation started; the completion runs on the
  // main run loop after the transition.
  bool presentViewController(const Ref<ViewController>& controller, bool animated,
                             std::function<void()> completion = {});
  // Dismisses what this controller presents, or, when it presents nothing,
  // this controller itself. The completion runs on the main run loop.
  void dismissViewController(bool animated, std::function<void()> completion = {});
  Ref<ViewController> presentedViewController() const { return presented_; }
  Ref<ViewController> presentingViewController() const { return presenting_.lock(); }
  bool isBeingPresented() const { return beingPresented_; }
  bool isBeingDismissed() const { return beingDismissed_; }
  ModalPresentationStyle modalPresentationStyle() const { return presentationStyle_; }
  void setModalPresentationStyle(ModalPresentationStyle s) { KIT_CHECK_MAIN_THREAD(); presentationStyle_ = s; }
  ModalTransitionStyle modalTransitionStyle() const { return transitionStyle_; }
  void setModalTransitionStyle(ModalTransitionStyle s) { KIT_CHECK_MAIN_THREAD(); transitionStyle_ = s; }
  bool definesPresentationContext() const { return definesContext_; }
  void setDefinesPresentationContext(bool v) { KIT_CHECK_MAIN_THREAD(); definesContext_ = v; }
  // Kept for those who read it (custom presentations are drawn as full
  // screen ones).
  Weak<Object> transitioningDelegate;
  // The duration of animated presentation transitions.
  static constexpr double TransitionDuration = 0.3;

  // ---- Status bar and orientation preferences
  virtual bool prefersStatusBarHidden() const { return false; }
  virtual StatusBarStyle preferredStatusBarStyle() const { return StatusBarStyle::Default; }
  virtual bool shouldAutorotate() const { return true; }
  virtual unsigned supportedInterfaceOrientations() const { return OrientationMaskAllButUpsideDown; }
  virtual InterfaceOrientation preferredInterfaceOrientationForPresentation() const {
    return InterfaceOrientation::Portrait;
  }
  void setNeedsStatusBarAppearanceUpdate() { KIT_CHECK_MAIN_THREAD(); ++statusBarUpdates_; }
  int statusBarAppearanceUpdates() const { return statusBarUpdates_; }

  // ---- Responder: the view's superview (a root view's controller answers
  // for it, and the window follows).
  Ref<Responder> nextResponder() const override;

  // Re-reads whether the view is in a visible window and sends the
  // appearance callbacks when that changed (used by views and windows).
  void updateAppearance(bool animated = false);

 private:
  friend class View;
  void finishPresentation(const Ref<ViewController>& presented, bool animated, std::function<void()> completion);
  void removePresented(bool animated, std::function<void()> completion);

  Ref<View> view_;
  bool loading_ = false;
  std::string nibName_;
  std::string title_;
  std::vector<Ref<ViewController>> children_;
  Weak<ViewController> parent_;
  Ref<ViewController> presented_;
  Weak<ViewController> presenting_;
  bool beingPresented_ = false;
  bool beingDismissed_ = false;
  bool deferDidAppear_ = false;
  bool appeared_ = false;
  ModalPresentationStyle presentationStyle_ = ModalPresentationStyle::FullScreen;
  ModalTransitionStyle transitionStyle_ = ModalTransitionStyle::CoverVertical;
  bool definesContext_ = false;
  int statusBarUpdates_ = 0;
  Ref<NavigationItem> navigationItem_;
};

}  // namespace kit
