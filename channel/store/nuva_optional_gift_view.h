// NUVAOptionalGiftView: the optional item chooser of a custom pack. A small
// #11CCB1 pop-up (corner radius 12) centred on the key window above a dark,
// blurred cover, holding one prop tile (45 x 45) per item still open to
// choice, three to a row. A tap on a tile closes the chooser and hands that
// item to the choose block; a tap on the cover closes it without a choice.
//
// The chooser is given the row's own item records (not copies), so the row
// tells the chosen item by identity.
//
//   auto chooser = NUVAOptionalGiftView::init();
//   chooser->setGiftArray(choosable->mutableCopy());
//   chooser->setChooseBlock([weak](const kit::Ref<NUVAFixedGiftModel>& item) { ... });
//   chooser->show();
#pragma once

#include <functional>
#include <vector>

#include "channel/core/nuva_store_records.h"
#include "channel/store/nuva_fix_btn.h"
#include "kit/foundation/array.h"
#include "kit/ui/button.h"
#include "kit/ui/view.h"

class NUVAOptionalGiftView : public kit::View {
 public:
  using ChooseBlock = std::function<void(const kit::Ref<NUVAFixedGiftModel>& item)>;

  // The tiles' side, their pitch, the margin before the first, the width
  // of a full row, the chooser's height above the screen's bottom before it
  // is centred, and the cover's blur.
  static constexpr double kTile = 45, kPitch = 50, kMargin = 10, kFullWidth = 165;
  static constexpr double kEmptyHeight = 100, kBottomOffset = 165, kCornerRadius = 12, kBlurAlpha = 0.5;

  static kit::Ref<NUVAOptionalGiftView> init();
  static kit::Ref<NUVAOptionalGiftView> make() { return init(); }
  NUVAOptionalGiftView() : kit::View(kit::Rect{}) {}

  // The items offered, in order (held, not copied).
  const kit::Ref<kit::MutableArray>& giftArray() const { return giftArray_; }
  void setGiftArray(kit::Ref<kit::MutableArray> items);
  const ChooseBlock& chooseBlock() const { return chooseBlock_; }
  void setChooseBlock(ChooseBlock block) { chooseBlock_ = std::move(block); }

  // Puts the cover and the chooser on the key window.
  void show();
  // Takes cover and chooser off the window; the choose block is not called.
  void dissmiss();
  // A tile's tap: closes the chooser, then hands the tile's item on.
  void ClickBtn(NUVAFixBtn& tile);

  // Whether the chooser is on a window now.
  bool isOpen() const { return superview() != nullptr; }
  const kit::Ref<kit::Button>& coverView() const { return coverView_; }
  const std::vector<kit::Ref<NUVAFixBtn>>& tiles() const { return tiles_; }

  // Places one tile per item and sizes the chooser to them (nothing for no
  // items: the chooser keeps 165 x 100).
  void layoutSubviews() override;

 private:
  void p_setUI();
  void centreOnWindow();

  kit::Ref<kit::MutableArray> giftArray_;
  ChooseBlock chooseBlock_;
  kit::Ref<kit::Button> coverView_;
  kit::Weak<kit::View> window_;
  std::vector<kit::Ref<NUVAFixBtn>> tiles_;
  std::vector<kit::Ref<kit::Object>> tiledItems_;
};
