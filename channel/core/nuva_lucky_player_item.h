// NUVALuckyPlayerItem: one reward tile of the lucky-player cards (also used
// by the store hub's voucher and free-video screens), an 85-point square
// with a translucent rounded background, the reward's icon and a caption
// "<name>*<amount>" sitting 5 points above the bottom edge and growing
// upwards as it wraps.
//
// The icon is downloaded with a plain GET (10-second time-out); the tile is
// held weakly meanwhile, and a failed download leaves the icon empty with
// the caption shown.
//
//   auto tile = NUVALuckyPlayerItem::init();
//   tile->setModel(NUVAFixedGiftModel::withValues(item));
#pragma once

#include "channel/core/nuva_store_records.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

class NUVALuckyPlayerItem : public kit::View {
 public:
  // The tile's side, and the icon download's time-out in seconds.
  static constexpr double kSide = 85;
  static constexpr double kIconTimeout = 10;

  static kit::Ref<NUVALuckyPlayerItem> init();
  static kit::Ref<NUVALuckyPlayerItem> make() { return init(); }
  NUVALuckyPlayerItem();

  const kit::Ref<NUVAFixedGiftModel>& model() const { return model_; }
  // Shows the reward: starts the icon download and sets the caption.
  void setModel(kit::Ref<NUVAFixedGiftModel> model);

  const kit::Ref<kit::ImageView>& backbg() const { return backbg_; }
  const kit::Ref<kit::ImageView>& icon() const { return icon_; }
  const kit::Ref<kit::Label>& name() const { return name_; }

 private:
  // Builds the parts (the platform's initWithFrame:).
  void p_setUI();
  void loadIcon(const kit::Id& address);

  kit::Ref<NUVAFixedGiftModel> model_;
  kit::Ref<kit::ImageView> backbg_;
  kit::Ref<kit::ImageView> icon_;
  kit::Ref<kit::Label> name_;
};
