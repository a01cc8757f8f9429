// The not-open placard. See nuva_not_open_view.h.

#include "channel/hall/nuva_not_open_view.h"

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/hall/nuva_hall_support.h"
#include "kit/ui/application.h"
#include "kit/ui/screen.h"
#include "kit/ui/window.h"

kit::Ref<NUVANotOpenView> NUVANotOpenView::init() {
  auto view = kit::make<NUVANotOpenView>();
  view->build();
  return view;
}

void NUVANotOpenView::build() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  const double W = screen.width(), H = screen.height();
  const double n = NUVADataFormat::isBangsScreen() ? 32 : 0;
  const bool portrait = NUVAStoreOverlays::currentForm() == NUVAOverlayForm::Portrait;

  background_ = kit::ImageView::make(portrait ? kit::Rect{0, n, W, H - n} : kit::Rect{n, 0, W - n, H});
  background_->setImage(NUVALightImage(portrait ? "vernoopen" : "noopen"));
  background_->setUserInteractionEnabled(true);
  addSubview(background_);

  logo_ = kit::ImageView::make(portrait ? kit::Rect{W / 2 - 175, n + 20, 350, 74}
                                        : kit::Rect{W / 2 - 337 - n, 15, 675, 74});
  logo_->setImage(NUVALightImage(portrait ? "verresourcelogo" : "resourcelogo"));
  background_->addSubview(logo_);

  closeButton_ = kit::Button::make(portrait ? kit::Rect{W - 50, n + 25, 32, 32} : kit::Rect{W - 85 - n, 25, 32, 32});
  closeButton_->setBackgroundImage(NUVALightImage("reclose"), kit::ControlStateNormal);
  kit::Weak<NUVANotOpenView> weak = weakSelf<NUVANotOpenView>();
  closeButton_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->closeClick();
  });
  background_->addSubview(closeButton_);
}

void NUVANotOpenView::show() {
  KIT_CHECK_MAIN_THREAD();
  auto window = kit::Application::shared()->keyWindow();
  if (!window || coverView_) return;
  window->makeKeyAndVisible();
  coverView_ = NUVAHallSupport::attachCover(window);
  const kit::Rect screen = kit::Screen::main()->bounds();
  setFrame({0, 0, screen.width(), screen.height()});
  setCenter({window->bounds().midX(), window->bounds().midY()});
  window->addSubview(selfAs<NUVANotOpenView>());
}

void NUVANotOpenView::closeClick() {
  KIT_CHECK_MAIN_THREAD();
  auto keep = selfAs<NUVANotOpenView>();
  if (coverView_) coverView_->removeFromSuperview();
  removeFromSuperview();
}
