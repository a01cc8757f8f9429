// The hall's overlay makers. See nuva_hall_views.h.

#include "channel/hall/nuva_hall_views.h"

#include "channel/hall/nuva_not_open_view.h"
#include "channel/hall/nuva_resource_hall_view.h"

std::shared_ptr<NUVAResourceHallOverlay> NUVAHallViews::makeResourceHallView(NUVAOverlayForm form) {
  if (form == NUVAOverlayForm::Portrait) return NUVAVerResourceHallView::init();
  return NUVAResourceHallView::init();
}

std::shared_ptr<NUVANotOpenOverlay> NUVAHallViews::makeNotOpenView() { return NUVANotOpenView::init(); }
