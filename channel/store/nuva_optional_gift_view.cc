// The optional item chooser. See nuva_optional_gift_view.h.

#include "channel/store/nuva_optional_gift_view.h"

#include "kit/graphics/color.h"
#include "kit/ui/application.h"
#include "kit/ui/screen.h"
#include "kit/ui/visual_effect_view.h"
#include "kit/ui/window.h"

kit::Ref<NUVAOptionalGiftView> NUVAOptionalGiftView::init() {
  auto view = kit::make<NUVAOptionalGiftView>();
  view->p_setUI();
  return view;
}

void NUVAOptionalGiftView::p_setUI() {
  setBackgroundColor(kit::Color::rgba(17 / 255.0, 204 / 255.0, 177 / 255.0, 1));
}

void NUVAOptionalGiftView::setGiftArray(kit::Ref<kit::MutableArray> items) {
  KIT_CHECK_MAIN_THREAD();
  giftArray_ = std::move(items);
  setNeedsLayout();
}

void NUVAOptionalGiftView::show() {
  KIT_CHECK_MAIN_THREAD();
  auto window = kit::Application::shared()->keyWindow();
  if (!window) return;
  window_ = window;

  coverView_ = kit::Button::make(window->bounds());
  coverView_->setBackgroundColor(kit::Color::white(0, 0.5));
  auto blur =
      kit::VisualEffectView::make(kit::BlurEffect::withStyle(kit::BlurEffectStyle::Dark), coverView_->bounds());
  blur->setAlpha(kBlurAlpha);
  blur->setUserInteractionEnabled(false);
  coverView_->addSubview(blur);
  // The cover is the way out: a tap beside the chooser closes it.
  kit::Weak<NUVAOptionalGiftView> weak = weakSelf<NUVAOptionalGiftView>();
  coverView_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->dissmiss();
  });
  window->addSubview(coverView_);

  const double SH = kit::Screen::main()->bounds().height();
  setFrame({kMargin, SH - kBottomOffset, kFullWidth, kEmptyHeight});
  centreOnWindow();
  layer()->setCornerRadius(kCornerRadius);
  window->addSubview(selfAs<NUVAOptionalGiftView>());
}

void NUVAOptionalGiftView::dissmiss() {
  KIT_CHECK_MAIN_THREAD();
  auto keep = selfAs<NUVAOptionalGiftView>();
  if (coverView_) coverView_->removeFromSuperview();
  removeFromSuperview();
}

void NUVAOptionalGiftView::ClickBtn(NUVAFixBtn& tile) {
  KIT_CHECK_MAIN_THREAD();
  auto item = tile.model();
  dissmiss();
  if (chooseBlock_) {
    auto block = chooseBlock_;  // the block may drop the chooser
    block(item);
  }
}

void NUVAOptionalGiftView::layoutSubviews() {
  kit::View::layoutSubviews();
  const size_t n = giftArray_ ? giftArray_->count() : 0;
  if (n == 0) return;

  // The tiles are made again only when the items changed, so that the
  // layout pass the resizing below causes finds them in place.
  std::vector<kit::Ref<kit::Object>> items;
  for (const kit::Id& item : *giftArray_) items.push_back(item);
  if (items != tiledItems_) {
    for (const auto& tile : tiles_) tile->removeFromSuperview();
    tiles_.clear();
    kit::Weak<NUVAOptionalGiftView> weak = weakSelf<NUVAOptionalGiftView>();
    for (size_t i = 0; i < n; ++i) {
      auto tile = NUVAFixBtn::init({kMargin + kPitch * static_cast<double>(i % 3),
                                    kMargin + kPitch * static_cast<double>(i / 3), kTile, kTile});
      kit::Weak<NUVAFixBtn> weakTile = tile;
      tile->addAction(kit::ControlEvent::TouchUpInside, [weak, weakTile] {
        auto self = weak.lock();
        auto tapped = weakTile.lock();
        if (self && tapped) self->ClickBtn(*tapped);
      });
      addSubview(tile);
      tile->setModel(kit::as<NUVAFixedGiftModel>(items[i]));
      tiles_.push_back(tile);
    }
    tiledItems_ = std::move(items);
  }

  const size_t rows = n / 3 + (n % 3 ? 1 : 0);
  const double width = n <= 3 ? 15 + kPitch * static_cast<double>(n) : kFullWidth;
  const double height = 15 + kPitch * static_cast<double>(rows);
  const double SH = kit::Screen::main()->bounds().height();
  setFrame({kMargin, SH - kBottomOffset, width, height});
  centreOnWindow();
}

void NUVAOptionalGiftView::centreOnWindow() {
  if (auto window = window_.lock()) setCenter(window->center());
}
