// What the main job reads and taps on the client's screens. See
// demo_screens.h.
#include "tools/demo_screens.h"

#include <cstdio>

#include "kit/foundation/values.h"
#include "kit/web/legacy_web_view.h"
#include "kit/web/web_view.h"

namespace demo {

namespace {

// Adds the unpainted web views among `view` and the views inside it, as a
// picture of `window` would show them.
void collectUnpainted(const kit::Ref<kit::View>& view, const kit::Window& window, std::vector<std::string>& found) {
  if (view->isHidden() || view->alpha() <= 0) return;
  const kit::Rect shown = view->convertRectToView(view->bounds(), &window);
  const bool inside = shown.size.width > 0 && shown.size.height > 0 && shown.maxX() > 0 && shown.maxY() > 0 &&
                      shown.minX() < window.bounds().size.width && shown.minY() < window.bounds().size.height;
  if (auto web = std::dynamic_pointer_cast<kit::WebView>(view)) {
    if (inside && web->URL() && !web->documentPainted()) found.push_back(kit::describe(web->URL()));
  } else if (auto legacy = std::dynamic_pointer_cast<kit::LegacyWebView>(view)) {
    if (inside && legacy->request() && !legacy->documentPainted()) {
      found.push_back(kit::describe(legacy->request()->URL()));
    }
  }
  for (const auto& subview : view->subviews()) collectUnpainted(subview, window, found);
}

}  // namespace

std::vector<std::string> unpaintedWebViews() {
  std::vector<std::string> found;
  for (const auto& window : kit::Application::shared()->windows()) {
    if (window->isHidden() || window->alpha() <= 0) continue;
    for (const auto& view : window->subviews()) collectUnpainted(view, *window, found);
  }
  return found;
}

std::string describeFrame(const kit::Rect& r) {
  char text[96];
  std::snprintf(text, sizeof text, "(%.0f, %.0f, %.0f × %.0f)", r.origin.x, r.origin.y, r.size.width,
                r.size.height);
  return text;
}

bool tapNearLeft(const kit::Ref<kit::View>& view) {
  if (!view || !view->window()) return false;
  const kit::Size size = view->bounds().size;
  return kit::test::tapAt(*view->window(), view->convertPointToView({size.width * 0.2, size.height / 2}, nullptr));
}

std::string describeHub(NUVAGMShopHub& hub) {
  std::string tabs;
  for (const auto& id : hub.strArray()) tabs += (tabs.empty() ? "" : ",") + id;
  return "store hub " + std::string(hub.form() == NUVAOverlayForm::Portrait ? "portrait" : "landscape") +
         ": tabs [" + tabs + "], " + std::to_string(hub.gmPane()->menu()->catelogyList()->count()) +
         " GM categories, " + std::to_string(hub.vipPane()->menu()->catelogyList()->count()) + " VIP categories";
}

bool tapHubTab(NUVAGMShopHub& hub, long id) {
  for (const auto& button : hub.btnArray()) {
    if (button->tag() == id) return kit::test::tap(button);
  }
  return false;
}

void closeHub(NUVAGMShopHub& hub) {
  if (hub.closeBtn() && kit::test::tap(hub.closeBtn())) return;
  hub.closeClick();
}

}  // namespace demo
