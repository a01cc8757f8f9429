// NUVAFixBtn: the prop tile of the store's gift views, a small square
// button (#F1F1F1, corner radius 4) that shows one reward item: its picture
// filling the tile less a 5-point margin, its count in the top 8 points,
// right-aligned, and its name along the bottom edge, growing upwards as it
// wraps. A record without a name is an empty slot: the tile shows the
// "fixbtnbg" picture of NUVALight.bundle and hides both labels.
//
// The tile lays itself out from its frame when it is given a record, so
// the caller sets the frame first. The item's picture is read from its
// icon address (NUVAStorePicture); a picture that arrives after the tile
// moved on to another record with another address is dropped.
//
//   auto tile = NUVAFixBtn::init();
//   tile->setFrame({30, 0, 56, 56});
//   tile->setModel(NUVAFixedGiftModel::withValues(item));
#pragma once

#include "channel/core/nuva_store_records.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"

class NUVAFixBtn : public kit::Button {
 public:
  // The labels' font size, the tile's corner radius and the count's height.
  static constexpr double kFontSize = 6;
  static constexpr double kCornerRadius = 4;
  static constexpr double kCountHeight = 8;

  // A tile with its parts (the platform's init and initWithFrame:).
  static kit::Ref<NUVAFixBtn> init(const kit::Rect& frame = {});
  static kit::Ref<NUVAFixBtn> make(const kit::Rect& frame = {}) { return init(frame); }
  explicit NUVAFixBtn(const kit::Rect& frame = {});

  const kit::Ref<NUVAFixedGiftModel>& model() const { return model_; }
  // Keeps the record and draws the tile for it at its current frame.
  void setModel(kit::Ref<NUVAFixedGiftModel> model);

  // The parts, made on first use.
  const kit::Ref<kit::ImageView>& icon();
  const kit::Ref<kit::Label>& name();
  const kit::Ref<kit::Label>& num();

 private:
  void p_setUI();
  void showIcon(const kit::Id& address);

  kit::Ref<NUVAFixedGiftModel> model_;
  kit::Ref<kit::ImageView> icon_;
  kit::Ref<kit::Label> name_;
  kit::Ref<kit::Label> num_;
};
