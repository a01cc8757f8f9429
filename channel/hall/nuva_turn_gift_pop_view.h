// The draw-result pop-ups of the prize wheels, each above a dark, blurred
// cover that takes no action, centred on the key window, closed by its
// close button or its get button (neither sends anything; closing happens
// on the next main-queue turn):
// - NUVATurnOneGiftPopView (one draw, both halls, 256 x 200): the prize
//   icon over "onegifticonbg" and the name plate "<name>*<amount>", as wide
//   as the name (at most 218) and centred under the icon;
// - NUVATurnFiveGiftPopView (five draws, landscape hall, 506 x 275) and
//   NUVAVETurnFiveGiftPopView (portrait hall, 354 x 316): one tile per prize
//   won, its icon and its name plate.
#pragma once

#include <functional>
#include <vector>

#include "kit/foundation/array.h"
#include "kit/foundation/string.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

// What the three pop-ups share: the cover, showing and closing.
class NUVATurnGiftPopUp : public kit::View {
 public:
  NUVATurnGiftPopUp() : kit::View(kit::Rect{}) {}

  // Cover and pop-up on the key window, the pop-up centred.
  void show();
  // Runs the close block, then takes cover and pop-up off on the next
  // main-queue turn.
  void closeClick();
  void setCloseBlock(std::function<void()> block) { closeBlock_ = std::move(block); }

  const kit::Ref<kit::Button>& coverView() const { return coverView_; }
  const kit::Ref<kit::ImageView>& background() const { return background_; }
  const kit::Ref<kit::Button>& closeButton() const { return closeButton_; }
  const kit::Ref<kit::Button>& getButton() const { return getButton_; }

 protected:
  // Background, close button and get button; the pop-up's size for show.
  void buildFrame(const char* backgroundName, const kit::Rect& background, const kit::Rect& close,
                  const kit::Rect& get, kit::Size size);
  virtual void getClick() { closeClick(); }

  kit::Ref<kit::ImageView> background_;
  kit::Ref<kit::Button> closeButton_, getButton_, coverView_;

 private:
  std::function<void()> closeBlock_;
  kit::Size size_;
};

class NUVATurnOneGiftPopView : public NUVATurnGiftPopUp {
 public:
  static kit::Ref<NUVATurnOneGiftPopView> init();

  // The plate's text ("<name>*<amount>"), sized to it.
  void setName(const kit::Ref<kit::String>& name);
  // Reads the prize icon into the icon view.
  void setIconUrl(const kit::Ref<kit::String>& iconUrl);
  // The get button's action: closes.
  void giftgetBtnClick() { closeClick(); }

  const kit::Ref<kit::String>& name() const { return name_; }
  const kit::Ref<kit::String>& iconUrl() const { return iconUrl_; }
  const kit::Ref<kit::ImageView>& iconImg() const { return iconImg_; }
  const kit::Ref<kit::Label>& nameLabel() const { return nameLabel_; }

 private:
  void build();

  kit::Ref<kit::String> name_, iconUrl_;
  kit::Ref<kit::ImageView> iconImg_;
  kit::Ref<kit::Label> nameLabel_;
};

// The five-draw pop-ups' shared part: the tiles.
class NUVATurnFiveGiftPopUp : public NUVATurnGiftPopUp {
 public:
  // One tile per prize dictionary, in order; an empty list adds nothing.
  void setProp_listArray(const kit::Ref<kit::Array>& prizes);
  const kit::Ref<kit::MutableArray>& prop_listArray() const { return prop_listArray_; }
  const std::vector<kit::Ref<kit::View>>& tiles() const { return tiles_; }

 protected:
  virtual kit::Rect tileFrame(size_t i) const = 0;

 private:
  kit::Ref<kit::MutableArray> prop_listArray_ = kit::MutableArray::make();
  std::vector<kit::Ref<kit::View>> tiles_;
};

class NUVATurnFiveGiftPopView : public NUVATurnFiveGiftPopUp {
 public:
  static kit::Ref<NUVATurnFiveGiftPopView> init();

 protected:
  kit::Rect tileFrame(size_t i) const override;
};

class NUVAVETurnFiveGiftPopView : public NUVATurnFiveGiftPopUp {
 public:
  static kit::Ref<NUVAVETurnFiveGiftPopView> init();

 protected:
  kit::Rect tileFrame(size_t i) const override;
};
