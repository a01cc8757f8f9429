// The message list. See kt_su_home_msg_vc.h.
#include "platform/usercenter/kt_su_home_msg_vc.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/label.h"
#include "kit/ui/scene_registry.h"
#include "platform/usercenter/kt_su_home_msg_cell.h"
#include "platform/usercenter/kt_su_web_vc.h"
#include "platform/usercenter/kt_suspend_vc.h"

namespace {

constexpr double W = 300, H = 600, BackSide = 44;

void slide(const kit::Ref<kit::View>& view, bool in, std::function<void(bool)> completion = {}) {
  kit::View::animateSpring(
      KTSuHomeMsgVC::SlideDuration, 0, 1.0, 0, 0,
      [view, in] {
        view->setTransform(in ? kit::AffineTransform::identity()
                              : kit::AffineTransform::makeTranslation(KTSuHomeMsgVC::SlideOffset, 0));
      },
      std::move(completion));
}

}  // namespace

void KTSuHomeMsgVC::registerScene() {
  kit::SceneRegistry::shared().registerController(KTSuspendVC::Storyboard, Identifier,
                                                  [] { return kit::make<KTSuHomeMsgVC>(); });
}

kit::Ref<KTSuHomeMsgVC> KTSuHomeMsgVC::loadMsgVC(kit::ViewController& opener) {
  KIT_CHECK_MAIN_THREAD();
  registerScene();
  auto page = kit::as<KTSuHomeMsgVC>(kit::SceneRegistry::shared().instantiate(KTSuspendVC::Storyboard, Identifier));
  auto container = opener.parentViewController();
  auto area = container ? container->view()->viewWithTag(KTSuspendVC::SlideAreaTag) : nullptr;
  if (!page || !area) return nullptr;
  page->setRemoveBlock([](KTSuHomeMsgVC& closing) {
    auto keep = closing.selfAs<KTSuHomeMsgVC>();
    slide(closing.view(), false, [keep](bool) {
      keep->view()->removeFromSuperview();
      keep->removeFromParentViewController();
    });
  });
  page->view()->setFrame(area->bounds());
  page->view()->setTransform(kit::AffineTransform::makeTranslation(SlideOffset, 0));
  area->addSubview(page->view());
  container->addChildViewController(page);
  return page;
}

void KTSuHomeMsgVC::loadView() {
  auto root = kit::View::make(kit::Rect{0, 0, W, H});
  root->setBackgroundColor(kit::Color::whiteColor());
  auto bar = kit::View::make(kit::Rect{0, 0, W, TitleBarH});
  bar->setAutoresizingMask(kit::AutoresizingFlexibleWidth);
  root->addSubview(bar);
  auto back = kit::Button::make(kit::Rect{0, 0, BackSide, BackSide});
  back->setTitle("‹");
  back->setTitleColor(kit::Color::hex(0x333333));
  back->titleLabel()->setFont(kit::Font::systemFont(28));
  kit::Weak<KTSuHomeMsgVC> weak = weakSelf<KTSuHomeMsgVC>();
  back->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->goBack();
  });
  bar->addSubview(back);
  auto title = kit::Label::make(kit::Rect{BackSide, 0, W - 2 * BackSide, TitleBarH});
  title->setText("消息");
  title->setTextAlignment(kit::TextAlignment::Center);
  title->setFont(kit::Font::systemFont(16));
  title->setAutoresizingMask(kit::AutoresizingFlexibleWidth);
  bar->addSubview(title);
  auto table = kit::TableView::make(kit::Rect{0, TitleBarH, W, H - TitleBarH});
  table->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  table->setRowHeight(RowH);
  table->setDelegate(weakSelf<KTSuHomeMsgVC>());
  table->setDataSource(weakSelf<KTSuHomeMsgVC>());
  root->addSubview(table);
  tableView_ = table;
  backBtn_ = back;
  setView(root);
}

void KTSuHomeMsgVC::viewDidLoad() {
  KTPagedListVC::viewDidLoad();
  initTableView();
}

void KTSuHomeMsgVC::initTableView() {
  auto table = tableView();
  if (!table) return;
  table->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
  KTSuHomeMsgCell::registerNib();
  table->registerNib(KTSuHomeMsgCell::SceneName, KTSuHomeMsgCell::SceneName);
  table->setShowsVerticalScrollIndicator(false);
  setUpRefresh(*table);
}

void KTSuHomeMsgVC::viewDidAppear(bool animated) {
  KTPagedListVC::viewDidAppear(animated);
  slide(view(), true);
}

void KTSuHomeMsgVC::goBack() {
  if (removeBlock_) removeBlock_(*this);
}

kit::Ref<kit::Dictionary> KTSuHomeMsgVC::listParameters() const { return kit::dict({{"num", PageSize}}); }

kit::Ref<kit::TableViewCell> KTSuHomeMsgVC::cellForRowAtIndexPath(kit::TableView& table,
                                                                    const kit::IndexPath& indexPath) {
  auto cell = kit::as<KTSuHomeMsgCell>(table.dequeueReusableCellWithIdentifier(KTSuHomeMsgCell::SceneName, indexPath));
  if (!cell) return kit::TableViewCell::make();
  cell->setModel(record<KTSuHomeMsgModel>(indexPath.row));
  return cell;
}

void KTSuHomeMsgVC::didSelectRowAtIndexPath(kit::TableView&, const kit::IndexPath& indexPath) {
  auto model = record<KTSuHomeMsgModel>(indexPath.row);
  if (!model) return;
  KTSuWebVC::loadWebVcWithUrl(*this, model->url() ? model->url()->utf8() : "", kit::str(MessageTitle));
}
