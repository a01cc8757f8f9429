// A free-gift pane of the store hub. See nuva_gift_pane.h.

#include "channel/store/nuva_gift_pane.h"

#include <cmath>

#include "channel/core/nuva_log.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/store/nuva_store_support.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/format.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/ui/attributed_string.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"
#include "kit/ui/text_measure.h"
#include "platform/base/log_redaction.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

std::string shown(const kit::Ref<NUVAStoreRecord>& record, const char* key) {
  return kit::shownText(record ? record->valueForKey(key) : nullptr);
}

}  // namespace

kit::Ref<NUVAGiftPane> NUVAGiftPane::make(const NUVAGiftTab& tab, NUVAOverlayForm form,
                                          std::function<Claimant()> claimant, std::function<void()> closeClick) {
  return kit::make<NUVAGiftPane>(tab, form, std::move(claimant), std::move(closeClick));
}

NUVAGiftPane::NUVAGiftPane(const NUVAGiftTab& tab, NUVAOverlayForm form, std::function<Claimant()> claimant,
                           std::function<void()> closeClick)
    : tab_(tab), form_(form), claimant_(std::move(claimant)), closeClick_(std::move(closeClick)) {}

// ---- Building ---------------------------------------------------------------------------

void NUVAGiftPane::build(const kit::Ref<kit::View>& pane) {
  pane_ = pane;
  const bool portrait = form_ == NUVAOverlayForm::Portrait;
  const bool vip = &tab_ == &NUVAGiftTab::vip();
  const kit::Rect screen = kit::Screen::main()->bounds();
  const double S = screen.width(), Hs = screen.height(), W = S - 60;
  const double P = Hs - 60, Q = Hs - 120;
  const double s = portrait ? S / 375 : S / 667, v = portrait ? Hs / 667 : Hs / 375;
  kit::Weak<NUVAGiftPane> weak = weakSelf<NUVAGiftPane>();

  limitLabel_ = kit::Label::make(portrait ? (vip ? kit::Rect{20, Q - 40, W - 40, 30} : kit::Rect{20, Q - 55, W - 40, 45})
                                          : kit::Rect{20, P - 40, W - 40, 35});
  limitLabel_->setTextColor(kit::Color::hex(0x11CCB1));
  limitLabel_->setNumberOfLines(0);
  limitLabel_->setFont(kit::Font::systemFont(10));
  pane->addSubview(limitLabel_);

  categoryFrame_ = kit::ImageView::make(portrait ? kit::Rect{5, 15, W / 4, Q / 2 - 50}
                                                 : kit::Rect{25 * s, 15, W / 4 - 45 * s, P - 65});
  categoryFrame_->setUserInteractionEnabled(true);
  pane->addSubview(categoryFrame_);
  const double cw = categoryFrame_->frame().width(), ch = categoryFrame_->frame().height();
  menu_ = vip ? kit::Ref<NUVAGiftMenuController>(kit::make<NUVAVIPMenuController>())
              : kit::Ref<NUVAGiftMenuController>(kit::make<NUVAGMMenuController>());
  menu_->tableView()->setFrame({2, 2, cw - 4, ch - 4});
  categoryFrame_->addSubview(menu_->tableView());

  gridFrame_ = kit::ImageView::make(portrait ? kit::Rect{cw + 5, 15, W - cw - 5, ch}
                                             : kit::Rect{cw + 32 * s, 15, W / 2 - 20 * s, ch});
  gridFrame_->setUserInteractionEnabled(true);
  pane->addSubview(gridFrame_);
  grid_ = vip ? kit::Ref<NUVAGiftDetailController>(kit::make<NUVAVIPDetailViewController>())
              : kit::Ref<NUVAGiftDetailController>(kit::make<NUVAGMDetailViewController>());
  const kit::Rect gridBounds = gridFrame_->bounds();
  grid_->view()->setFrame(portrait ? gridBounds
                                   : kit::Rect{2, 2, gridBounds.width() - 4, gridBounds.height() - 4});
  gridFrame_->addSubview(grid_->view());

  descBgView_ = kit::ImageView::make(portrait ? kit::Rect{30, 15 + ch + 10, W - 60, ch * 0.3}
                                              : kit::Rect{W / 2 + cw + 20 * s, 15, cw + 40 * s, ch * 0.3});
  descBgView_->setImage(NUVALightImage("desc"));
  descBgView_->setUserInteractionEnabled(true);
  pane->addSubview(descBgView_);
  const kit::Rect desc = descBgView_->frame();

  nameLabel_ = kit::Label::make({4, 4, desc.width() - 8, 30});
  nameLabel_->setNumberOfLines(0);
  nameLabel_->setFont(kit::Font::boldSystemFont(12));
  nameLabel_->setTextAlignment(kit::TextAlignment::Left);
  nameLabel_->setTextColor(kit::Color::blackColor());
  descBgView_->addSubview(nameLabel_);

  descTextView_ = kit::TextView::make({0, 34, desc.width(), desc.height() - 34});
  descTextView_->setScrollEnabled(true);
  descTextView_->setEditable(false);
  descTextView_->setFont(kit::Font::systemFont(10));
  descTextView_->setTextAlignment(kit::TextAlignment::Left);
  descTextView_->setTextColor(kit::Color::blackColor());
  descTextView_->setBackgroundColor(kit::Color::hex(0xF1F1F1));
  descTextView_->setTextContainerInset({5, 0, 0, 0});
  descBgView_->addSubview(descTextView_);
  kit::NotificationCenter::defaultCenter()->addObserver(selfAs<NUVAGiftPane>(), &NUVAGiftPane::loadDescData,
                                                        tab_.descNotification);

  gmdescBgView_ = kit::ImageView::make({desc.minX(), desc.maxY() + 4, desc.width(), portrait ? 60.0 : 70.0});
  gmdescBgView_->setImage(NUVALightImage("desc"));
  gmdescBgView_->setUserInteractionEnabled(true);
  pane->addSubview(gmdescBgView_);
  gmdescLabel_ = kit::Label::make({4, 4, desc.width() - 8, portrait ? 52.0 : 62.0});
  gmdescLabel_->setNumberOfLines(0);
  gmdescLabel_->setFont(kit::Font::systemFont(10));
  gmdescLabel_->setTextAlignment(kit::TextAlignment::Left);
  gmdescLabel_->setTextColor(kit::Color::blackColor());
  gmdescBgView_->addSubview(gmdescLabel_);

  const double claimY = gmdescBgView_->frame().maxY() + 10 * s;
  claimButton_ = kit::Button::make(portrait ? kit::Rect{(W - 70 * s) / 2, claimY, 70 * s, 27 * v}
                                            : kit::Rect{desc.minX() + 35 * s, claimY, 70 * s, 27 * v});
  claimButton_->setBackgroundImage(NUVALightImage("getbtn"));
  claimButton_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->toGetClick();
  });
  pane->addSubview(claimButton_);

  const double plateY = claimButton_->frame().maxY() + 5;
  totalMoney_ = kit::Button::make(portrait ? kit::Rect{(W - 140 * s) / 2, plateY, 140 * s + 5, 27 * v}
                                           : kit::Rect{desc.minX(), plateY, 140 * s + 5, 27 * v});
  totalMoney_->setUserInteractionEnabled(false);
  totalMoney_->setBackgroundImage(NUVALightImage("totalmoneybg"));
  totalMoney_->setTitleColor(kit::Color::whiteColor());
  totalMoney_->titleLabel()->setFont(kit::Font::systemFont(13));
  pane->addSubview(totalMoney_);

  if (!portrait) {
    closeButton_ = kit::Button::make({W - 48, 5, 32, 32});
    closeButton_->setBackgroundImage(NUVALightImage("close"));
    closeButton_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
      auto self = weak.lock();
      if (self && self->closeClick_) self->closeClick_();
    });
    pane->addSubview(closeButton_);
  }
}

