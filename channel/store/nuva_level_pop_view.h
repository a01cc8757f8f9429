// NUVALevelPopView: the level-reached pop-up the channel core shows when the
// game server answers a role's level report with an offer. A 326 x 326
// panel centred on the screen, above a dark, blurred cover that takes no
// action: the panel background ("levelpopbg") with the logo over its top
// edge ("levelpoplogo"), the advertising picture (an animated GIF read from
// "ads_pic") in its frame ("levelpopimg"), one tile per reward item (its
// icon, "%@" of its amount and of its name), a close button and the go
// button "前往". The go button runs the close block (the core's: open the
// store hub on its level gifts tab), then the pop-up closes; the close
// button only closes.
//
// The pop-up implements the core's NUVALevelPopOverlay: the core fills it
// through the setters and calls show once.
#pragma once

#include <functional>
#include <vector>

#include "channel/core/nuva_store_overlays.h"
#include "kit/foundation/array.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"
#include "ui/images/nuva_animated_gif_view.h"

class NUVALevelPopView : public kit::View, public NUVALevelPopOverlay {
 public:
  // The pop-up's side, its tiles' side, their pitch and the cover's blur.
  static constexpr double kSide = 326, kTileSide = 66, kTilePitch = 70, kBlurAlpha = 0.4;

  // The pop-up with its panel built (the platform's init).
  static kit::Ref<NUVALevelPopView> init();
  static kit::Ref<NUVALevelPopView> make() { return init(); }
  NUVALevelPopView() : kit::View(kit::Rect{}) {}

  // ---- NUVALevelPopOverlay
  void setAdPic(const kit::Ref<kit::String>& address) override;
  // Keeps the text and reads it as a JSON array of item objects; any other
  // text gives no items.
  void setItems(const kit::Ref<kit::String>& itemsJSON) override;
  void setCloseBlock(std::function<void()> block) override;
  // Cover and pop-up on the key window; reads the picture and the icons.
  void show() override;

  // ---- Actions
  // The close button: takes cover and pop-up off the window.
  void dissMiss();
  // The go button: the close block, then closing.
  void popClick();

  // ---- State and parts
  const kit::Ref<kit::String>& adPic() const { return adPic_; }
  const kit::Ref<kit::String>& items() const { return items_; }
  const kit::Ref<kit::MutableArray>& itemsArray();
  const kit::Ref<kit::Button>& coverView() const { return coverView_; }
  const kit::Ref<kit::ImageView>& backbg() const { return backbg_; }
  const kit::Ref<kit::ImageView>& logo() const { return logo_; }
  const kit::Ref<kit::ImageView>& mainImg() const { return mainImg_; }
  const kit::Ref<NUVAAnimatedGIFView>& adImge() const { return adImge_; }
  const kit::Ref<kit::Button>& closeButton() const { return closeButton_; }
  const kit::Ref<kit::Button>& goButton() const { return goButton_; }
  // The reward tiles in order (after show).
  const std::vector<kit::Ref<kit::View>>& tiles() const { return tiles_; }

 private:
  void p_setupUI();
  void showAdPicture();
  void showItems();

  kit::Ref<kit::String> adPic_, items_;
  kit::Ref<kit::MutableArray> itemsArray_;
  std::function<void()> closeBlock_;
  kit::Ref<kit::Button> coverView_;
  kit::Ref<kit::ImageView> backbg_, logo_, mainImg_;
  kit::Ref<NUVAAnimatedGIFView> adImge_;
  kit::Ref<kit::Button> closeButton_, goButton_;
  std::vector<kit::Ref<kit::View>> tiles_;
  bool shown_ = false;
};
