// NUVAFreeVedioView: the free-video pop-up the vouchers tab opens from the
// free-video offer. Over a dark, blurred cover that takes no taps it shows
// the promoted game's card (its video picture with a play icon, its icon,
// name and description, and "点击试玩", which opens the game's download
// link). A tap on the play icon plays the trial video across the key window
// above a white bar that takes the card's icon, texts and button, with a
// pill counting down the seconds still to watch ("30s |") and a close icon.
//
// The role must watch for "video_time" seconds. When the video ends sooner,
// the rest is counted down after its end. When the time is reached the
// video stops and the reward pop-up (NUVAVedioGiftView) comes up, once;
// when it closes, this pop-up runs its close block and closes. The pill's
// close icon closes everything at any time without the close block, and
// then nothing of the pop-up runs later: the countdown is cancelled and the
// player's time observer removed.
//
//   auto video = NUVAFreeVedioView::init();
//   video->setPlayerDic(offer);
//   video->setUserInfo(userInfo);
//   video->setCloseBlock([] { ... });
//   video->show();
#pragma once

#include <functional>

#include "channel/core/nuva_store_overlays.h"
#include "channel/store/nuva_vedio_gift_view.h"
#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/string.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"
#include "kit/ui/window.h"
#include "kit/web/player.h"

class NUVAFreeVedioView : public kit::View {
 public:
  static constexpr double kBlurAlpha = 0.4;
  // The bar under the video, and the inset of a notched portrait screen.
  static constexpr double kBarHeight = 80, kNotchInset = 32;

  static kit::Ref<NUVAFreeVedioView> init();
  static kit::Ref<NUVAFreeVedioView> make() { return init(); }
  NUVAFreeVedioView();
  ~NUVAFreeVedioView() override;

  // ---- Inputs
  const kit::Ref<kit::Dictionary>& playerDic() const { return playerDic_; }
  // Keeps the offer and reads its "items" (a JSON text) into dicArray.
  void setPlayerDic(const kit::Ref<kit::Dictionary>& offer);
  const kit::Ref<kit::Array>& dicArray() const { return dicArray_; }
  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  void setUserInfo(const kit::Ref<kit::String>& userInfo);
  void setCloseBlock(std::function<void()> block) { closeBlock_ = std::move(block); }

  // ---- Actions
  // Cover and card on the key window; reads the pictures.
  void show();
  // The play icon: plays the video.
  void tapStartIcon();
  // The required time is reached: stops the video, shows the reward.
  void vedioFinishAct();
  // The close block, then everything off the window.
  void closeClick();
  // Everything off the window, without the close block.
  void dissMiss();
  // "点击试玩": opens the download link.
  void playClick();

  // ---- State and parts
  NUVAOverlayForm form() const { return form_; }
  bool popGift() const { return popGift_; }
  bool isTornDown() const { return tornDown_; }
  const kit::Ref<kit::String>& video_url() const { return video_url_; }
  const kit::Ref<kit::String>& down_link() const { return down_link_; }
  const kit::Ref<kit::String>& video_time() const { return video_time_; }
  const kit::Ref<kit::Button>& coverView() const { return coverView_; }
  const kit::Ref<kit::View>& backbg() const { return backbg_; }
  const kit::Ref<kit::ImageView>& topbg() const { return topbg_; }
  const kit::Ref<kit::ImageView>& playIcon() const { return playIcon_; }
  const kit::Ref<kit::ImageView>& icon() const { return icon_; }
  const kit::Ref<kit::Label>& name() const { return name_; }
  const kit::Ref<kit::Label>& desc() const { return desc_; }
  const kit::Ref<kit::Button>& closeBtn() const { return closeBtn_; }
  // During playback: the pill, its seconds label and close icon, the bar.
  const kit::Ref<kit::View>& closeView() const { return closeView_; }
  const kit::Ref<kit::Label>& secondsLabel() const { return secondsLabel_; }
  const kit::Ref<kit::Button>& closeIcon() const { return closeIcon_; }
  const kit::Ref<kit::View>& playView() const { return playView_; }
  const kit::Ref<kit::PlayerViewController>& playerController() const { return playerController_; }
  const kit::Ref<kit::Player>& player() const { return player_; }
  // The reward pop-up while it is up.
  kit::Ref<NUVAVedioGiftView> giftView() const { return giftView_.lock(); }
  const kit::Ref<kit::String>& countdownKey() const { return countdownKey_; }

  // The address the player is given: CJK text percent-escaped, other text
  // as it stands.
  static kit::Ref<kit::String> playableAddress(const kit::Ref<kit::String>& address);

 private:
  void p_setupUI();
  kit::Size panelSize() const;
  void showPictures(const kit::Id& iconAddress, const kit::Id& pictureAddress);
  void layOutPlayback(double seconds);
  void playbackCheck(kit::MediaTime time);
  void showSeconds(double seconds);
  void tearDown();

  NUVAOverlayForm form_;
  kit::Ref<kit::Dictionary> playerDic_;
  kit::Ref<kit::Array> dicArray_;
  kit::Ref<kit::String> userInfo_, video_url_, down_link_, video_time_;
  std::function<void()> closeBlock_;
  kit::Weak<kit::Window> window_;
  kit::Ref<kit::Button> coverView_, closeBtn_, closeIcon_;
  kit::Ref<kit::View> backbg_, closeView_, playView_;
  kit::Ref<kit::ImageView> topbg_, playIcon_, icon_;
  kit::Ref<kit::Label> name_, desc_, secondsLabel_;
  kit::Ref<kit::PlayerViewController> playerController_;
  kit::Ref<kit::Player> player_;
  kit::Id timeObserver_;
  kit::Weak<NUVAVedioGiftView> giftView_;
  kit::Ref<kit::String> countdownKey_;
  bool started_ = false;
  bool popGift_ = false;
  bool tornDown_ = false;
};
