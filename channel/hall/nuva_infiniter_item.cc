// The goods card and its orders and claims. See nuva_infiniter_item.h.

#include "channel/hall/nuva_infiniter_item.h"

#include <cmath>

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_game_reply.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/core/nuva_store_overlays.h"
#include "channel/hall/nuva_hall_support.h"
#include "channel/store/nuva_store_order.h"
#include "channel/store/nuva_store_support.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/ui/font.h"
#include "platform/base/log_redaction.h"
#include "ui/widgets/nuva_progress_hud.h"

const NUVAInfiniterLayout& NUVAInfiniterLayout::landscape() {
  static const NUVAInfiniterLayout layout{
      .background = "rehallitembg",
      .backbg = {0, 0, 140, 290},
      .gameCoin = {33, 25, 75, 12},
      .propImg = {53, 62, 32, 32},
      .title = {20, 112, 98, 12},
      .content = {20, 124, 98, 12},
      .buy = {12, 230, 105, 22},
      .coin = {12, 205, 105, 22},
      .welfare = {12, 231, 105, 22},
      .superwelfare = {12, 257, 105, 22},
      .textWidth = 98,
      .textX = 20,
      .titleTop = 112,
      .contentGap = 2,
  };
  return layout;
}

const NUVAInfiniterLayout& NUVAInfiniterLayout::portrait() {
  static const NUVAInfiniterLayout layout{
      .background = "verrehallitembg",
      .backbg = {0, 0, 162, 244},
      .gameCoin = {0, 14, 162, 12},
      .propImg = {65, 50, 32, 32},
      .title = {25, 103, 120, 12},
      .content = {25, 125, 120, 12},
      .buy = {25, 204, 105, 22},
      .coin = {5, 188, 75, 22},
      .welfare = {80, 188, 75, 22},
      .superwelfare = {30, 212, 100, 22},
      .textWidth = 120,
      .textX = 25,
      .titleTop = 103,
      .contentGap = 0,
  };
  return layout;
}

kit::Ref<NUVAInfiniterItem> NUVAInfiniterItem::init() {
  auto card = kit::make<NUVAInfiniterItem>();
  card->build();
  return card;
}

kit::Ref<NUVAVerInfiniterItem> NUVAVerInfiniterItem::init() {
  auto card = kit::make<NUVAVerInfiniterItem>();
  card->build();
  return card;
}

namespace {

kit::Ref<kit::Label> label(const kit::Rect& frame, kit::Ref<kit::Font> font, kit::TextAlignment alignment,
                           bool wraps) {
  auto made = kit::Label::make(frame);
  made->setFont(std::move(font));
  made->setTextColor(kit::Color::whiteColor());
  made->setTextAlignment(alignment);
  if (wraps) made->setNumberOfLines(0);
  return made;
}

}  // namespace

void NUVAInfiniterCard::build() {
  backbg_ = kit::ImageView::make(layout_.backbg);
  backbg_->setClipsToBounds(true);
  backbg_->layer()->setCornerRadius(4);
  backbg_->setImage(NUVALightImage(layout_.background));
  addSubview(backbg_);

  gameCoin_ = label(layout_.gameCoin, kit::Font::systemFont(8), kit::TextAlignment::Center, false);
  addSubview(gameCoin_);
  prop_img_ = kit::ImageView::make(layout_.propImg);
  prop_img_->setContentMode(kit::ContentMode::ScaleAspectFit);
  addSubview(prop_img_);
  title_ = label(layout_.title, kit::Font::boldSystemFont(8), kit::TextAlignment::Center, true);
  addSubview(title_);
  contentLabel_ = label(layout_.content, kit::Font::systemFont(8), kit::TextAlignment::Left, true);
  addSubview(contentLabel_);

  kit::Weak<NUVAInfiniterCard> weak = weakSelf<NUVAInfiniterCard>();
  auto button = [&](const kit::Rect& frame, void (NUVAInfiniterCard::*action)()) {
    auto made = kit::Button::make(frame);
    made->setTitleColor(kit::Color::blackColor(), kit::ControlStateNormal);
    made->titleLabel()->setFont(kit::Font::boldSystemFont(8));
    made->addAction(kit::ControlEvent::TouchUpInside, [weak, action] {
      if (auto self = weak.lock()) ((*self).*action)();
    });
    made->setHidden(true);
    return made;
  };
  buyBtn_ = button(layout_.buy, &NUVAInfiniterCard::buyBtnClick);
  superwelfareBtn_ = button(layout_.superwelfare, &NUVAInfiniterCard::superwelfareBtnClick);
  welfareBtn_ = button(layout_.welfare, &NUVAInfiniterCard::welfareBtnClick);
  coinBtn_ = button(layout_.coin, &NUVAInfiniterCard::coinBtnClick);
  for (const auto& made : {buyBtn_, superwelfareBtn_, welfareBtn_, coinBtn_}) addSubview(made);
}

