// kit::TabBarController, kit::TabBar and kit::TabBarItem: a container that
// shows one of its child controllers above a bar of buttons, one per
// child. A tap on a button asks the delegate, swaps the shown child (the
// others keep their views, out of the hierarchy) and tells the delegate.
// The bar is 49 points high plus the window's unsafe bottom edge.
//
//   auto tabs = kit::make<kit::TabBarController>();
//   tabs->setViewControllers({home, kaifu, welfare});
//   tabs->tabBar()->items()[1]->setBadgeValue("3");
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kit/graphics/image.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/view_controller.h"

namespace kit {

class TabBarController;

class TabBarItem : public Object {
 public:
  static Ref<TabBarItem> make(std::string title, Ref<Image> image = nullptr, long tag = 0);
  const std::string& title() const { return title_; }
  void setTitle(std::string t);
  const Ref<Image>& image() const { return image_; }
  void setImage(Ref<Image> image);
  const Ref<Image>& selectedImage() const { return selectedImage_; }
  void setSelectedImage(Ref<Image> image);
  // Empty: no badge.
  const std::string& badgeValue() const { return badge_; }
  void setBadgeValue(std::string badge);
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool v);
  long tag = 0;
  std::function<void()> onChange;

 private:
  void changed() {
    if (onChange) onChange();
  }
  std::string title_, badge_;
  Ref<Image> image_, selectedImage_;
  bool enabled_ = true;
};

class TabBar : public View {
 public:
  static Ref<TabBar> make(const Rect& frame = {}) { return kit::make<TabBar>(frame); }
  explicit TabBar(const Rect& frame = {});

  const std::vector<Ref<TabBarItem>>& items() const { return items_; }
  void setItems(std::vector<Ref<TabBarItem>> items);
  Ref<TabBarItem> selectedItem() const;
  void setSelectedIndex(long index);
  long selectedIndex() const { return selected_; }
  const Ref<Color>& barTintColor() const { return barTint_; }
  void setBarTintColor(Ref<Color> c);
  const Ref<Color>& unselectedItemTintColor() const { return unselectedTint_; }
  void setUnselectedItemTintColor(Ref<Color> c);
  // The button of each item, in order, and its badge label (nil without).
  const std::vector<Ref<Button>>& buttons() const { return buttons_; }
  const std::vector<Ref<Label>>& badges() const { return badges_; }
  // Told the index of a tapped enabled item.
  std::function<void(long)> onTap;

  static constexpr double Height = 49;
  void layoutSubviews() override;
  void tintColorDidChange() override { rebuild(); }

 private:
  void rebuild();
  std::vector<Ref<TabBarItem>> items_;
  std::vector<Ref<Button>> buttons_;
  std::vector<Ref<Label>> badges_;
  long selected_ = -1;
  Ref<Color> barTint_, unselectedTint_;
};

class TabBarControllerDelegate {
 public:
  virtual ~TabBarControllerDelegate() = default;
  virtual bool shouldSelectViewController(TabBarController&, ViewController&) { return true; }
  virtual void didSelectViewController(TabBarController&, ViewController&) {}
};

class TabBarController : public ViewController {
 public:
  TabBarController() = default;
  Weak<TabBarControllerDelegate> delegate;

  // Each controller gets an item titled after it, unless it has one here.
  void setViewControllers(const std::vector<Ref<ViewController>>& controllers);
  const std::vector<Ref<ViewController>>& viewControllers() const { return childViewControllers(); }
  long selectedIndex() const { return selected_; }
  // Shows that child (the delegate is not asked, as on the platform).
  void setSelectedIndex(long index);
  Ref<ViewController> selectedViewController() const;
  void setSelectedViewController(const Ref<ViewController>& controller);
  const Ref<TabBar>& tabBar();
  // The item of a child (made on first use from its title).
  Ref<TabBarItem> tabBarItemFor(const ViewController& controller);
  // What a tap on the item at `index` does: asks, selects, tells.
  void userSelectIndex(long index);

  void loadView() override;
  void viewDidLayoutSubviews() override;
  bool shouldAutorotate() const override;
  unsigned supportedInterfaceOrientations() const override;

 private:
  Rect contentFrame();
  void showSelected();

  Ref<TabBar> bar_;
  std::vector<std::pair<Weak<ViewController>, Ref<TabBarItem>>> items_;
  long selected_ = -1;
};

}  // namespace kit
