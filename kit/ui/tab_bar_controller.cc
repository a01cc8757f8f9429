// Tab bars and the tab bar controller.
#include "kit/ui/tab_bar_controller.h"

#include <algorithm>

#include "kit/ui/label.h"
#include "kit/ui/screen.h"

namespace kit {

// ---- Items -------------------------------------------------------------------------

Ref<TabBarItem> TabBarItem::make(std::string title, Ref<Image> image, long tag) {
  auto item = kit::make<TabBarItem>();
  item->title_ = std::move(title);
  item->image_ = std::move(image);
  item->tag = tag;
  return item;
}

void TabBarItem::setTitle(std::string t) {
  title_ = std::move(t);
  changed();
}

void TabBarItem::setImage(Ref<Image> image) {
  image_ = std::move(image);
  changed();
}

void TabBarItem::setSelectedImage(Ref<Image> image) {
  selectedImage_ = std::move(image);
  changed();
}

void TabBarItem::setBadgeValue(std::string badge) {
  badge_ = std::move(badge);
  changed();
}

void TabBarItem::setEnabled(bool v) {
  enabled_ = v;
  changed();
}

// ---- The bar -------------------------------------------------------------------------

TabBar::TabBar(const Rect& frame) : View(frame) { setBackgroundColor(Color::white(0.97)); }

void TabBar::setItems(std::vector<Ref<TabBarItem>> items) {
  for (auto& item : items_) item->onChange = nullptr;
  items_ = std::move(items);
  Weak<TabBar> weak = std::static_pointer_cast<TabBar>(weak_from_this().lock());
  for (auto& item : items_)
    item->onChange = [weak] {
      if (auto bar = weak.lock()) bar->rebuild();
    };
  if (selected_ >= static_cast<long>(items_.size())) selected_ = items_.empty() ? -1 : 0;
  rebuild();
}

Ref<TabBarItem> TabBar::selectedItem() const {
  if (selected_ < 0 || selected_ >= static_cast<long>(items_.size())) return nullptr;
  return items_[static_cast<size_t>(selected_)];
}

void TabBar::setSelectedIndex(long index) {
  selected_ = index;
  rebuild();
}

void TabBar::setBarTintColor(Ref<Color> c) {
  barTint_ = std::move(c);
  setBackgroundColor(barTint_ ? barTint_ : Color::white(0.97));
}

void TabBar::setUnselectedItemTintColor(Ref<Color> c) {
  unselectedTint_ = std::move(c);
  rebuild();
}

void TabBar::rebuild() {
  for (auto& b : buttons_) b->removeFromSuperview();
  buttons_.clear();
  badges_.clear();
  Weak<TabBar> weak = std::static_pointer_cast<TabBar>(weak_from_this().lock());
  for (size_t i = 0; i < items_.size(); ++i) {
    const auto& item = items_[i];
    const bool selected = static_cast<long>(i) == selected_;
    auto button = Button::make();
    button->setTitle(item->title());
    button->titleLabel()->setFont(Font::systemFont(10));
    button->setTitleColor(selected ? tintColor() : (unselectedTint_ ? unselectedTint_ : Color::white(0.57)));
    button->setImage(selected && item->selectedImage() ? item->selectedImage() : item->image());
    button->setEnabled(item->isEnabled());
    button->setSelected(selected);
    button->setTag(static_cast<long>(i));
    Ref<Label> badge;
    if (!item->badgeValue().empty()) {
      badge = Label::make(Rect{0, 2, 18, 18});
      badge->setText(item->badgeValue());
      badge->setTextAlignment(TextAlignment::Center);
      badge->setFont(Font::systemFont(13));
      badge->setTextColor(Color::whiteColor());
      badge->setBackgroundColor(Color::redColor());
      badge->layer()->setCornerRadius(9);
      badge->setClipsToBounds(true);
      button->addSubview(badge);
    }
    button->addAction(ControlEvent::TouchUpInside, [weak, i] {
      auto bar = weak.lock();
      if (bar && bar->onTap) {
        auto onTap = bar->onTap;
        onTap(static_cast<long>(i));
      }
    });
    buttons_.push_back(button);
    badges_.push_back(badge);
    addSubview(button);
  }
  setNeedsLayout();
  layoutSubviews();
}

void TabBar::layoutSubviews() {
  View::layoutSubviews();
  if (buttons_.empty()) return;
  const double width = bounds().width() / static_cast<double>(buttons_.size());
  for (size_t i = 0; i < buttons_.size(); ++i) {
    buttons_[i]->setFrame(Rect{width * static_cast<double>(i), 0, width, Height});
    if (badges_[i]) badges_[i]->setFrame(Rect{width / 2 + 8, 2, 18, 18});
  }
}

// ---- The controller ----------------------------------------------------------------

const Ref<TabBar>& TabBarController::tabBar() {
  if (!bar_) {
    bar_ = TabBar::make(Rect{0, 0, Screen::main()->bounds().size.width, TabBar::Height});
    bar_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleTopMargin);
    Weak<TabBarController> weak = std::static_pointer_cast<TabBarController>(weak_from_this().lock());
    bar_->onTap = [weak](long index) {
      if (auto self = weak.lock()) self->userSelectIndex(index);
    };
  }
  return bar_;
}

