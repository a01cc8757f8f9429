// What the main job reads and taps on the client's screens besides the game
// page: views found in the application's windows, the web views on screen
// that have not drawn their page yet, frames as text, and the store hub's
// tabs, summary and close controls.
#pragma once

#include <string>
#include <vector>

#include "channel/store/nuva_gm_shop_view.h"
#include "kit/ui/application.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace demo {

// A view of this class in any of the application's windows, or nil.
template <class V>
kit::Ref<V> findInWindows() {
  for (const auto& window : kit::Application::shared()->windows()) {
    auto found = kit::test::findViewsOfType<V>(*window);
    if (!found.empty()) return found.front();
  }
  return nullptr;
}

// A view of this class lying directly in the key window, or nil.
template <class V>
kit::Ref<V> onKeyWindow() {
  auto window = kit::Application::shared()->keyWindow();
  if (!window) return nullptr;
  for (const auto& view : window->subviews()) {
    if (auto found = std::dynamic_pointer_cast<V>(view)) return found;
  }
  return nullptr;
}

// The web views a picture of the screen would show now (in a shown window,
// neither they nor a view around them hidden or see-through, inside their
// window) whose page has started loading but has not been drawn yet: each
// as the address of its page. Such a view shows its background or the page
// before, not its page.
std::vector<std::string> unpaintedWebViews();

// "(x, y, w × h)" in whole points.
std::string describeFrame(const kit::Rect& r);

// Taps a view near its left end, through its window (for a control whose
// middle something lies over).
bool tapNearLeft(const kit::Ref<kit::View>& view);

// The store hub: its form, tabs and categories as one line; its tab button
// for a menu id tapped; closed by the portrait hub's corner button, else by
// the open tab's own close control.
std::string describeHub(NUVAGMShopHub& hub);
bool tapHubTab(NUVAGMShopHub& hub, long id);
void closeHub(NUVAGMShopHub& hub);

}  // namespace demo
