// The store hub. See nuva_gm_shop_view.h.

#include "channel/store/nuva_gm_shop_view.h"

#include "channel/core/nuva_lucky_player_view.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"
#include "kit/ui/visual_effect_view.h"
#include "kit/ui/window.h"

namespace {

// The tab of each menu id: its normal and its selected picture.
struct TabPictures {
  const char* id;
  const char* normal;
  const char* selected;
};
constexpr TabPictures kTabs[] = {{"1", "gmbtn", "gmbtnsel"},
                                 {"2", "vipgiftbtn", "vipgiftbtnsel"},
                                 {"3", "xianshibtn", "xianshibtnsel"},
                                 {"4", "128btn", "128btnsel"}};

long tagOf(const std::string& id) { return kit::str(id)->integerValue(); }

}  // namespace

NUVAGMShopHub::NUVAGMShopHub(NUVAOverlayForm form) : kit::View(kit::Rect{}), form_(form) {}

NUVAGMShopHub::~NUVAGMShopHub() {
  for (const auto& token : orderObservers_) kit::NotificationCenter::defaultCenter()->removeObserver(token);
}

kit::Ref<NUVAGMShopView> NUVAGMShopView::init() {
  auto hub = kit::make<NUVAGMShopView>();
  hub->p_setupUI();
  return hub;
}

kit::Ref<NUVAVerticalGMShopView> NUVAVerticalGMShopView::init() {
  auto hub = kit::make<NUVAVerticalGMShopView>();
  hub->p_setupUI();
  return hub;
}

double NUVAGMShopHub::W() const { return kit::Screen::main()->bounds().width() - 60; }
double NUVAGMShopHub::H() const {
  return kit::Screen::main()->bounds().height() - (form_ == NUVAOverlayForm::Portrait ? 90 : 30);
}

kit::Ref<kit::Button> NUVAGMShopHub::makeCloseButton(const kit::Rect& frame) {
  auto button = kit::Button::make(frame);
  button->setBackgroundImage(NUVALightImage("close"));
  button->addAction(kit::ControlEvent::TouchUpInside, [weak = weakSelf<NUVAGMShopHub>()] {
    if (auto self = weak.lock()) self->closeClick();
  });
  return button;
}

// ---- Building ---------------------------------------------------------------------------

void NUVAGMShopHub::p_setupUI() {
  const bool portrait = form_ == NUVAOverlayForm::Portrait;
  const double W = this->W(), H = this->H();
  const kit::Rect paneFrame = portrait ? kit::Rect{0, 15, W, H - 15} : kit::Rect{0, 30, W, H - 30};
  const kit::Rect storeFrame = portrait ? kit::Rect{0, 15, W, H - 45} : kit::Rect{0, 30, W, H - 30};
  kit::Weak<NUVAGMShopHub> weak = weakSelf<NUVAGMShopHub>();
  auto claimant = [weak] {
    auto self = weak.lock();
    return self ? NUVAGiftPane::Claimant{self->token_, self->super_user_id_, self->roleid_}
                : NUVAGiftPane::Claimant{};
  };
  auto closing = [weak] {
    if (auto self = weak.lock()) self->closeClick();
  };

  backbg_ = kit::ImageView::make({0, 0, W, H});
  backbg_->setUserInteractionEnabled(true);
  backbg_->setBackgroundColor(kit::Color::whiteColor());
  backbg_->layer()->setCornerRadius(4);
  backbg_->layer()->setMasksToBounds(true);
  addSubview(backbg_);

  gmShopView_ = kit::View::make(paneFrame);
  gmShopView_->setHidden(true);
  backbg_->addSubview(gmShopView_);
  gmPane_ = NUVAGiftPane::make(NUVAGiftTab::gm(), form_, claimant, closing);
  gmPane_->build(gmShopView_);

  voucherView_ = NUVAVoucherView::init();
  voucherView_->setFrame(paneFrame);
  voucherView_->setHidden(true);
  voucherView_->setCloseBlock(closing);
  backbg_->addSubview(voucherView_);
  if (!portrait) {
    tabCloseButtons_.push_back(makeCloseButton({W - 45, 5, 32, 32}));
    voucherView_->addSubview(tabCloseButtons_.back());
  }

  vipView_ = kit::View::make(paneFrame);
  vipView_->setHidden(true);
  backbg_->addSubview(vipView_);
  vipPane_ = NUVAGiftPane::make(NUVAGiftTab::vip(), form_, claimant, closing);
  vipPane_->build(vipView_);

  timeStoreView_ = portrait ? kit::Ref<NUVATimeStoreTab>(NUVAVerticalTimeStoreView::init())
                            : kit::Ref<NUVATimeStoreTab>(NUVATimeStoreView::init());
  timeStoreView_->setFrame(storeFrame);
  timeStoreView_->setHidden(true);
  backbg_->addSubview(timeStoreView_);
  if (!portrait) {
    tabCloseButtons_.push_back(makeCloseButton({W - 40, 5, 32, 32}));
    timeStoreView_->addSubview(tabCloseButtons_.back());
  }

  levelStoreView_ = portrait ? kit::Ref<NUVALevelstoreTab>(NUVAVerLevelstoreView::init())
                             : kit::Ref<NUVALevelstoreTab>(NUVALevelstoreView::init());
  levelStoreView_->setFrame(storeFrame);
  levelStoreView_->setHidden(true);
  backbg_->addSubview(levelStoreView_);
  if (!portrait) {
    tabCloseButtons_.push_back(makeCloseButton({W - 40, 5, 32, 32}));
    levelStoreView_->addSubview(tabCloseButtons_.back());
  }

  bundlename_ = kit::Label::make({2, H - 10, 50, 8});
  bundlename_->setText(kVersion);
  bundlename_->setFont(kit::Font::systemFont(8));
  bundlename_->setTextColor(kit::Color::blackColor());
  bundlename_->setTextAlignment(kit::TextAlignment::Left);
  addSubview(bundlename_);
}