Ref<TabBarItem> TabBarController::tabBarItemFor(const ViewController& controller) {
  for (auto& [weak, item] : items_)
    if (weak.lock().get() == &controller) return item;
  auto item = TabBarItem::make(controller.title());
  items_.emplace_back(std::static_pointer_cast<ViewController>(
                          const_cast<ViewController&>(controller).weak_from_this().lock()),
                      item);
  return item;
}

void TabBarController::setViewControllers(const std::vector<Ref<ViewController>>& controllers) {
  for (auto& old : std::vector<Ref<ViewController>>(childViewControllers())) {
    if (old->isViewLoaded()) old->viewIfLoaded()->removeFromSuperview();
    old->willMoveToParentViewController(nullptr);
    old->removeFromParentViewController();
  }
  std::vector<Ref<TabBarItem>> items;
  for (auto& c : controllers) {
    if (!c) continue;
    addChildViewController(c);
    c->didMoveToParentViewController(this);
    items.push_back(tabBarItemFor(*c));
  }
  items_.erase(std::remove_if(items_.begin(), items_.end(), [](auto& entry) { return entry.first.expired(); }),
               items_.end());
  tabBar()->setItems(std::move(items));
  selected_ = childViewControllers().empty() ? -1 : 0;
  tabBar()->setSelectedIndex(selected_);
  if (isViewLoaded()) showSelected();
}

Ref<ViewController> TabBarController::selectedViewController() const {
  const auto& list = childViewControllers();
  if (selected_ < 0 || selected_ >= static_cast<long>(list.size())) return nullptr;
  return list[static_cast<size_t>(selected_)];
}

void TabBarController::setSelectedIndex(long index) {
  if (index < 0 || index >= static_cast<long>(childViewControllers().size())) return;
  selected_ = index;
  tabBar()->setSelectedIndex(index);
  if (isViewLoaded()) showSelected();
}

void TabBarController::setSelectedViewController(const Ref<ViewController>& controller) {
  const auto& list = childViewControllers();
  auto it = std::find(list.begin(), list.end(), controller);
  if (it != list.end()) setSelectedIndex(static_cast<long>(it - list.begin()));
}

void TabBarController::userSelectIndex(long index) {
  const auto& list = childViewControllers();
  if (index < 0 || index >= static_cast<long>(list.size())) return;
  Ref<ViewController> target = list[static_cast<size_t>(index)];
  Ref<TabBarControllerDelegate> d = delegate.lock();
  if (d && !d->shouldSelectViewController(*this, *target)) return;
  setSelectedIndex(index);
  if (d) d->didSelectViewController(*this, *target);
}

Rect TabBarController::contentFrame() {
  Rect b = view()->bounds();
  const double barHeight = TabBar::Height + view()->safeAreaInsets().bottom;
  b.size.height = std::max(0.0, b.size.height - barHeight);
  return b;
}

void TabBarController::showSelected() {
  Ref<ViewController> selected = selectedViewController();
  for (auto& c : childViewControllers())
    if (c != selected && c->isViewLoaded() && c->viewIfLoaded()->superview().get() == view().get())
      c->viewIfLoaded()->removeFromSuperview();
  if (selected) {
    const Ref<View>& v = selected->view();
    v->setFrame(contentFrame());
    v->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    if (v->superview().get() != view().get()) view()->insertSubviewBelow(v, tabBar().get());
  }
}

void TabBarController::loadView() {
  auto view = View::make(Screen::main()->bounds());
  setView(view);
  const Rect b = view->bounds();
  tabBar()->setFrame(Rect{0, b.height() - TabBar::Height, b.width(), TabBar::Height});
  view->addSubview(tabBar());
  showSelected();
}

void TabBarController::viewDidLayoutSubviews() {
  const Rect b = view()->bounds();
  const double bottom = view()->safeAreaInsets().bottom;
  tabBar()->setFrame(Rect{0, b.height() - TabBar::Height - bottom, b.width(), TabBar::Height + bottom});
  if (auto selected = selectedViewController(); selected && selected->isViewLoaded())
    selected->viewIfLoaded()->setFrame(contentFrame());
}

bool TabBarController::shouldAutorotate() const {
  auto selected = selectedViewController();
  return selected ? selected->shouldAutorotate() : true;
}

unsigned TabBarController::supportedInterfaceOrientations() const {
  auto selected = selectedViewController();
  return selected ? selected->supportedInterfaceOrientations() : OrientationMaskAllButUpsideDown;
}

}  // namespace kit
