// NUVAVedioGiftView: the video reward pop-up ("恭喜获得") the free-video
// pop-up shows once the role has watched the trial video long enough. A
// white panel centred over a dark, blurred cover that takes no taps: the
// title, up to three reward tiles with a 2-point accent border (a fourth
// and later item get a tile without a place), the button "一键领取" and a
// close icon. Both controls claim the reward ("freevideogift/get" on the
// game server over plain http, not waited for), run the close block and
// take the pop-up off the window.
//
// The panel is 330 x 340 in the portrait form and 575 x 310 in the
// landscape one; the form is the status bar's when the pop-up is made.
//
//   auto reward = NUVAVedioGiftView::init();
//   reward->setDicArray(items);
//   reward->setUserInfo(userInfo);
//   reward->setCloseBlock([] { ... });
//   reward->show();
#pragma once

#include <functional>
#include <vector>

#include "channel/core/nuva_lucky_player_item.h"
#include "channel/core/nuva_store_overlays.h"
#include "kit/foundation/array.h"
#include "kit/foundation/string.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

class NUVAVedioGiftView : public kit::View {
 public:
  static constexpr double kBlurAlpha = 0.4;

  static kit::Ref<NUVAVedioGiftView> init();
  static kit::Ref<NUVAVedioGiftView> make() { return init(); }
  NUVAVedioGiftView();

  // ---- Inputs
  const kit::Ref<kit::Array>& dicArray() const { return dicArray_; }
  // Keeps the item dictionaries; the items shown become a copy of them.
  void setDicArray(const kit::Ref<kit::Array>& items);
  const kit::Ref<kit::MutableArray>& itemsArray();
  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  void setUserInfo(const kit::Ref<kit::String>& userInfo);
  void setCloseBlock(std::function<void()> block) { closeBlock_ = std::move(block); }

  // Cover and panel on the key window, with the tiles.
  void show();
  // Both controls: sends the claim, runs the close block, then leaves.
  void closeClick();
  // Leaves without a claim and without the close block.
  void dissMiss();

  // ---- Parts
  NUVAOverlayForm form() const { return form_; }
  const kit::Ref<kit::Button>& coverView() const { return coverView_; }
  const kit::Ref<kit::View>& backbg() const { return backbg_; }
  const kit::Ref<kit::Label>& titleLabel() const { return titleLabel_; }
  const kit::Ref<kit::Button>& getBtn() const { return getBtn_; }
  const kit::Ref<kit::Button>& closeIcon() const { return closeIcon_; }
  const std::vector<kit::Ref<NUVALuckyPlayerItem>>& tiles() const { return tiles_; }

 private:
  void p_setupUI();
  kit::Size panelSize() const;
  void sendClaim() const;

  NUVAOverlayForm form_;
  kit::Ref<kit::Array> dicArray_;
  kit::Ref<kit::MutableArray> itemsArray_;
  kit::Ref<kit::String> userInfo_;
  std::function<void()> closeBlock_;
  kit::Ref<kit::Button> coverView_;
  kit::Ref<kit::View> backbg_;
  kit::Ref<kit::Label> titleLabel_;
  kit::Ref<kit::Button> getBtn_, closeIcon_;
  std::vector<kit::Ref<NUVALuckyPlayerItem>> tiles_;
};
