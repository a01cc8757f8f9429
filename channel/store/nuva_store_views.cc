// The store's overlay factory. See nuva_store_views.h.

#include "channel/store/nuva_store_views.h"

#include "channel/store/nuva_gm_shop_view.h"
#include "channel/store/nuva_level_pop_view.h"

std::shared_ptr<NUVAStoreViews> NUVAStoreViews::install(std::shared_ptr<NUVAStoreOverlays> others) {
  auto views = std::make_shared<NUVAStoreViews>(std::move(others));
  NUVAStoreOverlays::install(views);
  return views;
}

std::shared_ptr<NUVAGMShopOverlay> NUVAStoreViews::makeGMShopView(NUVAOverlayForm form) {
  if (form == NUVAOverlayForm::Portrait) return NUVAVerticalGMShopView::init();
  return NUVAGMShopView::init();
}

std::shared_ptr<NUVALevelPopOverlay> NUVAStoreViews::makeLevelPopView() { return NUVALevelPopView::init(); }

std::shared_ptr<NUVAResourceHallOverlay> NUVAStoreViews::makeResourceHallView(NUVAOverlayForm form) {
  return others_ ? others_->makeResourceHallView(form) : nullptr;
}

std::shared_ptr<NUVANotOpenOverlay> NUVAStoreViews::makeNotOpenView() {
  return others_ ? others_->makeNotOpenView() : nullptr;
}
