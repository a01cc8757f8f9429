// Navigation bars, their items and bar button items.
#include "kit/ui/navigation_bar.h"

#include <algorithm>

#include "kit/ui/image_view.h"

namespace kit {

namespace {

constexpr double kEdge = 8;
constexpr double kGap = 8;

}  // namespace

// ---- Bar button items ------------------------------------------------------------

Ref<BarButtonItem> BarButtonItem::withCustomView(Ref<View> view) {
  auto item = kit::make<BarButtonItem>();
  item->customView_ = std::move(view);
  return item;
}

Ref<BarButtonItem> BarButtonItem::withTitle(std::string title, std::function<void()> action, BarButtonItemStyle style) {
  auto item = kit::make<BarButtonItem>();
  item->title_ = std::move(title);
  item->action = std::move(action);
  item->style_ = style;
  return item;
}

Ref<BarButtonItem> BarButtonItem::withImage(Ref<Image> image, std::function<void()> action, BarButtonItemStyle style) {
  auto item = kit::make<BarButtonItem>();
  item->image_ = std::move(image);
  item->action = std::move(action);
  item->style_ = style;
  return item;
}

Ref<View> BarButtonItem::viewForBar(const Ref<Color>& barTint) {
  if (customView_) return customView_;
  if (!button_) {
    button_ = Button::make();
    // The action is read when tapped, so a later assignment counts.
    Weak<BarButtonItem> weak = std::static_pointer_cast<BarButtonItem>(weak_from_this().lock());
    button_->addAction(ControlEvent::TouchUpInside, [weak] {
      auto self = weak.lock();
      if (self && self->enabled_ && self->action) {
        auto action = self->action;
        action();
      }
    });
  }
  const Ref<Color> tint = tint_ ? tint_ : barTint;
  button_->setTitle(title_);
  button_->setImage(image_);
  if (tint) button_->setTitleColor(tint);
  button_->titleLabel()->setFont(style_ == BarButtonItemStyle::Done ? Font::boldSystemFont(17) : Font::systemFont(17));
  button_->setEnabled(enabled_);
  button_->sizeToFit();
  Rect f = button_->frame();
  f.size.width = width_ > 0 ? width_ : std::max(f.size.width, 44.0);
  f.size.height = NavigationBar::Height;
  button_->setFrame(f);
  return button_;
}

// ---- Navigation items ------------------------------------------------------------

void NavigationItem::setTitle(std::string t) {
  title_ = std::move(t);
  changed();
}

void NavigationItem::setTitleView(Ref<View> v) {
  titleView_ = std::move(v);
  changed();
}

void NavigationItem::setLeftBarButtonItem(Ref<BarButtonItem> item) {
  left_ = item;
  lefts_.clear();
  if (item) lefts_.push_back(std::move(item));
  changed();
}

void NavigationItem::setRightBarButtonItem(Ref<BarButtonItem> item) {
  right_ = item;
  rights_.clear();
  if (item) rights_.push_back(std::move(item));
  changed();
}

void NavigationItem::setLeftBarButtonItems(std::vector<Ref<BarButtonItem>> items) {
  lefts_ = std::move(items);
  left_ = lefts_.empty() ? nullptr : lefts_.front();
  changed();
}

void NavigationItem::setRightBarButtonItems(std::vector<Ref<BarButtonItem>> items) {
  rights_ = std::move(items);
  right_ = rights_.empty() ? nullptr : rights_.front();
  changed();
}

void NavigationItem::setBackBarButtonItem(Ref<BarButtonItem> item) {
  back_ = std::move(item);
  changed();
}

void NavigationItem::setHidesBackButton(bool v) {
  hidesBack_ = v;
  changed();
}

// ---- The bar ---------------------------------------------------------------------

NavigationBar::NavigationBar(const Rect& frame) : View(frame) {
  background_ = View::make(bounds());
  background_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  background_->setUserInteractionEnabled(false);
  background_->setBackgroundColor(Color::white(0.97));
  addSubview(background_);
  shadow_ = View::make(Rect{0, bounds().height() - 0.5, bounds().width(), 0.5});
  shadow_->setBackgroundColor(Color::white(0, 0.3));
  shadow_->setUserInteractionEnabled(false);
  addSubview(shadow_);
}

void NavigationBar::setBarTintColor(Ref<Color> c) {
  barTint_ = std::move(c);
  background_->setBackgroundColor(barTint_ ? barTint_
                                           : (barStyle_ == BarStyle::Black ? Color::white(0.1) : Color::white(0.97)));
}

void NavigationBar::setBarStyle(BarStyle s) {
  barStyle_ = s;
  setBarTintColor(barTint_);
  refresh();
}

void NavigationBar::setTitleFont(Ref<Font> f) {
  titleFont_ = std::move(f);
  refresh();
}

void NavigationBar::setTitleColor(Ref<Color> c) {
  titleColor_ = std::move(c);
  refresh();
}

void NavigationBar::setBackgroundImage(Ref<Image> image) {
  backgroundImage_ = std::move(image);
  for (auto& sub : std::vector<Ref<View>>(background_->subviews())) sub->removeFromSuperview();
  if (backgroundImage_) {
    auto view = ImageView::make(background_->bounds());
    view->setImage(backgroundImage_);
    view->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    background_->addSubview(view);
  }
}

void NavigationBar::setHidesShadow(bool v) {
  hidesShadow_ = v;
  shadow_->setHidden(v);
}

void NavigationBar::setItems(std::vector<Ref<NavigationItem>> items) {
  if (auto old = topItem()) old->onChange = nullptr;
  items_ = std::move(items);
  if (auto top = topItem()) {
    Weak<NavigationBar> weak = std::static_pointer_cast<NavigationBar>(weak_from_this().lock());
    top->onChange = [weak] {
      if (auto bar = weak.lock()) bar->refresh();
    };
  }
  refresh();
}

void NavigationBar::refresh() {
  if (titleShown_) titleShown_->removeFromSuperview();
  if (backButtonShown_) backButtonShown_->removeFromSuperview();
  for (auto& v : leftShown_) v->removeFromSuperview();
  for (auto& v : rightShown_) v->removeFromSuperview();
  titleShown_.reset();
  backButtonShown_.reset();
  leftShown_.clear();
  rightShown_.clear();
  Ref<NavigationItem> top = topItem();
  if (!top) return;
  const Ref<Color> tint = tintColor();

  if (top->titleView()) {
    titleShown_ = top->titleView();
  } else if (!top->title().empty()) {
    auto label = Label::make();
    label->setText(top->title());
    label->setTextAlignment(TextAlignment::Center);
    label->setFont(titleFont_ ? titleFont_ : Font::boldSystemFont(17));
    label->setTextColor(titleColor_ ? titleColor_
                                    : (barStyle_ == BarStyle::Black ? Color::whiteColor() : Color::blackColor()));
    titleShown_ = label;
  }
  if (titleShown_) addSubview(titleShown_);

  for (const auto& item : top->leftBarButtonItems()) leftShown_.push_back(item->viewForBar(tint));
  if (leftShown_.empty() && !top->hidesBackButton()) {
    if (Ref<NavigationItem> below = backItem()) {
      std::string title = below->backBarButtonItem() ? below->backBarButtonItem()->title() : below->title();
      if (title.empty()) title = "Back";
      auto back = Button::make();
      back->setTitle("\u2039 " + title);
      back->setTitleColor(tint);
      back->sizeToFit();
      back->setFrame(Rect{kEdge, 0, std::max(44.0, back->frame().width()), Height});
      Weak<NavigationBar> weak = std::static_pointer_cast<NavigationBar>(weak_from_this().lock());
      back->addAction(ControlEvent::TouchUpInside, [weak] {
        auto bar = weak.lock();
        if (bar && bar->onBack) {
          auto onBack = bar->onBack;
          onBack();
        }
      });
      backButtonShown_ = back;
      addSubview(back);
    }
  }
  for (const auto& item : top->rightBarButtonItems()) rightShown_.push_back(item->viewForBar(tint));
  for (auto& v : leftShown_) addSubview(v);
  for (auto& v : rightShown_) addSubview(v);
  placeItems();
}

void NavigationBar::placeItems() {
  const Rect b = bounds();
  double left = kEdge;
  if (backButtonShown_) left = backButtonShown_->frame().maxX() + kGap;
  for (auto& v : leftShown_) {
    Rect f = v->frame();
    f.origin = {left, (b.height() - f.height()) / 2};
    v->setFrame(f);
    left = f.maxX() + kGap;
  }
  double right = b.width() - kEdge;
  for (auto& v : rightShown_) {
    Rect f = v->frame();
    f.origin = {right - f.width(), (b.height() - f.height()) / 2};
    v->setFrame(f);
    right = f.minX() - kGap;
  }
  if (!titleShown_) return;
  if (titleShown_ == topItem()->titleView()) {
    titleShown_->setCenter({b.width() / 2, b.height() / 2});
  } else {
    // The title is centred on the bar, within what the items leave.
    const double half = std::max(0.0, std::min(b.width() / 2 - left, right - b.width() / 2));
    titleShown_->setFrame(Rect{b.width() / 2 - half, 0, 2 * half, b.height()});
  }
}

void NavigationBar::layoutSubviews() {
  View::layoutSubviews();
  const Rect b = bounds();
  shadow_->setFrame(Rect{0, b.height() - 0.5, b.width(), 0.5});
  placeItems();
}

}  // namespace kit