void NUVAGiftPane::fill(const kit::Ref<kit::MutableArray>& categories, const kit::Ref<kit::String>& totalMoney,
                        const kit::Ref<kit::String>& limitText) {
  if (!categories || categories->count() == 0) return;
  auto copyOf = [&] {
    auto copy = kit::MutableArray::make();
    copy->addObjectsFromArray(*categories);
    return copy;
  };
  menu_->setMenuArray(copyOf());
  grid_->setSecondMArr(copyOf());
  totalMoney_->setTitle("已充值金额: " + kit::shownText(totalMoney));
  limitLabel_->setText(kit::shownText(limitText));
  changeWordSpaceForLabel(*limitLabel_, form_ == NUVAOverlayForm::Portrait ? 2.0 : 6.0);
}

void NUVAGiftPane::stopObserving() {
  kit::NotificationCenter::defaultCenter()->removeObserver(selfAs<NUVAGiftPane>());
}

void NUVAGiftPane::changeWordSpaceForLabel(kit::Label& label, double space) {
  const std::string text = label.text();
  kit::TextAttributes kerning;
  kerning.kern = space;
  auto spaced = kit::AttributedString::make(text, kerning);
  kit::TextAttributes paragraph;
  paragraph.paragraphStyle = kit::ParagraphStyle::make();
  spaced->addAttributes(paragraph, kit::Range{0, kit::String::make(text)->length()});
  label.setAttributedText(spaced);
  label.setTextAlignment(kit::TextAlignment::Center);
}

