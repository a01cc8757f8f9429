// The free-video pop-up. See nuva_free_vedio_view.h.

#include "channel/store/nuva_free_vedio_view.h"

#include <atomic>
#include <cmath>

#include "channel/core/nuva_countdown.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/vanu_notice_view.h"
#include "channel/store/nuva_store_picture.h"
#include "channel/store/nuva_store_support.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/format.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/screen.h"
#include "kit/ui/visual_effect_view.h"

namespace {

kit::Ref<kit::Color> accent() { return kit::Color::hex(0x11CCB1); }

kit::Ref<kit::String> nextCountdownKey() {
  static std::atomic<long> next{1};
  return kit::format("freeVideoCount%ld", next++);
}

// The whole part of a number of seconds, as "%d" shows it.
long wholeSeconds(double seconds) {
  if (!std::isfinite(seconds)) return 0;
  if (seconds > 1e9) return 1000000000L;
  if (seconds < -1e9) return -1000000000L;
  return static_cast<long>(seconds);
}

}  // namespace

NUVAFreeVedioView::NUVAFreeVedioView()
    : kit::View(kit::Rect{}), form_(NUVAStoreOverlays::currentForm()), countdownKey_(nextCountdownKey()) {}

NUVAFreeVedioView::~NUVAFreeVedioView() {
  NUVACountdown::shareInstance()->cancelTimer(countdownKey_);
  if (player_ && timeObserver_) player_->removeTimeObserver(timeObserver_);
}

kit::Ref<NUVAFreeVedioView> NUVAFreeVedioView::init() {
  auto view = kit::make<NUVAFreeVedioView>();
  view->p_setupUI();
  return view;
}

kit::Size NUVAFreeVedioView::panelSize() const {
  return form_ == NUVAOverlayForm::Portrait ? kit::Size{330, 575} : kit::Size{575, 310};
}

// ---- The card ---------------------------------------------------------------------------

void NUVAFreeVedioView::p_setupUI() {
  const auto [w, h] = panelSize();
  const double t = form_ == NUVAOverlayForm::Portrait ? 405 : 155;
  kit::Weak<NUVAFreeVedioView> weak = weakSelf<NUVAFreeVedioView>();

  backbg_ = kit::View::make({0, 0, w, h});
  backbg_->setBackgroundColor(kit::Color::whiteColor());
  backbg_->setUserInteractionEnabled(true);
  addSubview(backbg_);

  topbg_ = kit::ImageView::make({0, 0, w, t});
  topbg_->setBackgroundColor(kit::Color::blackColor());
  topbg_->setContentMode(kit::ContentMode::ScaleAspectFit);
  topbg_->setUserInteractionEnabled(true);
  backbg_->addSubview(topbg_);

  playIcon_ = kit::ImageView::make({w / 2 - 39, t / 2 - 39, 78, 78});
  playIcon_->setImage(NUVALightImage("vediobtn"));
  playIcon_->setUserInteractionEnabled(true);
  playIcon_->addGestureRecognizer(kit::TapGestureRecognizer::make([weak](kit::GestureRecognizer&) {
    if (auto self = weak.lock()) self->tapStartIcon();
  }));
  topbg_->addSubview(playIcon_);

  icon_ = kit::ImageView::make({w / 2 - 30, t - 30, 60, 60});
  backbg_->addSubview(icon_);

  name_ = kit::Label::make({0, icon_->frame().maxY() + 10, w, 25});
  name_->setFont(kit::Font::boldSystemFont(18));
  name_->setTextAlignment(kit::TextAlignment::Center);
  name_->setTextColor(accent());
  backbg_->addSubview(name_);

  desc_ = kit::Label::make({0, name_->frame().maxY() + 10, w, 25});
  desc_->setFont(kit::Font::boldSystemFont(16));
  desc_->setTextAlignment(kit::TextAlignment::Center);
  desc_->setNumberOfLines(0);
  backbg_->addSubview(desc_);

  closeBtn_ = kit::Button::make({w / 2 - 55, h - 50, 110, 40});
  closeBtn_->setBackgroundColor(accent());
  closeBtn_->layer()->setCornerRadius(8);
  closeBtn_->layer()->setMasksToBounds(true);
  closeBtn_->setTitle("点击试玩");
  closeBtn_->setTitleColor(kit::Color::whiteColor());
  closeBtn_->titleLabel()->setFont(kit::Font::boldSystemFont(14));
  closeBtn_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->playClick();
  });
  backbg_->addSubview(closeBtn_);
}

