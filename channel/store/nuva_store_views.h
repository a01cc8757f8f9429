// NUVAStoreViews: the channel core's store overlay factory as the store
// provides it. It makes the store's own views (the store hub and the
// level-reached pop-up) and hands what it does not make (the resource
// hall's views) to another factory, when one is given; without one those
// makers give nil, and the core logs one line and opens nothing.
//
//   NUVAStoreViews::install();                 // at start-up
//   NUVAStoreViews::install(recordingStandIns); // the main job: stand-ins for the rest
#pragma once

#include <memory>

#include "channel/core/nuva_store_overlays.h"

class NUVAStoreViews : public NUVAStoreOverlays {
 public:
  explicit NUVAStoreViews(std::shared_ptr<NUVAStoreOverlays> others = nullptr) : others_(std::move(others)) {}

  // Installs a new factory as the core's and returns it.
  static std::shared_ptr<NUVAStoreViews> install(std::shared_ptr<NUVAStoreOverlays> others = nullptr);

  std::shared_ptr<NUVAGMShopOverlay> makeGMShopView(NUVAOverlayForm form) override;
  std::shared_ptr<NUVALevelPopOverlay> makeLevelPopView() override;
  std::shared_ptr<NUVAResourceHallOverlay> makeResourceHallView(NUVAOverlayForm form) override;
  std::shared_ptr<NUVANotOpenOverlay> makeNotOpenView() override;

 private:
  std::shared_ptr<NUVAStoreOverlays> others_;
};
