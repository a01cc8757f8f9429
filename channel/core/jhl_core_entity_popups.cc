// The channel core's timed pop-ups: the time-store banner that slides down
// from the top edge, counts five seconds and opens the store hub when
// tapped, and the lucky-player cards and custom luck picture that the
// lucky-player flow (jhl_core_entity_lucky.cc) shows. See
// jhl_core_entity.h. Main thread only.

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_channel_reply.h"
#include "channel/core/nuva_countdown.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_store_overlays.h"
#include "channel/core/nuva_time_pop_view.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/screen.h"
#include "kit/ui/visual_effect_view.h"
#include "kit/ui/window.h"

namespace {

// The banner's size, its slide and its countdown.
constexpr double kBannerWidth = 300;
constexpr double kBannerHeight = 75;
constexpr double kBannerSlideSeconds = 2.0;
constexpr double kBannerSeconds = 5;
// How far below the top edge the banner rests on a notched portrait screen.
constexpr double kNotchedTopOffset = 32;

// The custom luck picture of one orientation.
struct LuckPicture {
  const char* picture;
  kit::Size size;
  const char* button;
  kit::Rect buttonFrame;
};

const LuckPicture& luckPicture(NUVAOverlayForm form) {
  static const LuckPicture portrait{"luck/luckygifttwver", {330, 540}, "luck/luckygiftverbtn", {110, 490, 110, 35}};
  static const LuckPicture landscape{"luck/luckygifttw", {575, 310}, "luck/luckygifttwbtn", {241, 265, 92, 32}};
  return form == NUVAOverlayForm::Portrait ? portrait : landscape;
}

void removeWithSubviews(const kit::Ref<kit::View>& view) {
  if (!view) return;
  auto subviews = view->subviews();
  for (const auto& subview : subviews) subview->removeFromSuperview();
  view->removeFromSuperview();
}

}  // namespace

// ---- The time-store banner --------------------------------------------------------------------

kit::Ref<NUVATimePopView> JHLCoreEntity::popView() {
  if (!popView_) {
    popView_ = NUVATimePopView::make();
    kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
    popView_->addGestureRecognizer(kit::TapGestureRecognizer::make([weak](kit::GestureRecognizer&) {
      if (auto self = weak.lock()) self->addPopGestureRecognizer();
    }));
  }
  return popView_;
}

void JHLCoreEntity::popViewanimate() {
  if (isHallOpen_ || !isTimeStore_ || !kit::isSet(roleid_)) return;
  auto window = kit::Application::shared()->keyWindow();
  if (!window) return;
  auto banner = popView();
  if (banner->superview().get() == window.get()) {
    window->bringSubviewToFront(banner.get());
  } else {
    window->addSubview(banner);
  }
  kit::Weak<NUVATimePopView> weakBanner = banner;
  banner->setCloseBlock([weakBanner] {
    if (auto banner = weakBanner.lock()) banner->setHidden(true);
  });

  bool portrait = NUVAStoreOverlays::currentForm() == NUVAOverlayForm::Portrait;
  double top = portrait && NUVADataFormat::isBangsScreen() ? kNotchedTopOffset : 0;
  double x = (kit::Screen::main()->bounds().size.width - kBannerWidth) / 2;
  kit::Rect resting{x, top, kBannerWidth, kBannerHeight};
  banner->setFrame({x, -kBannerHeight, kBannerWidth, kBannerHeight});
  banner->setHidden(false);
  kit::View::animate(
      kBannerSlideSeconds, [banner, resting] { banner->setFrame(resting); },
      [weakBanner, resting](bool) {
        if (auto banner = weakBanner.lock()) banner->setFrame(resting);
      });

  NUVACountdown::shareInstance()->time(
      kBannerSeconds,
      [weakBanner](double remaining) {
        if (auto banner = weakBanner.lock()) {
          banner->lastTimeLabel()->setText(kit::format("%d秒后自动关闭", static_cast<int>(remaining))->utf8());
        }
      },
      [weakBanner] {
        if (auto banner = weakBanner.lock()) banner->setHidden(true);
      });
}

void JHLCoreEntity::addPopGestureRecognizer() {
  popView()->setHidden(true);
  nuva_openGmShop();
}

// ---- The lucky-player pop-ups -----------------------------------------------------------------

void JHLCoreEntity::showLuckyPlayer(const kit::Ref<kit::String>& type, const kit::Id& answer) {
  kit::Id data = answer["data"];
  // No rewards (or a list of another kind): nothing to show, and the chain
  // ends here.
  auto items = kit::as<kit::Array>(data["items"]);
  if (!items || items->count() == 0) return;
  if (kit::describe(type) == "luck" && kit::describe(data["is_custom"]) == "2") {
    showCustomLuckPicture();
    return;
  }
  kit::Ref<NUVALuckyPlayerCard> card;
  if (NUVAStoreOverlays::currentForm() == NUVAOverlayForm::Portrait) {
    card = NUVAVerticalLuckyPlayerView::init();
  } else {
    card = NUVALuckyPlayerView::init();
  }
  card->setPlayerDic(kit::as<kit::Dictionary>(data));
  card->setType(type);
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  card->setCloseBlock([weak, type, data] {
    if (auto self = weak.lock()) self->luckyPlayerClosed(type, data);
  });
  card->show();
}

void JHLCoreEntity::showCustomLuckPicture() {
  // A picture still on screen goes first, with its cover.
  removeCustomLuckPicture();
  auto window = kit::Application::shared()->keyWindow();
  if (!window) return;
  auto screen = kit::Screen::main()->bounds();

  auto cover = kit::View::make(screen);
  auto blur = kit::VisualEffectView::make(kit::BlurEffect::withStyle(kit::BlurEffectStyle::Dark), cover->bounds());
  blur->setAlpha(0.4);
  cover->addSubview(blur);
  window->addSubview(cover);
  coverView_ = cover;

  const LuckPicture& form = luckPicture(NUVAStoreOverlays::currentForm());
  auto picture = kit::ImageView::make({0, 0, form.size.width, form.size.height});
  picture->setUserInteractionEnabled(true);
  picture->setImage(NUVALightImage(form.picture));
  picture->setCenter({screen.midX(), screen.midY()});
  window->addSubview(picture);
  luckyGiftView_ = picture;

  auto button = kit::ImageView::make(form.buttonFrame);
  button->setUserInteractionEnabled(true);
  button->setImage(NUVALightImage(form.button));
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  button->addGestureRecognizer(kit::TapGestureRecognizer::make([weak](kit::GestureRecognizer&) {
    if (auto self = weak.lock()) self->addGestureluckyGiftView();
  }));
  picture->addSubview(button);
}

void JHLCoreEntity::removeCustomLuckPicture() {
  removeWithSubviews(luckyGiftView_);
  removeWithSubviews(coverView_);
  luckyGiftView_ = nullptr;
  coverView_ = nullptr;
}
