// kit::NavigationBar, kit::NavigationItem and kit::BarButtonItem: the bar
// at the top of a navigation stack and what it shows. The bar shows its
// top item: the item's title view (or its title, in bold, centred), its
// left items (or a back button titled after the item below, unless the
// item hides it) and its right items. Bar button items are custom views or
// buttons made from a title or an image, tinted with the bar's tint. The
// bar refreshes itself when the top item changes.
//
//   auto back = kit::Button::make(kit::Rect{0, 0, 44, 44});
//   vc->navigationItem().setLeftBarButtonItem(kit::BarButtonItem::withCustomView(back));
//   nav->navigationBar()->setBarTintColor(kit::Color::hex(0xFF7F00));
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kit/graphics/image.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

namespace kit {

enum class BarButtonItemStyle { Plain = 0, Bordered, Done };
enum class BarStyle { Default = 0, Black };

// A button of a navigation bar: a custom view, or a title or image with an
// action.
class BarButtonItem : public Object {
 public:
  static Ref<BarButtonItem> withCustomView(Ref<View> view);
  static Ref<BarButtonItem> withTitle(std::string title, std::function<void()> action,
                                      BarButtonItemStyle style = BarButtonItemStyle::Plain);
  static Ref<BarButtonItem> withImage(Ref<Image> image, std::function<void()> action,
                                      BarButtonItemStyle style = BarButtonItemStyle::Plain);
  const Ref<View>& customView() const { return customView_; }
  void setCustomView(Ref<View> v) { customView_ = std::move(v); }
  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }
  const Ref<Image>& image() const { return image_; }
  void setImage(Ref<Image> image) { image_ = std::move(image); }
  BarButtonItemStyle style() const { return style_; }
  void setStyle(BarButtonItemStyle s) { style_ = s; }
  const Ref<Color>& tintColor() const { return tint_; }
  void setTintColor(Ref<Color> c) { tint_ = std::move(c); }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool v) { enabled_ = v; }
  // 0: the content's width.
  double width() const { return width_; }
  void setWidth(double w) { width_ = w; }
  long tag = 0;
  std::function<void()> action;

  // The view the bar shows for the item: the custom view, else a button
  // made for it (kept while the item lives).
  Ref<View> viewForBar(const Ref<Color>& barTint);

 private:
  Ref<View> customView_;
  Ref<Button> button_;
  std::string title_;
  Ref<Image> image_;
  BarButtonItemStyle style_ = BarButtonItemStyle::Plain;
  Ref<Color> tint_;
  bool enabled_ = true;
  double width_ = 0;
};

class NavigationItem : public Object {
 public:
  const std::string& title() const { return title_; }
  void setTitle(std::string t);
  const Ref<View>& titleView() const { return titleView_; }
  void setTitleView(Ref<View> v);
  const Ref<BarButtonItem>& leftBarButtonItem() const { return left_; }
  void setLeftBarButtonItem(Ref<BarButtonItem> item);
  const Ref<BarButtonItem>& rightBarButtonItem() const { return right_; }
  void setRightBarButtonItem(Ref<BarButtonItem> item);
  // Several items per side, the first outermost.
  const std::vector<Ref<BarButtonItem>>& leftBarButtonItems() const { return lefts_; }
  void setLeftBarButtonItems(std::vector<Ref<BarButtonItem>> items);
  const std::vector<Ref<BarButtonItem>>& rightBarButtonItems() const { return rights_; }
  void setRightBarButtonItems(std::vector<Ref<BarButtonItem>> items);
  // The back button shown by the item above this one (its title, else this
  // item's title, else "Back").
  const Ref<BarButtonItem>& backBarButtonItem() const { return back_; }
  void setBackBarButtonItem(Ref<BarButtonItem> item);
  bool hidesBackButton() const { return hidesBack_; }
  void setHidesBackButton(bool v);
  // Told when the item changes (the bar that shows it refreshes).
  std::function<void()> onChange;

 private:
  void changed() {
    if (onChange) onChange();
  }
  std::string title_;
  Ref<View> titleView_;
  Ref<BarButtonItem> left_, right_, back_;
  std::vector<Ref<BarButtonItem>> lefts_, rights_;
  bool hidesBack_ = false;
};

class NavigationBar : public View {
 public:
  static Ref<NavigationBar> make(const Rect& frame = {}) { return kit::make<NavigationBar>(frame); }
  explicit NavigationBar(const Rect& frame = {});

  // The bar's background colour (nil: the default near-white).
  const Ref<Color>& barTintColor() const { return barTint_; }
  void setBarTintColor(Ref<Color> c);
  bool isTranslucent() const { return translucent_; }
  void setTranslucent(bool v) { translucent_ = v; }
  BarStyle barStyle() const { return barStyle_; }
  void setBarStyle(BarStyle s);
  // The title's font and colour (nil: bold 17 in black, white on black bars).
  const Ref<Font>& titleFont() const { return titleFont_; }
  void setTitleFont(Ref<Font> f);
  const Ref<Color>& titleColor() const { return titleColor_; }
  void setTitleColor(Ref<Color> c);
  const Ref<Image>& backgroundImage() const { return backgroundImage_; }
  void setBackgroundImage(Ref<Image> image);
  // Hides the hairline at the bottom.
  bool hidesShadow() const { return hidesShadow_; }
  void setHidesShadow(bool v);

  // ---- Items (the navigation controller keeps them in step with its stack)
  const std::vector<Ref<NavigationItem>>& items() const { return items_; }
  void setItems(std::vector<Ref<NavigationItem>> items);
  Ref<NavigationItem> topItem() const { return items_.empty() ? nullptr : items_.back(); }
  Ref<NavigationItem> backItem() const { return items_.size() < 2 ? nullptr : items_[items_.size() - 2]; }
  // Called when the back button is tapped.
  std::function<void()> onBack;

  // The views shown now: the title (a label or the title view), the back
  // button (nil when none shows), and the item views of each side.
  const Ref<View>& titleViewShown() const { return titleShown_; }
  const Ref<Button>& backButton() const { return backButtonShown_; }
  const std::vector<Ref<View>>& leftViews() const { return leftShown_; }
  const std::vector<Ref<View>>& rightViews() const { return rightShown_; }

  static constexpr double Height = 44;
  void tintColorDidChange() override { refresh(); }
  void layoutSubviews() override;
  // Rebuilds the shown views from the top item.
  void refresh();

 private:
  void placeItems();

  Ref<Color> barTint_;
  bool translucent_ = true;
  BarStyle barStyle_ = BarStyle::Default;
  Ref<Font> titleFont_;
  Ref<Color> titleColor_;
  Ref<Image> backgroundImage_;
  Ref<View> background_, shadow_;
  bool hidesShadow_ = false;
  std::vector<Ref<NavigationItem>> items_;
  Ref<View> titleShown_;
  Ref<Button> backButtonShown_;
  std::vector<Ref<View>> leftShown_, rightShown_;
};

}  // namespace kit