void NUVAInfiniterCard::setModel(kit::Ref<NUVAInfiniterModel> model) {
  KIT_CHECK_MAIN_THREAD();
  model_ = std::move(model);
  if (!model_) return;
  kit::Weak<NUVAInfiniterCard> weak = weakSelf<NUVAInfiniterCard>();
  prop_img_->setImage(nullptr);
  NUVAHallSupport::loadPicture(prop_img_, model_->prop_img(), [weak]() -> std::string {
    auto self = weak.lock();
    return self && self->model_ ? kit::describe(self->model_->prop_img()) : std::string();
  });

  gameCoin_->setText(kit::shownText(model_->game_coin()));
  const std::string title = kit::shownText(model_->title());
  const std::string content = kit::shownText(model_->content());
  title_->setText(title);
  contentLabel_->setText(content);
  const double W = layout_.textWidth;
  const double h1 = std::ceil(NUVAHallSupport::measure(title, kit::Font::boldSystemFont(8), W).height) + 1;
  title_->setFrame({layout_.textX, layout_.titleTop, W, h1});
  const double h2 = std::ceil(NUVAHallSupport::measure(content, kit::Font::systemFont(8), W).height) + 1;
  contentLabel_->setFrame({layout_.textX, layout_.titleTop + h1 + layout_.contentGap, W, h2});

  const std::string bought = kit::describe(model_->is_buy());
  for (const auto& button : {buyBtn_, coinBtn_, welfareBtn_, superwelfareBtn_}) button->setHidden(true);
  if (bought == "0") {
    buyBtn_->setHidden(false);
    buyBtn_->setTitle(kit::shownText(model_->money()) + "元购买", kit::ControlStateNormal);
    buyBtn_->setBackgroundImage(NUVALightImage("rehallbtn"), kit::ControlStateNormal);
  } else if (bought == "1") {
    coinBtn_->setTitle("领取" + kit::shownText(model_->game_coin()), kit::ControlStateNormal);
    welfareBtn_->setTitle("领取福利转盘×" + kit::shownText(model_->welfare_nums()), kit::ControlStateNormal);
    superwelfareBtn_->setTitle("领取超级转盘×" + kit::shownText(model_->super_welfare_nums()),
                               kit::ControlStateNormal);
    showClaim(coinBtn_, model_->is_coin());
    showClaim(welfareBtn_, model_->is_welfare());
    showClaim(superwelfareBtn_, model_->is_superwelfare());
  }
}

void NUVAInfiniterCard::showClaim(const kit::Ref<kit::Button>& button, const kit::Id& flag) {
  const std::string state = kit::describe(flag);
  if (state == "0") {
    button->setHidden(false);
    button->setBackgroundImage(NUVALightImage("rehallbtn"), kit::ControlStateNormal);
    button->setUserInteractionEnabled(true);
  } else if (state == "1") {
    button->setHidden(false);
    markClaimed(button);
  } else {
    button->setHidden(true);
  }
}

