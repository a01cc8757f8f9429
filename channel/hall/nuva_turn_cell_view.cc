// The prize cell. See nuva_turn_cell_view.h.

#include "channel/hall/nuva_turn_cell_view.h"

#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_store_overlays.h"
#include "channel/hall/nuva_hall_support.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/values.h"
#include "kit/ui/font.h"

namespace {
constexpr double kTipSeconds = 1.0;
}  // namespace

kit::Ref<NUVATurnCellView> NUVATurnCellView::initWithFrame(const kit::Rect& frame) {
  auto cell = kit::make<NUVATurnCellView>(frame);
  cell->commonInit();
  return cell;
}

void NUVATurnCellView::commonInit() {
  icon_ = kit::ImageView::make({22, 40, 36, 36});
  addSubview(icon_);

  num_ = kit::Label::make({0, 70, 80, 12});
  num_->setFont(kit::Font::boldSystemFont(10));
  num_->setTextColor(kit::Color::whiteColor());
  num_->setTextAlignment(kit::TextAlignment::Center);
  // The amount stands out of any prize picture behind it.
  num_->layer()->setShadowColor(kit::Color::blackColor());
  num_->layer()->setShadowOpacity(1);
  num_->layer()->setShadowRadius(1);
  num_->layer()->setShadowOffset({-1, 1});
  addSubview(num_);

  selectBtn_ = kit::Button::make({-2, 20, 85, 75});
  selectBtn_->setBackgroundImage(NUVALightImage("turnablechoose"), kit::ControlStateSelected);
  kit::Weak<NUVATurnCellView> weak = weakSelf<NUVATurnCellView>();
  selectBtn_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->tapCellView();
  });
  addSubview(selectBtn_);
}

void NUVATurnCellView::setModel(kit::Ref<NUVATurnTableModel> model) {
  KIT_CHECK_MAIN_THREAD();
  model_ = std::move(model);
  icon_->setImage(nullptr);
  if (!model_) {
    num_->setText("");
    return;
  }
  kit::Weak<NUVATurnCellView> weak = weakSelf<NUVATurnCellView>();
  NUVAHallSupport::loadPicture(icon_, model_->icon(), [weak]() -> std::string {
    auto self = weak.lock();
    return self && self->model_ ? kit::describe(self->model_->icon()) : std::string();
  });
  // An amount that shows nothing (unset, a flag, a number that is none)
  // leaves the count out, as a missing one does.
  const std::string amount = kit::shownText(model_->amount());
  num_->setText(amount.empty() ? std::string() : "×" + amount);
}

kit::Ref<kit::Label> NUVATurnCellView::tipLabel(const kit::Id& name) {
  auto tip = kit::Label::make();
  tip->setTextColor(kit::Color::whiteColor());
  tip->setFont(kit::Font::systemFont(10));
  tip->setClipsToBounds(true);
  tip->layer()->setCornerRadius(4);
  tip->setTextAlignment(kit::TextAlignment::Center);
  tip->setBackgroundColor(kit::Color::white(0, 0.5));
  tip->setText(kit::readableText(name));
  tip->sizeToFit();
  return tip;
}

void NUVATurnCellView::tapCellView() {
  KIT_CHECK_MAIN_THREAD();
  removeTips();
  auto face = superview();
  // A prize without a readable name has no tip: its dark plate would show
  // empty.
  if (!face || !model_ || kit::readableText(model_->name()).empty()) return;
  auto tip = tipLabel(model_->name());
  const kit::Size fitted = tip->bounds().size;
  const kit::Point origin = selectBtn_->convertRectToView(selectBtn_->bounds(), nullptr).origin;
  const bool portrait = NUVAStoreOverlays::currentForm() == NUVAOverlayForm::Portrait;
  const kit::Point at = portrait ? kit::Point{origin.x - 20, origin.y - 160} : kit::Point{origin.x - 160, origin.y - 20};
  tip->setFrame({at.x, at.y, fitted.width + 10, fitted.height + 5});
  face->addSubview(tip);
  tipsArray_.push_back(tip);
  kit::Weak<NUVATurnCellView> weak = weakSelf<NUVATurnCellView>();
  kit::RunLoop::main().performAfter(this, "removeTips", nullptr, kTipSeconds, [weak] {
    if (auto self = weak.lock()) self->removeTips();
  });
}

void NUVATurnCellView::removeTips() {
  for (const auto& tip : tipsArray_) tip->removeFromSuperview();
  tipsArray_.clear();
}
