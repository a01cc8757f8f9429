// A gtest fixture for the hall's views: the store views' fixture (screen,
// test bundle with the channel artwork, the simulated game server, a key
// window, a virtual clock, HUD texts) that also records the resource order
// notifications, which come from the session's queue.
// Header-only: included by the hall's tests alone.
#pragma once

#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_store_overlays.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/render.h"

#include <algorithm>
#include <cstdlib>

class HallFixture : public StoreFixture {
 protected:
  explicit HallFixture(kit::DeviceProfile device = kit::DeviceProfile::phone667x375()) : StoreFixture(device) {}

  void SetUp() override {
    StoreFixture::SetUp();
    tokens.push_back(kit::NotificationCenter::defaultCenter()->addObserverForName(
        NUVAResourcePAYNotification, nullptr, [this](const kit::Ref<kit::Notification>& n) {
          std::lock_guard lock(mutex);
          orders.push_back({NUVAResourcePAYNotification, n->object(), n->userInfo()});
        }));
  }

  // A game page of sharp black and white stripes, 4 points each, filling
  // the window under whatever opens next.
  kit::Ref<kit::View> layStripedPage() {
    auto page = kit::View::make(window->bounds());
    page->setBackgroundColor(kit::Color::blackColor());
    for (double x = 0; x < window->bounds().width(); x += 8) {
      auto stripe = kit::View::make(kit::Rect{x, 0, 4, window->bounds().height()});
      stripe->setBackgroundColor(kit::Color::whiteColor());
      page->addSubview(stripe);
    }
    window->addSubview(page);
    return page;
  }
  // How sharply the stripes show in a band of a picture of the window (in
  // points): the largest difference in brightness between two points one
  // stripe apart. Small where the page lies blurred.
  static int stripeContrast(const kit::Bitmap& picture, double scale, const kit::Rect& band) {
    auto luma = [&](double x, double y) {
      const kit::Pixel p = picture.pixelAt(static_cast<size_t>(x * scale), static_cast<size_t>(y * scale));
      return (p.r * 3 + p.g * 6 + p.b) / 10;
    };
    int most = 0;
    for (double y = band.minY(); y < band.maxY(); y += 10) {
      for (double x = band.minX(); x + 4 < band.maxX(); x += 1 / scale) {
        most = std::max(most, std::abs(luma(x, y) - luma(x + 4, y)));
      }
    }
    return most;
  }

  // The picture's name of the bundle image a view shows (or "" for none).
  static bool shows(const kit::Ref<kit::Image>& image, const char* name) {
    auto expected = NUVALightImage(name);
    return image && expected && image->pngData() == expected->pngData();
  }
};
