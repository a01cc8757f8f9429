// The draw-result pop-ups. See nuva_turn_gift_pop_view.h.

#include "channel/hall/nuva_turn_gift_pop_view.h"

#include <cmath>

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/hall/nuva_hall_records.h"
#include "channel/hall/nuva_hall_support.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/window.h"

namespace {

// The name plates' colour.
kit::Ref<kit::Color> plateColour() { return kit::Color::hex(0xEEC076); }

kit::Ref<kit::Label> plate(const kit::Rect& frame, double fontSize) {
  auto label = kit::Label::make(frame);
  label->setFont(kit::Font::systemFont(fontSize));
  label->setTextColor(kit::Color::whiteColor());
  label->setTextAlignment(kit::TextAlignment::Center);
  label->setNumberOfLines(0);
  label->setClipsToBounds(true);
  label->layer()->setCornerRadius(4);
  label->setBackgroundColor(plateColour());
  return label;
}

}  // namespace

// ---- Shared ----------------------------------------------------------------------------------

void NUVATurnGiftPopUp::buildFrame(const char* backgroundName, const kit::Rect& background,
                                   const kit::Rect& close, const kit::Rect& get, kit::Size size) {
  size_ = size;
  background_ = kit::ImageView::make(background);
  background_->setImage(NUVALightImage(backgroundName));
  addSubview(background_);

  kit::Weak<NUVATurnGiftPopUp> weak = weakSelf<NUVATurnGiftPopUp>();
  closeButton_ = kit::Button::make(close);
  closeButton_->setBackgroundImage(NUVALightImage("onegiftclose"), kit::ControlStateNormal);
  closeButton_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->closeClick();
  });
  addSubview(closeButton_);

  getButton_ = kit::Button::make(get);
  getButton_->setBackgroundImage(NUVALightImage("onegiftget"), kit::ControlStateNormal);
  getButton_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->getClick();
  });
  addSubview(getButton_);
}

void NUVATurnGiftPopUp::show() {
  KIT_CHECK_MAIN_THREAD();
  auto window = kit::Application::shared()->keyWindow();
  if (!window || coverView_) return;
  window->makeKeyAndVisible();
  coverView_ = NUVAHallSupport::attachCover(window);
  setFrame({0, 0, size_.width, size_.height});
  setCenter({window->bounds().midX(), window->bounds().midY()});
  window->addSubview(selfAs<NUVATurnGiftPopUp>());
}

void NUVATurnGiftPopUp::closeClick() {
  if (auto block = std::move(closeBlock_)) {
    closeBlock_ = nullptr;
    block();
  }
  auto self = selfAs<NUVATurnGiftPopUp>();
  kit::Queue::main().async([self] {
    if (self->coverView_) self->coverView_->removeFromSuperview();
    self->removeFromSuperview();
  });
}

// ---- One draw --------------------------------------------------------------------------------

kit::Ref<NUVATurnOneGiftPopView> NUVATurnOneGiftPopView::init() {
  auto view = kit::make<NUVATurnOneGiftPopView>();
  view->build();
  return view;
}

void NUVATurnOneGiftPopView::build() {
  constexpr double kWidth = 228, kHeight = 200;
  buildFrame("onegiftbg", {0, 0, kWidth, kHeight}, {224, 18, 32, 32}, {36, kHeight - 55, kWidth - 72, 52},
             {256, 200});
  iconImg_ = kit::ImageView::make({(kWidth - 62) / 2, 32, 62, 62});
  iconImg_->setImage(NUVALightImage("onegifticonbg"));
  addSubview(iconImg_);
  nameLabel_ = plate({5, iconImg_->frame().maxY(), 218, 12}, 10);
  addSubview(nameLabel_);
}

void NUVATurnOneGiftPopView::setName(const kit::Ref<kit::String>& name) {
  KIT_CHECK_MAIN_THREAD();
  name_ = name;
  // The name sits on a plate: blanks or a number would show it empty.
  const std::string text = kit::readableText(name);
  nameLabel_->setText(text);
  const kit::Size measured = NUVAHallSupport::measure(text, kit::Font::systemFont(10), 200);
  const double h = std::ceil(measured.height) + 5, w = std::ceil(measured.width) + 1;
  const double L = w > 200 ? 218 : w + 18;
  nameLabel_->setFrame({(228 - L) / 2, iconImg_->frame().maxY(), L, h});
}

void NUVATurnOneGiftPopView::setIconUrl(const kit::Ref<kit::String>& iconUrl) {
  KIT_CHECK_MAIN_THREAD();
  iconUrl_ = iconUrl;
  kit::Weak<NUVATurnOneGiftPopView> weak = weakSelf<NUVATurnOneGiftPopView>();
  NUVAHallSupport::loadPicture(iconImg_, iconUrl, [weak]() -> std::string {
    auto self = weak.lock();
    return self ? kit::describe(self->iconUrl_) : std::string();
  });
}

// ---- Five draws ------------------------------------------------------------------------------

void NUVATurnFiveGiftPopUp::setProp_listArray(const kit::Ref<kit::Array>& prizes) {
  KIT_CHECK_MAIN_THREAD();
  for (const auto& tile : tiles_) tile->removeFromSuperview();
  tiles_.clear();
  prop_listArray_ = kit::MutableArray::make();
  if (!prizes) return;
  prop_listArray_->addObjectsFromArray(*prizes);
  size_t i = 0;
  for (const kit::Id& entry : *prop_listArray_) {
    auto prize = NUVATurnTableModel::withValues(entry);
    auto tile = kit::View::make(tileFrame(i++));
    addSubview(tile);
    auto icon = kit::ImageView::make({0, 0, 62, 62});
    tile->addSubview(icon);
    NUVAHallSupport::loadPicture(icon, prize->icon());
    const std::string text = NUVADataFormat::prizeCaption(prize->name(), prize->amount());
    const double h = std::ceil(NUVAHallSupport::measure(text, kit::Font::systemFont(8), 62).height) + 5;
    auto label = plate({0, 65, 62, h}, 8);
    label->setText(text);
    tile->addSubview(label);
    tiles_.push_back(tile);
  }
}

kit::Ref<NUVATurnFiveGiftPopView> NUVATurnFiveGiftPopView::init() {
  auto view = kit::make<NUVATurnFiveGiftPopView>();
  view->buildFrame("fivegiftbg", {0, 0, 478, 275}, {474, 18, 32, 32}, {(478 - 150) / 2.0, 275 - 55, 150, 52},
                   {506, 275});
  return view;
}

kit::Rect NUVATurnFiveGiftPopView::tileFrame(size_t i) const {
  return {48 + 80 * static_cast<double>(i), 60, 62, 180};
}

kit::Ref<NUVAVETurnFiveGiftPopView> NUVAVETurnFiveGiftPopView::init() {
  auto view = kit::make<NUVAVETurnFiveGiftPopView>();
  view->buildFrame("vefivegiftbg", {0, 0, 326, 316}, {322, 18, 32, 32}, {(326 - 150) / 2.0, 316 - 55, 150, 52},
                   {354, 316});
  return view;
}

kit::Rect NUVAVETurnFiveGiftPopView::tileFrame(size_t i) const {
  const double d = static_cast<double>(i);
  if (i < 2) return {94 + 98 * d, 40, 62, 80};
  return {92 * d - 139, 130, 62, 80};
}
