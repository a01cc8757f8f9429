// What the main job reads and taps on the client's screens. See
// demo_screens.h.
#include "tools/demo_screens.h"

#include <cstdio>

namespace demo {

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
