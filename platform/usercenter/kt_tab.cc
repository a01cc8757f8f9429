// The user centre's segmented switch. See kt_tab.h.
#include "platform/usercenter/kt_tab.h"

#include "kit/dispatch/thread_check.h"
#include "kit/ui/font.h"

kit::Ref<KTTab> KTTab::initWithFrame(const kit::Rect& frame, double lineWidth, kit::Ref<kit::Color> lineColor) {
  auto tab = kit::make<KTTab>(frame);
  tab->setClipsToBounds(true);
  tab->layer()->setBorderWidth(lineWidth);
  tab->layer()->setBorderColor(lineColor);
  tab->lineWidth_ = lineWidth;
  tab->lineColor_ = std::move(lineColor);
  return tab;
}

void KTTab::setItemsWithTitle(const std::vector<std::string>& titles, kit::Ref<kit::Color> normalItemColor,
                              kit::Ref<kit::Color> selectItemColor, kit::Ref<kit::Color> normalTitleColor,
                              kit::Ref<kit::Color> selectTitleColor, double titleTextSize, long selectItemNumber) {
  KIT_CHECK_MAIN_THREAD();
  normalItemColor_ = std::move(normalItemColor);
  selectItemColor_ = std::move(selectItemColor);
  normalTitleColor_ = std::move(normalTitleColor);
  selectTitleColor_ = std::move(selectTitleColor);
  if (titles.empty()) return;
  const double W = frame().size.width / static_cast<double>(titles.size());
  const double H = frame().size.height;
  kit::Weak<KTTab> weak = weakSelf<KTTab>();
  for (size_t i = 0; i < titles.size(); ++i) {
    auto button = kit::Button::make(kit::Rect{W * static_cast<double>(i), 0, W, H});
    button->setTitle(titles[i]);
    button->titleLabel()->setFont(kit::Font::systemFont(titleTextSize));
    button->setTag(FirstTag + static_cast<long>(i));
    const bool selected = static_cast<long>(i) == selectItemNumber;
    button->setTitleColor(selected ? selectTitleColor_ : normalTitleColor_);
    button->setBackgroundColor(selected ? selectItemColor_ : normalItemColor_);
    button->addAction(kit::ControlEvent::TouchUpInside, [weak](kit::Control& sender) {
      auto self = weak.lock();
      if (auto* tapped = dynamic_cast<kit::Button*>(&sender); self && tapped) self->clickedButton(*tapped);
    });
    addSubview(button);
  }
  if (titles.size() == 1) return;
  for (size_t k = 1; k < titles.size(); ++k) {
    auto bar = kit::View::make(kit::Rect{W * static_cast<double>(k) - lineWidth_ / 2, 0, lineWidth_, H});
    bar->setBackgroundColor(lineColor_);
    addSubview(bar);
  }
}

void KTTab::recolour(long selectedTag) {
  for (const auto& view : subviews()) {
    auto button = kit::as<kit::Button>(view);
    if (view->tag() < FirstTag || !button) continue;
    const bool selected = view->tag() == selectedTag;
    button->setTitleColor(selected ? selectTitleColor_ : normalTitleColor_);
    button->setBackgroundColor(selected ? selectItemColor_ : normalItemColor_);
  }
}

void KTTab::clickedButton(kit::Button& button) {
  KIT_CHECK_MAIN_THREAD();
  recolour(button.tag());
  if (auto delegate = this->delegate()) delegate->tabDidSelectedItemNumber(*this, button.tag() - FirstTag);
}

void KTTab::setTabStateIndex(unsigned long index) {
  KIT_CHECK_MAIN_THREAD();
  recolour(static_cast<long>(index) + FirstTag);
}

kit::Ref<kit::Button> KTTab::item(long index) const {
  for (const auto& view : subviews()) {
    if (view->tag() == FirstTag + index) return kit::as<kit::Button>(view);
  }
  return nullptr;
}
