// The welfare page. See kt_su_welfare_vc.h.
#include "platform/usercenter/kt_su_welfare_vc.h"

#include "kit/dispatch/thread_check.h"
#include "kit/graphics/color.h"
#include "kit/ui/scene_registry.h"
#include "platform/usercenter/kt_su_page_scroll.h"
#include "platform/usercenter/kt_suspend_vc.h"

namespace {

constexpr double W = 300, H = 500;

}  // namespace

void KTSuWelfareVC::registerScene() {
  kit::SceneRegistry::shared().registerController(KTSuspendVC::Storyboard, Identifier,
                                                  [] { return kit::make<KTSuWelfareVC>(); });
}

void KTSuWelfareVC::loadView() {
  auto root = kit::View::make(kit::Rect{0, 0, W, H});
  root->setBackgroundColor(kit::Color::whiteColor());
  root->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  auto scroll = kit::ScrollView::make(kit::Rect{0, 0, W, H});
  scroll->setAutoresizingMask(kit::AutoresizingFlexibleHeight);
  root->addSubview(scroll);
  scrollView_ = scroll;
  setView(root);
}

void KTSuWelfareVC::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  addChildVCs();
  initScrollView();
}

void KTSuWelfareVC::addChildVCs() { addChildViewController(KTWelfareBaseVC::make()); }

void KTSuWelfareVC::initScrollView() {
  auto scroll = scrollView();
  if (!scroll) return;
  scroll->setContentSize(kit::Size{W, 0});
  scroll->setDelegate(weakSelf<KTSuWelfareVC>());
  scroll->setShowsHorizontalScrollIndicator(false);
  scroll->setPagingEnabled(true);
  scrollViewDidEndScrollingAnimation(*scroll);
}

void KTSuWelfareVC::scrollViewDidEndScrollingAnimation(kit::ScrollView& scroll) {
  KIT_CHECK_MAIN_THREAD();
  KTSuPlaceVisibleChild(*this, scroll);
}

void KTSuWelfareVC::scrollViewDidEndDecelerating(kit::ScrollView& scroll) {
  scrollViewDidEndScrollingAnimation(scroll);
  tabIndex_ = KTSuVisibleChildIndex(scroll, childViewControllers().size());
}

kit::Ref<KTWelfareBaseVC> KTSuWelfareVC::list() const {
  return childViewControllers().empty() ? nullptr : kit::as<KTWelfareBaseVC>(childViewControllers().front());
}