void NUVAFreeVedioView::setPlayerDic(const kit::Ref<kit::Dictionary>& offer) {
  KIT_CHECK_MAIN_THREAD();
  playerDic_ = offer;
  dicArray_ = kit::as<kit::Array>(NUVADataFormat::arrayWithJsonString(kit::text(offer ? (*offer)["items"] : nullptr)));
}

void NUVAFreeVedioView::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  userInfo_ = userInfo ? kit::str(userInfo->utf8()) : nullptr;
}

void NUVAFreeVedioView::show() {
  KIT_CHECK_MAIN_THREAD();
  auto window = kit::Application::shared()->keyWindow();
  if (!window || coverView_) return;
  window_ = window;

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
  window->addSubview(selfAs<NUVAFreeVedioView>());

  kit::Id offer = playerDic_;
  video_url_ = kit::text(offer["video_url"]);
  down_link_ = kit::text(offer["down_link"]);
  video_time_ = kit::text(offer["video_time"]);
  showPictures(offer["game_icon"], offer["video_pic"]);
  name_->setText(kit::shownText(offer["game_name"]));
  desc_->setText(kit::shownText(offer["game_desc"]));
}

void NUVAFreeVedioView::showPictures(const kit::Id& iconAddress, const kit::Id& pictureAddress) {
  auto into = [](const kit::Ref<kit::ImageView>& view) {
    return kit::bindPost(kit::Queue::main(), kit::Weak<kit::ImageView>(view),
                         [](kit::ImageView& target, const kit::Ref<kit::Data>& bytes) {
                           if (auto image = kit::Image::withData(bytes->span())) target.setImage(image);
                         });
  };
  NUVAStorePicture::read(iconAddress, into(icon_));
  NUVAStorePicture::read(pictureAddress, into(topbg_));
}

// ---- Playback ---------------------------------------------------------------------------

kit::Ref<kit::String> NUVAFreeVedioView::playableAddress(const kit::Ref<kit::String>& address) {
  if (!address || !NUVADataFormat::isHasChineseChar(address)) return address;
  static const kit::NoDestructor allowed(kit::CharacterSet::fromString(
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$&'()*+,-./:;=?@_~%#[]"));
  return kit::stringByAddingPercentEncodingWithAllowedCharacters(address->utf8(), **allowed);
}

void NUVAFreeVedioView::tapStartIcon() {
  KIT_CHECK_MAIN_THREAD();
  if (started_ || tornDown_) return;
  started_ = true;
  kit::AudioSession::sharedInstance()->setCategory(kit::AudioSessionCategoryPlayback);

  auto url = kit::URL::URLWithString(playableAddress(video_url_));
  playerController_ = kit::PlayerViewController::make();
  playerController_->setVideoGravity(kit::LayerVideoGravityResizeAspect);
  playerController_->setShowsPlaybackControls(false);
  if (url) {
    player_ = kit::Player::make(url);
    playerController_->setPlayer(player_);
  } else {
    // Nothing to play: the bar and the pill still come, and the pill's
    // close icon closes everything.
    kit::log("free video: no URL can be made of %@", video_url_);
  }
  const double required = NUVAStoreSupport::doubleOf(video_time_);
  layOutPlayback(required);
  if (!player_) return;
  player_->play();
  kit::Weak<NUVAFreeVedioView> weak = weakSelf<NUVAFreeVedioView>();
  timeObserver_ = player_->addPeriodicTimeObserver(kit::MediaTime::make(1, 1), [weak](kit::MediaTime time) {
    if (auto self = weak.lock()) self->playbackCheck(time);
  });
}

void NUVAFreeVedioView::layOutPlayback(double seconds) {
  auto window = window_.lock();
  if (!window) return;
  const kit::Size size = window->frame().size;
  const double b = form_ == NUVAOverlayForm::Portrait && NUVADataFormat::isBangsScreen() ? kNotchInset : 0;
  const double videoHeight = size.height - kBarHeight - b;
  kit::Weak<NUVAFreeVedioView> weak = weakSelf<NUVAFreeVedioView>();

  playerController_->view()->setFrame({0, 0, size.width, videoHeight});
  window->addSubview(playerController_->view());

  playView_ = kit::View::make({0, videoHeight, size.width, kBarHeight});
  playView_->setBackgroundColor(kit::Color::whiteColor());
  window->addSubview(playView_);
  icon_->setFrame({10, 10, 60, 60});
  playView_->addSubview(icon_);
  name_->setFrame({80, 10, size.width - 80, 25});
  name_->setTextAlignment(kit::TextAlignment::Left);
  playView_->addSubview(name_);
  closeBtn_->setFrame({size.width - 110, 20, 100, 40});
  playView_->addSubview(closeBtn_);
  desc_->setFrame({80, 35, size.width - 190, 45});
  desc_->setTextAlignment(kit::TextAlignment::Left);
  playView_->addSubview(desc_);

  closeView_ = kit::View::make({size.width - 120, 45, 90, 30});
  closeView_->setBackgroundColor(kit::Color::white(1, 0.5));
  closeView_->layer()->setCornerRadius(5);
  closeView_->layer()->setMasksToBounds(true);
  window->addSubview(closeView_);
  secondsLabel_ = kit::Label::make({0, 0, 52, 30});
  secondsLabel_->setFont(kit::Font::boldSystemFont(14));
  secondsLabel_->setTextAlignment(kit::TextAlignment::Right);
  secondsLabel_->setTextColor(accent());
  closeView_->addSubview(secondsLabel_);
  showSeconds(seconds);
  closeIcon_ = kit::Button::make({55, 2, 28, 28});
  closeIcon_->setBackgroundImage(NUVALightImage("vedioclose"));
  closeIcon_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->dissMiss();
  });
  closeView_->addSubview(closeIcon_);
}

