// KTSuKaiFuVC: the user centre's server-openings page (scene "KTSuKaiFuVC"
// of the storyboard "KTSuspendVC"): a two-item strip ("已开服", "即将开服")
// above a horizontally paged area holding the two lists. A list's view,
// and so its first request, is made when the player first reaches it: by a
// tap on the strip once the scroll animation has ended, or by a swipe,
// which also moves the strip's selection. Main thread.
#pragma once

#include "kit/ui/scroll_view.h"
#include "kit/ui/view_controller.h"
#include "platform/usercenter/kt_kaifu_base_vc.h"
#include "platform/usercenter/kt_tab.h"

class KTSuKaiFuVC : public kit::ViewController, public KTTabDelegate, public kit::ScrollViewDelegate {
 public:
  static constexpr const char* Identifier = "KTSuKaiFuVC";
  static constexpr const char* OpenedTitle = "已开服";
  static constexpr const char* ComingTitle = "即将开服";
  // Registers the scene (also done when the program starts).
  static void registerScene();

  void loadView() override;
  void viewDidLoad() override;
  void addChildVCs();
  // The strip, made on first use.
  const kit::Ref<KTTab>& tabView();
  void tabDidSelectedItemNumber(KTTab& tab, long index) override;
  void initScrollView();
  // Places the list in view when it has no view yet.
  void scrollViewDidEndScrollingAnimation(kit::ScrollView& scrollView) override;
  void scrollViewDidEndDecelerating(kit::ScrollView& scrollView) override;

  kit::Ref<kit::View> tempView() const { return tempView_.lock(); }
  kit::Ref<kit::View> bottomView() const { return bottomView_.lock(); }
  kit::Ref<kit::ScrollView> scrollView() const { return scrollView_.lock(); }
  unsigned long tabIndex() const { return tabIndex_; }
  // The list at an index (0 opened, 1 about to open), or nil.
  kit::Ref<KTKaifuBaseVC> list(size_t index) const;

 private:
  kit::Weak<kit::View> tempView_, bottomView_;
  kit::Weak<kit::ScrollView> scrollView_;
  kit::Ref<KTTab> tabView_;
  unsigned long tabIndex_ = 0;
};