// ---- Inputs -----------------------------------------------------------------------------

void NUVAGMShopHub::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  KIT_CHECK_MAIN_THREAD();
  userInfo_ = userInfo;
  voucherView_->setUserInfo(userInfo);
  timeStoreView_->setUserInfo(userInfo);
  levelStoreView_->setUserInfo(userInfo);
}

void NUVAGMShopHub::setRoleid(const kit::Ref<kit::String>& roleid) {
  KIT_CHECK_MAIN_THREAD();
  roleid_ = roleid;
  timeStoreView_->setRoleid(roleid);
}

void NUVAGMShopHub::setCloseBlock(std::function<void()> block) { closeRoad_->closeBlock = std::move(block); }

// ---- Showing ----------------------------------------------------------------------------

void NUVAGMShopHub::show() {
  KIT_CHECK_MAIN_THREAD();
  auto window = kit::Application::shared()->keyWindow();
  if (!window || shown_) return;
  shown_ = true;
  window->makeKeyAndVisible();
  const double W = this->W(), H = this->H();
  const bool portrait = form_ == NUVAOverlayForm::Portrait;

  coverView_ = kit::Button::make(window->bounds());
  coverView_->setBackgroundColor(kit::Color::white(0, 0.5));
  auto blur =
      kit::VisualEffectView::make(kit::BlurEffect::withStyle(kit::BlurEffectStyle::Dark), coverView_->frame());
  blur->setAlpha(kBlurAlpha);
  coverView_->addSubview(blur);
  window->addSubview(coverView_);

  setFrame(portrait ? kit::Rect{30, 45, W, H} : kit::Rect{30, 15, W, H});
  layer()->setCornerRadius(12);
  window->addSubview(selfAs<NUVAGMShopHub>());

  if (portrait) {
    closeBtn_ = makeCloseButton({W + 15, 45, 32, 32});
    window->addSubview(closeBtn_);
  }

  voucherView_->setUserInfo(userInfo_);
  gmPane_->fill(responseArray_, gmtotal_money_, gmdesc_);
  vipPane_->fill(VIPArray_, viptotal_money_, vipdesc_);
  setSegmentView();

  // Orders are posted from the network's thread: the observers hold only
  // the close road and a weak hub.
  auto road = closeRoad_;
  kit::Weak<NUVAGMShopHub> weak = weakSelf<NUVAGMShopHub>();
  for (const char* name : {NUVAGIFTPAYNotification, NUVALEVELPAYNotification}) {
    orderObservers_.push_back(kit::NotificationCenter::defaultCenter()->addObserverForName(
        name, nullptr, [road, weak](const kit::Ref<kit::Notification>&) { close(road, weak); }));
  }
}

