// NUVAHallViews: the makers of the resource hall's overlays for the channel
// core's overlay factory: the hall (NUVAResourceHallView or
// NUVAVerResourceHallView by form) and the not-open placard. The store's
// factory hands these two to it; what the hall does not make (the store
// hub, the level pop-up) it hands on to another factory, when one is given:
//
//   NUVAStoreViews::install(std::make_shared<NUVAHallViews>());
//   NUVAStoreViews::install(std::make_shared<NUVAHallViews>(hubStandIn));
#pragma once

#include "channel/core/nuva_store_overlays.h"

class NUVAHallViews : public NUVAStoreOverlays {
 public:
  explicit NUVAHallViews(std::shared_ptr<NUVAStoreOverlays> others = nullptr) : others_(std::move(others)) {}

  std::shared_ptr<NUVAGMShopOverlay> makeGMShopView(NUVAOverlayForm form) override {
    return others_ ? others_->makeGMShopView(form) : nullptr;
  }
  std::shared_ptr<NUVALevelPopOverlay> makeLevelPopView() override {
    return others_ ? others_->makeLevelPopView() : nullptr;
  }
  std::shared_ptr<NUVAResourceHallOverlay> makeResourceHallView(NUVAOverlayForm form) override;
  std::shared_ptr<NUVANotOpenOverlay> makeNotOpenView() override;

 private:
  std::shared_ptr<NUVAStoreOverlays> others_;
};
