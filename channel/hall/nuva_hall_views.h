// NUVAHallViews: the makers of the resource hall's overlays for the channel
// core's overlay factory: the hall (NUVAResourceHallView or
// NUVAVerResourceHallView by form) and the not-open placard. The store's
// factory hands these two to it:
//
//   NUVAStoreViews::install(std::make_shared<NUVAHallViews>());
#pragma once

#include "channel/core/nuva_store_overlays.h"

class NUVAHallViews : public NUVAStoreOverlays {
 public:
  // The store hub and the level pop-up are the store's: nil here.
  std::shared_ptr<NUVAGMShopOverlay> makeGMShopView(NUVAOverlayForm) override { return nullptr; }
  std::shared_ptr<NUVALevelPopOverlay> makeLevelPopView() override { return nullptr; }
  std::shared_ptr<NUVAResourceHallOverlay> makeResourceHallView(NUVAOverlayForm form) override;
  std::shared_ptr<NUVANotOpenOverlay> makeNotOpenView() override;
};