void NUVAGMShopHub::setSegmentView() {
  std::vector<std::string> selected, normal, ids;
  if (menuBtnArray_) {
    for (const kit::Id& entry : *menuBtnArray_) {
      const std::string id = kit::describe(entry);
      if (id == "8") {
        // Level gifts go before the last tab collected so far.
        const auto at = ids.empty() ? 0 : ids.size() - 1;
        selected.insert(selected.begin() + static_cast<long>(at), "xggiftsel");
        normal.insert(normal.begin() + static_cast<long>(at), "xggift");
        ids.insert(ids.begin() + static_cast<long>(at), "8");
        continue;
      }
      for (const auto& tab : kTabs) {
        if (id != tab.id) continue;
        selected.push_back(tab.selected);
        normal.push_back(tab.normal);
        ids.push_back(id);
      }
    }
  }
  btnselImage_ = selected;
  btnImage_ = normal;
  strArray_ = ids;

  const bool portrait = form_ == NUVAOverlayForm::Portrait;
  const double S = kit::Screen::main()->bounds().width(), W = this->W();
  const size_t n = ids.size();
  if (n == 0) {
    // Every other close control sits in a tab: the landscape panel gets one.
    if (!portrait) {
      panelCloseButton_ = makeCloseButton({W - 40, 5, 32, 32});
      backbg_->addSubview(panelCloseButton_);
    }
    return;
  }
  const double tw = portrait ? S * 55 / 375 : S * 100 / 667, gap = portrait ? 5 : 20, th = portrait ? 18 : 25;
  const double x0 = (W - (static_cast<double>(n) * tw + static_cast<double>(n - 1) * gap)) / 2;
  const std::string shopType = kit::describe(shop_type_);
  kit::Weak<NUVAGMShopHub> weak = weakSelf<NUVAGMShopHub>();
  for (size_t i = 0; i < n; ++i) {
    auto button = kit::Button::make({x0 + static_cast<double>(i) * (tw + gap), 0, tw, th});
    button->setTag(tagOf(ids[i]));
    button->setBackgroundImage(NUVALightImage(normal[i]));
    kit::Weak<kit::Button> weakButton = button;
    button->addAction(kit::ControlEvent::TouchUpInside, [weak, weakButton] {
      auto self = weak.lock();
      auto tapped = weakButton.lock();
      if (self && tapped) self->ClickSegmentView(tapped);
    });
    backbg_->addSubview(button);
    button->setSelected(false);
    btnArray_.push_back(button);
    const bool chosen = (ids[i] == "8" && shopType == "1") || (ids[i] == "3" && shopType == "3") ||
                        (ids[i] == "4" && shopType == "2") || i == 0;
    if (chosen) {
      button->setSelected(true);
      tmpBtn_ = button;
      button->setBackgroundImage(NUVALightImage(selected[i]));
      ClickSegmentView(button);
    }
  }
}

void NUVAGMShopHub::ClickSegmentView(const kit::Ref<kit::Button>& button) {
  KIT_CHECK_MAIN_THREAD();
  tmpBtn_ = button;
  button->setSelected(!button->isSelected());
  for (size_t i = 0; i < btnArray_.size(); ++i) {
    if (button->tag() != tagOf(strArray_[i])) {
      btnArray_[i]->setSelected(false);
      btnArray_[i]->setBackgroundImage(NUVALightImage(btnImage_[i]));
    } else {
      btnArray_[i]->setSelected(button->isSelected());
      btnArray_[i]->setBackgroundImage(NUVALightImage(btnselImage_[i]));
    }
  }
  showTab(button->tag());
}

void NUVAGMShopHub::showTab(long tag) {
  gmShopView_->setHidden(tag != 1);
  vipView_->setHidden(tag != 2);
  timeStoreView_->setHidden(tag != 3);
  voucherView_->setHidden(tag != 4);
  levelStoreView_->setHidden(tag != 8);
}

// ---- Closing ----------------------------------------------------------------------------

void NUVAGMShopHub::closeClick() { close(closeRoad_, weakSelf<NUVAGMShopHub>()); }

void NUVAGMShopHub::close(const std::shared_ptr<CloseRoad>& road, const kit::Weak<NUVAGMShopHub>& hub) {
  if (road->closeBlock) road->closeBlock();
  kit::Queue::main().async([hub] {
    if (auto self = hub.lock()) self->leaveWindow();
  });
}

void NUVAGMShopHub::leaveWindow() {
  auto keep = selfAs<NUVAGMShopHub>();
  auto center = kit::NotificationCenter::defaultCenter();
  for (const auto& token : orderObservers_) center->removeObserver(token);
  orderObservers_.clear();
  center->removeObserver(keep);
  gmPane_->stopObserving();
  vipPane_->stopObserving();
  if (coverView_) coverView_->removeFromSuperview();
  if (closeBtn_) closeBtn_->removeFromSuperview();
  removeFromSuperview();
}

void NUVAGMShopHub::toChargeBtnClick() {
  closeClick();
  auto event = kit::dict({{"event", "open_shop"}, {"ext1", ""}, {"ext2", ""}});
  auto data = kit::JSONSerialization::dataWithJSONObject(event, kit::JSONWritingPrettyPrinted);
  if (rechargeBlock_) rechargeBlock_(kit::str(data ? data->toString() : "{}"));
}
