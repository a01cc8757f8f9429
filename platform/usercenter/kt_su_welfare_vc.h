// KTSuWelfareVC: the user centre's welfare page (scene "KTSuWelfareVC" of
// the storyboard "KTSuspendVC"): the gift-pack list in a horizontally
// paged area, one page wide. Main thread.
#pragma once

#include "kit/ui/scroll_view.h"
#include "kit/ui/view_controller.h"
#include "platform/usercenter/kt_welfare_base_vc.h"

class KTSuWelfareVC : public kit::ViewController, public kit::ScrollViewDelegate {
 public:
  static constexpr const char* Identifier = "KTSuWelfareVC";
  static void registerScene();

  void loadView() override;
  void viewDidLoad() override;
  void addChildVCs();
  void initScrollView();
  void scrollViewDidEndScrollingAnimation(kit::ScrollView& scrollView) override;
  void scrollViewDidEndDecelerating(kit::ScrollView& scrollView) override;

  kit::Ref<kit::ScrollView> scrollView() const { return scrollView_.lock(); }
  unsigned long tabIndex() const { return tabIndex_; }
  // The gift-pack list, or nil.
  kit::Ref<KTWelfareBaseVC> list() const;

 private:
  kit::Weak<kit::ScrollView> scrollView_;
  unsigned long tabIndex_ = 0;
};