// ---- The chosen gift --------------------------------------------------------------------

void NUVAGiftPane::loadDescData(const kit::Ref<kit::Notification>& notification) {
  KIT_CHECK_MAIN_THREAD();
  auto record = kit::as<NUVAStoreRecord>(notification->object());
  if (!record) return;
  model_ = record;
  const kit::Rect desc = descBgView_->frame();
  const std::string name = shown(record, "gift_name");
  kit::TextAttributes attributes;
  attributes.font = kit::Font::systemFont(12);
  attributes.paragraphStyle = kit::ParagraphStyle::make();
  attributes.paragraphStyle->lineSpacing = 2;
  const double nameHeight =
      std::ceil(kit::boundingRectWithSize(name, {desc.width() - 8, 1e7}, kit::StringDrawingUsesLineFragmentOrigin,
                                          attributes)
                    .height()) +
      1;
  nameLabel_->setText(name);
  gmdescLabel_->setText(shown(record, tab_.privilegeKey));
  nameLabel_->setFrame({4, 4, desc.width() - 8, nameHeight});
  descTextView_->setText(shown(record, "gift_desc"));
  const double top = nameLabel_->frame().maxY();
  descTextView_->setFrame({0, top, desc.width(), desc.height() - top - 2});
}

// ---- Claims -----------------------------------------------------------------------------

void NUVAGiftPane::toGetClick() {
  KIT_CHECK_MAIN_THREAD();
  auto claimed = model_;
  if (!claimed || !claimed->valueForKey(tab_.groupKey) || !claimed->valueForKey("gift_id")) return;
  const Claimant who = claimant_ ? claimant_() : Claimant{};
  auto body = kit::MutableDictionary::make();
  body->setObject(kit::text(who.token), std::string_view("token"));
  body->setObject(kit::text(who.super_user_id), std::string_view("super_user_id"));
  body->setObject(kit::text(who.roleid), std::string_view("role_id"));
  body->setObject(kit::text(claimed->valueForKey(tab_.groupKey)), std::string_view(tab_.groupKey));
  body->setObject(kit::text(claimed->valueForKey("gift_id")), std::string_view("gift_id"));
  const bool logs = form_ == NUVAOverlayForm::Portrait;
  if (logs) kit::log("%@", LogRedaction::redacted(body));
  // The reply comes on the session's thread; the pane is not touched there.
  const NUVAGiftTab* tab = &tab_;
  NUVANetworkManager::PostWithURL(
      NUVAStoreSupport::gameURL(tab_.claimPath), body,
      [tab, claimed, logs](kit::Id answer) {
        if (logs) kit::log("领取:%@", NUVALog::describe(answer));
        claimAnswered(*tab, answer, claimed);
      },
      [](kit::Ref<kit::String> error) { kit::log("gift claim failed: %@", error); });
}

void NUVAGiftPane::claimAnswered(const NUVAGiftTab& tab, const kit::Id& answer,
                                 const kit::Ref<NUVAStoreRecord>& claimed) {
  // On the reply's thread: the claim is announced there, as the grids
  // expect; the HUD, a view, is shown from the main queue.
  const std::string status = kit::describe(answer["status"]);
  auto toast = [](std::function<void()> show) {
    kit::Queue::main().async([show = std::move(show)] {
      NUVAProgressHUD::dismiss();
      show();
    });
  };
  if (status == "200") {
    toast([] { NUVAProgressHUD::showSuccessWithStatus(kit::str("领取成功")); });
    kit::NotificationCenter::defaultCenter()->postNotificationName(tab.successNotification, claimed);
    return;
  }
  if (status == "500") {
    toast([] { NUVAProgressHUD::showSuccessWithStatus(kit::str("还未达到开启要求")); });
    return;
  }
  // An answer that is no JSON, or has no readable "msg", gets the text the
  // HTTP helper shows for a failed request.
  const std::string readable = kit::readableText(answer["msg"]);
  auto message = readable.empty() ? NUVANetworkManager::unknownErrorText() : kit::str(readable);
  toast([message] { NUVAProgressHUD::showErrorWithStatus(message); });
}
