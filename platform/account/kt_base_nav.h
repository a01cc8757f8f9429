// KTBaseNav: the navigation controller that hosts every platform SDK page.
// Its bar is white with black bar-button titles. It answers rotation with
// its top page's answers (the navigation controller's own behaviour), and
// lets a pop gesture begin only with two or more pages and no push or pop
// running. overrideGesture (once per process) swaps the edge pop for a pan
// anywhere on the page that pops the same way.
#pragma once

#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/label.h"
#include "kit/ui/navigation_controller.h"

class KTBaseNav : public kit::NavigationController, public kit::GestureRecognizerDelegate {
 public:
  static kit::Ref<KTBaseNav> withRoot(const kit::Ref<kit::ViewController>& root);

  // The base behaviour, then initView.
  void viewDidLoad() override;
  // Disables the interactive pop gesture and adds, to that gesture's view,
  // a one-finger pan with this controller as delegate that runs the pop
  // gesture's own action. Only the first call in the process does this.
  void overrideGesture();
  // Bar-button titles black, the bar's tint white.
  void initView();

  // NO with one page on the stack, NO while a transition runs, else YES.
  bool gestureRecognizerShouldBegin(kit::GestureRecognizer& recognizer) override;

  // Declared by the platform SDK's nav; nothing fills it.
  const kit::Ref<kit::Label>& titleLabel() const { return titleLabel_; }
  void setTitleLabel(kit::Ref<kit::Label> label) { titleLabel_ = std::move(label); }

 private:
  kit::Ref<kit::Label> titleLabel_;
};