void NUVAFreeVedioView::showSeconds(double seconds) {
  secondsLabel_->setText(kit::formatString("%lds |", wholeSeconds(seconds)));
}

void NUVAFreeVedioView::playbackCheck(kit::MediaTime time) {
  if (tornDown_ || !player_) return;
  const double now = time.seconds();
  const kit::Ref<kit::PlayerItem>& item = player_->currentItem();
  const double total = item ? item->duration().seconds() : std::nan("");
  const double required = NUVAStoreSupport::doubleOf(video_time_);

  closeView_->setHidden(false);
  showSeconds(required - now);
  if (total < required && wholeSeconds(now) == wholeSeconds(total)) {
    // The video ended before the required time: count the rest down.
    kit::Weak<NUVAFreeVedioView> weak = weakSelf<NUVAFreeVedioView>();
    NUVACountdown::shareInstance()->time(
        required - total,
        [weak](double left) {
          auto self = weak.lock();
          if (self && !self->tornDown_) self->showSeconds(left);
        },
        [weak] {
          if (auto self = weak.lock()) self->vedioFinishAct();
        },
        countdownKey_);
  }
  if (now >= required) vedioFinishAct();
}

void NUVAFreeVedioView::vedioFinishAct() {
  KIT_CHECK_MAIN_THREAD();
  if (tornDown_) return;
  if (player_) player_->pause();
  if (playerController_) playerController_->view()->removeFromSuperview();
  if (closeView_) closeView_->removeFromSuperview();
  if (popGift_) return;
  popGift_ = true;
  auto gift = NUVAVedioGiftView::init();
  gift->setDicArray(dicArray_);
  gift->setUserInfo(userInfo_);
  kit::Weak<NUVAFreeVedioView> weak = weakSelf<NUVAFreeVedioView>();
  gift->setCloseBlock([weak] {
    auto self = weak.lock();
    if (!self) return;
    self->closeClick();
    self->popGift_ = false;
  });
  giftView_ = gift;
  gift->show();
}

// ---- Closing ----------------------------------------------------------------------------

void NUVAFreeVedioView::closeClick() {
  KIT_CHECK_MAIN_THREAD();
  auto keep = selfAs<NUVAFreeVedioView>();
  if (closeBlock_) closeBlock_();
  tearDown();
}

void NUVAFreeVedioView::dissMiss() {
  KIT_CHECK_MAIN_THREAD();
  auto keep = selfAs<NUVAFreeVedioView>();
  tearDown();
}

void NUVAFreeVedioView::tearDown() {
  tornDown_ = true;
  NUVACountdown::shareInstance()->cancelTimer(countdownKey_);
  if (player_) {
    player_->pause();
    if (timeObserver_) player_->removeTimeObserver(timeObserver_);
    timeObserver_ = nullptr;
  }
  if (playerController_) playerController_->view()->removeFromSuperview();
  if (closeView_) closeView_->removeFromSuperview();
  if (playView_) {
    const auto parts = playView_->subviews();
    for (const auto& subview : parts) subview->removeFromSuperview();
    playView_->removeFromSuperview();
  }
  kit::NotificationCenter::defaultCenter()->removeObserver(selfAs<NUVAFreeVedioView>());
  if (coverView_) coverView_->removeFromSuperview();
  removeFromSuperview();
}

void NUVAFreeVedioView::playClick() {
  KIT_CHECK_MAIN_THREAD();
  const std::string link = kit::describe(down_link_);
  if (!VANUNoticeView::isOpenableLink(link)) {
    kit::log("free video: the download link %s is not opened", link.c_str());
    return;
  }
  kit::Application::shared()->openURL(link);
}
