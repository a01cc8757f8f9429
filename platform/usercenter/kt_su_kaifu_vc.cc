// The server-openings page. See kt_su_kaifu_vc.h.
#include "platform/usercenter/kt_su_kaifu_vc.h"

#include "kit/dispatch/thread_check.h"
#include "kit/graphics/color.h"
#include "kit/ui/scene_registry.h"
#include "platform/usercenter/kt_su_page_scroll.h"
#include "platform/usercenter/kt_suspend_vc.h"

namespace {

// The page is 300 wide: the strip centred at the top, the lists below it.
constexpr double W = 300, TabW = 150, TabH = 30, TabTop = 10, ListTop = 50, ListCount = 2;
constexpr unsigned Accent = 0xFF7F00;

}  // namespace

void KTSuKaiFuVC::registerScene() {
  kit::SceneRegistry::shared().registerController(KTSuspendVC::Storyboard, Identifier,
                                                  [] { return kit::make<KTSuKaiFuVC>(); });
}

void KTSuKaiFuVC::loadView() {
  auto root = kit::View::make(kit::Rect{0, 0, W, 500});
  root->setBackgroundColor(kit::Color::whiteColor());
  root->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  auto temp = kit::View::make(kit::Rect{(W - TabW) / 2, TabTop, TabW, TabH});
  root->addSubview(temp);
  auto bottom = kit::View::make(kit::Rect{0, ListTop - 1, W, 1});
  bottom->setBackgroundColor(kit::Color::hex(0xF0F0F0));
  root->addSubview(bottom);
  auto scroll = kit::ScrollView::make(kit::Rect{0, ListTop, W, 500 - ListTop});
  scroll->setAutoresizingMask(kit::AutoresizingFlexibleHeight);
  root->addSubview(scroll);
  tempView_ = temp;
  bottomView_ = bottom;
  scrollView_ = scroll;
  setView(root);
}

void KTSuKaiFuVC::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  if (auto temp = tempView()) temp->addSubview(tabView());
  addChildVCs();
  initScrollView();
}

void KTSuKaiFuVC::addChildVCs() {
  addChildViewController(KTKaifuBaseVC::make("1"));
  addChildViewController(KTKaifuBaseVC::make("0"));
}

const kit::Ref<KTTab>& KTSuKaiFuVC::tabView() {
  if (!tabView_) {
    tabView_ = KTTab::initWithFrame(kit::Rect{0, 0, TabW, TabH}, 1.0, kit::Color::hex(Accent));
    tabView_->setItemsWithTitle({OpenedTitle, ComingTitle}, kit::Color::whiteColor(), kit::Color::hex(Accent),
                                kit::Color::hex(Accent), kit::Color::whiteColor(), 14, 0);
    tabView_->setDelegate(weakSelf<KTSuKaiFuVC>());
    tabView_->layer()->setCornerRadius(TabH / 2);
  }
  return tabView_;
}

void KTSuKaiFuVC::tabDidSelectedItemNumber(KTTab&, long index) {
  KIT_CHECK_MAIN_THREAD();
  auto scroll = scrollView();
  if (index < 0 || static_cast<unsigned long>(index) == tabIndex_ || !scroll) return;
  tabIndex_ = static_cast<unsigned long>(index);
  scroll->setContentOffset(kit::Point{scroll->bounds().size.width * static_cast<double>(index), scroll->contentOffset().y},
                           true);
}

void KTSuKaiFuVC::initScrollView() {
  auto scroll = scrollView();
  if (!scroll) return;
  scroll->setContentSize(kit::Size{W * ListCount, 0});
  scroll->setDelegate(weakSelf<KTSuKaiFuVC>());
  scroll->setShowsHorizontalScrollIndicator(false);
  scroll->setPagingEnabled(true);
  scrollViewDidEndScrollingAnimation(*scroll);
}

void KTSuKaiFuVC::scrollViewDidEndScrollingAnimation(kit::ScrollView& scroll) {
  KIT_CHECK_MAIN_THREAD();
  KTSuPlaceVisibleChild(*this, scroll);
}

void KTSuKaiFuVC::scrollViewDidEndDecelerating(kit::ScrollView& scroll) {
  scrollViewDidEndScrollingAnimation(scroll);
  const size_t index = KTSuVisibleChildIndex(scroll, childViewControllers().size());
  if (index != tabIndex_) {
    tabIndex_ = index;
    if (tabView_) tabView_->setTabStateIndex(index);
  }
}

kit::Ref<KTKaifuBaseVC> KTSuKaiFuVC::list(size_t index) const {
  return index < childViewControllers().size() ? kit::as<KTKaifuBaseVC>(childViewControllers()[index]) : nullptr;
}
