// The level store tab. See nuva_levelstore_view.h.

#include "channel/store/nuva_levelstore_view.h"

#include "channel/store/nuva_store_replies.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"

namespace {

// The table's frame is the same in both forms; the notice line's is not.
// W and H are the screen's width and height.
kit::Rect tableFrame(double W, double H) { return {10, 35, W - 180, H - 180}; }
kit::Rect noticeFrame(NUVAOverlayForm form, double W, double H) {
  if (form == NUVAOverlayForm::Portrait) return {5, H - 150, W - 80, 30};
  return {5, H - 90, W - 60, 30};
}

}  // namespace

kit::Ref<NUVALevelstoreView> NUVALevelstoreView::init() {
  auto tab = kit::make<NUVALevelstoreView>();
  tab->p_setupUI();
  return tab;
}

kit::Ref<NUVAVerLevelstoreView> NUVAVerLevelstoreView::init() {
  auto tab = kit::make<NUVAVerLevelstoreView>();
  tab->p_setupUI();
  return tab;
}

void NUVALevelstoreTab::p_setupUI() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  const double W = screen.width(), H = screen.height();

  giftVC()->tableView()->setFrame(tableFrame(W, H));
  addSubview(giftVC()->tableView());

  // The notice sits on a layer of its own that takes no touches: a new
  // notice lays out its holder, not the tab, whose every layout pass reads
  // the list.
  textLayer_ = kit::View::make(bounds());
  textLayer_->setUserInteractionEnabled(false);
  addSubview(textLayer_);

  limitlabel_ = kit::Label::make(noticeFrame(form_, W, H));
  limitlabel_->setNumberOfLines(0);
  limitlabel_->setFont(kit::Font::boldSystemFont(12));
  limitlabel_->setTextColor(kit::Color::rgba(17 / 255.0, 204 / 255.0, 177 / 255.0, 1));
  limitlabel_->setTextAlignment(kit::TextAlignment::Center);
  textLayer_->addSubview(limitlabel_);
}

const kit::Ref<NUVALevelTableController>& NUVALevelstoreTab::giftVC() {
  if (!giftVC_) {
    if (form_ == NUVAOverlayForm::Portrait) {
      giftVC_ = kit::make<NUVAVerLevelStoreController>();
    } else {
      giftVC_ = kit::make<NUVALevelStoreController>();
    }
  }
  return giftVC_;
}

void NUVALevelstoreTab::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  KIT_CHECK_MAIN_THREAD();
  userInfo_ = userInfo ? kit::str(userInfo->utf8()) : nullptr;
  giftVC()->setUserInfo(userInfo_);
}

void NUVALevelstoreTab::layoutSubviews() {
  kit::View::layoutSubviews();
  textLayer_->setFrame(bounds());
  refreshData();
}

void NUVALevelstoreTab::refreshData() {
  KIT_CHECK_MAIN_THREAD();
  kit::Weak<NUVALevelstoreTab> weak = weakSelf<NUVALevelstoreTab>();
  NUVALevelTableController::requestPackList(userInfo_, [weak](const kit::Id& answer) {
    if (auto self = weak.lock()) self->packsAnswered(answer);
  });
}

void NUVALevelstoreTab::packsAnswered(const kit::Id& answer) {
  auto packs = NUVAStoreReplies::levelStorePacks(answer);
  if (!packs) return;
  limitlabel_->setText(packs->notice->utf8());
  giftVC()->setGiftArray(packs->list);
}
