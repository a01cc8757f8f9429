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

  // The picture's name of the bundle image a view shows (or "" for none).
  static bool shows(const kit::Ref<kit::Image>& image, const char* name) {
    auto expected = NUVALightImage(name);
    return image && expected && image->pngData() == expected->pngData();
  }
};