void NUVAInfiniterCard::markClaimed(const kit::Ref<kit::Button>& button) {
  button->setBackgroundImage(NUVALightImage("rehallbtnalget"), kit::ControlStateNormal);
  button->setUserInteractionEnabled(false);
}

// ---- Orders and claims ---------------------------------------------------------------------

void NUVAInfiniterCard::buyBtnClick() {
  KIT_CHECK_MAIN_THREAD();
  if (!model_) return;
  // An offer the server did not name or price cannot become an order.
  if (NUVADataFormat::isBlankString(NUVADataFormat::textOfValue(model_->listid())) ||
      NUVADataFormat::isBlankString(NUVADataFormat::textOfValue(model_->money()))) {
    kit::log("resource order: goods without id or money: %@", model_);
    return;
  }
  auto role = NUVAStoreOrder::roleOf(userInfo_);
  auto form = NUVAStoreOrder::levelOrderForm(role, model_->listid(), NUVADataFormat::NUVAMD5GetRandomStr());
  NUVAStoreOrder::place("charge/resorder", form, {model_->title(), model_->listid(), model_->money()},
                        NUVAResourcePAYNotification);
}

void NUVAInfiniterCard::coinBtnClick() {
  kit::Weak<NUVAInfiniterCard> weak = weakSelf<NUVAInfiniterCard>();
  getInfiniteresWithType("coin", [weak](const kit::Id&) {
    if (auto self = weak.lock()) self->markClaimed(self->coinBtn_);
  });
}

void NUVAInfiniterCard::welfareBtnClick() {
  kit::Weak<NUVAInfiniterCard> weak = weakSelf<NUVAInfiniterCard>();
  getInfiniteresWithType("welfare", [weak](const kit::Id&) {
    auto self = weak.lock();
    if (!self) return;
    self->markClaimed(self->welfareBtn_);
    if (self->welfareBlock_) self->welfareBlock_();
  });
}

void NUVAInfiniterCard::superwelfareBtnClick() {
  kit::Weak<NUVAInfiniterCard> weak = weakSelf<NUVAInfiniterCard>();
  getInfiniteresWithType("super", [weak](const kit::Id&) {
    auto self = weak.lock();
    if (!self) return;
    self->markClaimed(self->superwelfareBtn_);
    if (self->superwelfareBlock_) self->superwelfareBlock_();
  });
}

void NUVAInfiniterCard::getInfiniteresWithType(const std::string& type,
                                               std::function<void(const kit::Id& answer)> done) {
  KIT_CHECK_MAIN_THREAD();
  if (!model_) return;
  const char* route = type == "coin"      ? "infiniteres/getcoin"
                      : type == "welfare" ? "infiniteres/getwelfare"
                                          : "infiniteres/getsuperwelfare";
  auto role = NUVAStoreOrder::roleOf(userInfo_);
  NUVANetworkManager::getWithQuery(
      NUVAStoreSupport::gameURL(route),
      {{"game_id", role.game_id},
       {"role_id", role.super_role_id},
       {"server_id", role.service_id},
       {"good_id", model_->listid()}},
      [done = std::move(done), route = std::string(route)](kit::Id answer) {
        kit::log("%s: %@", route.c_str(), LogRedaction::redacted(answer));
        NUVAProgressHUD::dismiss();
        if (NUVAGameReply::isSuccess(answer)) {
          NUVAProgressHUD::showSuccessWithStatus(kit::str("领取成功"));
          done(answer);
        } else if (const std::string message = kit::readableText(answer["msg"]); !message.empty()) {
          // An answer without a readable message (an HTML page, an empty
          // body, blanks, a list) shows nothing, as a failed request does.
          NUVAProgressHUD::showErrorWithStatus(kit::str(message));
        }
      },
      [route = std::string(route)](kit::Ref<kit::String> error) {
        kit::log("%s failed: %@", route.c_str(), error);
      });
}
