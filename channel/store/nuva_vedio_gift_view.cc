// The video reward pop-up. See nuva_vedio_gift_view.h.

#include "channel/store/nuva_vedio_gift_view.h"

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/store/nuva_reward_strip.h"
#include "config/client_configuration.h"
#include "kit/foundation/log.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"
#include "kit/ui/visual_effect_view.h"
#include "kit/ui/window.h"

namespace {

kit::Ref<kit::Color> accent() { return kit::Color::hex(0x11CCB1); }

}  // namespace

NUVAVedioGiftView::NUVAVedioGiftView() : kit::View(kit::Rect{}), form_(NUVAStoreOverlays::currentForm()) {}

kit::Ref<NUVAVedioGiftView> NUVAVedioGiftView::init() {
  auto view = kit::make<NUVAVedioGiftView>();
  view->p_setupUI();
  return view;
}

kit::Size NUVAVedioGiftView::panelSize() const {
  return form_ == NUVAOverlayForm::Portrait ? kit::Size{330, 340} : kit::Size{575, 310};
}

void NUVAVedioGiftView::p_setupUI() {
  const auto [w, h] = panelSize();
  backbg_ = kit::View::make({0, 0, w, h});
  backbg_->setBackgroundColor(kit::Color::whiteColor());
  backbg_->layer()->setCornerRadius(12);
  backbg_->layer()->setMasksToBounds(true);
  backbg_->setUserInteractionEnabled(true);
  addSubview(backbg_);

  titleLabel_ = kit::Label::make({0, 30, w, 25});
  titleLabel_->setText("恭喜获得");
  titleLabel_->setFont(kit::Font::boldSystemFont(20));
  titleLabel_->setTextAlignment(kit::TextAlignment::Center);
  titleLabel_->setTextColor(accent());
  titleLabel_->layer()->setCornerRadius(4);
  titleLabel_->layer()->setMasksToBounds(true);
  backbg_->addSubview(titleLabel_);

  kit::Weak<NUVAVedioGiftView> weak = weakSelf<NUVAVedioGiftView>();
  auto claim = [weak] {
    if (auto self = weak.lock()) self->closeClick();
  };
  getBtn_ = kit::Button::make({w / 2 - 55, h - 55, 110, 35});
  getBtn_->setBackgroundColor(accent());
  getBtn_->layer()->setCornerRadius(8);
  getBtn_->layer()->setMasksToBounds(true);
  getBtn_->setTitle("一键领取");
  getBtn_->setTitleColor(kit::Color::whiteColor());
  getBtn_->titleLabel()->setFont(kit::Font::boldSystemFont(14));
  getBtn_->addAction(kit::ControlEvent::TouchUpInside, claim);
  backbg_->addSubview(getBtn_);

  closeIcon_ = kit::Button::make({w - 60, 20, 40, 40});
  closeIcon_->setBackgroundImage(NUVALightImage("vedioclose"));
  closeIcon_->addAction(kit::ControlEvent::TouchUpInside, claim);
  backbg_->addSubview(closeIcon_);
}

const kit::Ref<kit::MutableArray>& NUVAVedioGiftView::itemsArray() {
  if (!itemsArray_) itemsArray_ = kit::MutableArray::make();
  return itemsArray_;
}

void NUVAVedioGiftView::setDicArray(const kit::Ref<kit::Array>& items) {
  KIT_CHECK_MAIN_THREAD();
  dicArray_ = items;
  itemsArray()->removeAllObjects();
  if (items) itemsArray()->addObjectsFromArray(*items);
}

void NUVAVedioGiftView::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  userInfo_ = userInfo ? kit::str(userInfo->utf8()) : nullptr;
}

void NUVAVedioGiftView::show() {
  KIT_CHECK_MAIN_THREAD();
  auto window = kit::Application::shared()->keyWindow();
  if (!window || coverView_) return;

  coverView_ = kit::Button::make(window->bounds());
  coverView_->setBackgroundColor(kit::Color::white(0, 0.5));
  auto blur =
      kit::VisualEffectView::make(kit::BlurEffect::withStyle(kit::BlurEffectStyle::Dark), coverView_->bounds());
  blur->setAlpha(kBlurAlpha);
  coverView_->addSubview(blur);
  window->addSubview(coverView_);

  const kit::Rect screen = kit::Screen::main()->bounds();
  const kit::Size panel = panelSize();
  setFrame({(screen.width() - panel.width) / 2, (screen.height() - panel.height) / 2, panel.width, panel.height});
  window->addSubview(selfAs<NUVAVedioGiftView>());

  size_t index = 0;
  for (const kit::Id& item : *itemsArray()) {
    auto tile = NUVALuckyPlayerItem::init();
    tile->layer()->setBorderWidth(2);
    tile->layer()->setBorderColor(accent());
    tile->layer()->setMasksToBounds(true);
    tile->layer()->setCornerRadius(8);
    backbg_->addSubview(tile);
    tile->setModel(NUVAFixedGiftModel::withValues(item));
    NUVARewardStrip::place(*tile, index++, panel.width, 100, form_);
    tiles_.push_back(tile);
  }
}

void NUVAVedioGiftView::sendClaim() const {
  kit::Id role = NUVADataFormat::dictionaryWithJsonString(userInfo_);
  auto url = ClientConfiguration::shared().urlForService(ClientConfiguration::kChannelVideoBase, "freevideogift/get");
  NUVANetworkManager::getWithQuery(
      url,
      {{"game_id", role["game_id"]},
       {"platform_id", role["channel_id"]},
       {"role_id", role["super_role_id"]},
       {"server_id", role["service_id"]}},
      [](kit::Id answer) {
        if (kit::describe(answer["status"]) == "200") kit::log("领取成功");
      },
      [](kit::Ref<kit::String> error) { kit::log("free video reward claim failed: %@", error); });
}

void NUVAVedioGiftView::closeClick() {
  KIT_CHECK_MAIN_THREAD();
  auto keep = selfAs<NUVAVedioGiftView>();
  sendClaim();
  if (closeBlock_) closeBlock_();
  dissMiss();
}

void NUVAVedioGiftView::dissMiss() {
  KIT_CHECK_MAIN_THREAD();
  auto keep = selfAs<NUVAVedioGiftView>();
  kit::NotificationCenter::defaultCenter()->removeObserver(keep);
  if (coverView_) coverView_->removeFromSuperview();
  removeFromSuperview();
}
