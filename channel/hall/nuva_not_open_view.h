// NUVANotOpenView: the full-screen placard telling the player the resource
// hall is not open, shown by the channel core instead of the hall when the
// hall has no goods. A background picture with the hall's logo and a close
// button, above a dark, blurred cover that takes no action; the form
// (portrait or landscape) is chosen once, at creation, from the interface
// orientation. The close button takes cover and placard off at once.
#pragma once

#include "channel/core/nuva_store_overlays.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/view.h"

class NUVANotOpenView : public kit::View, public NUVANotOpenOverlay {
 public:
  static kit::Ref<NUVANotOpenView> init();
  NUVANotOpenView() : kit::View(kit::Rect{}) {}

  // Cover and placard on the key window.
  void show() override;
  // Removes cover and placard from the window.
  void closeClick();

  const kit::Ref<kit::Button>& coverView() const { return coverView_; }
  const kit::Ref<kit::ImageView>& background() const { return background_; }
  const kit::Ref<kit::ImageView>& logo() const { return logo_; }
  const kit::Ref<kit::Button>& closeButton() const { return closeButton_; }

 private:
  void build();

  kit::Ref<kit::Button> coverView_;
  kit::Ref<kit::ImageView> background_, logo_;
  kit::Ref<kit::Button> closeButton_;
};
