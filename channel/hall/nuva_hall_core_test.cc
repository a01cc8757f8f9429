// The hall with the channel core: the core's goods request answered "200"
// without goods shows the real not-open placard; with goods the real hall
// opens a second later, and a goods order closes it.

#include <gtest/gtest.h>

#include <filesystem>

#include "channel/hall/nuva_hall_views.h"
#include "channel/hall/nuva_not_open_view.h"
#include "channel/hall/nuva_resource_hall_view.h"
#include "channel/store/nuva_store_views.h"
#include "channel/testing/core_road_fixture.h"
#include "kit/ui/ui_test_driver.h"

namespace {

class CoreHall : public CoreTimedFixture {
 protected:
  void SetUp() override {
    CoreTimedFixture::SetUp();
    std::filesystem::copy(std::string(CHANNEL_RESOURCES_DIR) + "/NUVALight.bundle",
                          bundle.path() + "/NUVALight.bundle", std::filesystem::copy_options::recursive);
    // The real hall and placard; the hub stays the recording stand-in.
    NUVAStoreViews::install(std::make_shared<NUVAHallViews>(overlays));
  }
  template <typename V>
  kit::Ref<V> shown() {
    for (const auto& view : window->subviews()) {
      if (auto found = std::dynamic_pointer_cast<V>(view)) return found;
    }
    return nullptr;
  }
};

TEST_F(CoreHall, NoGoodsShowThePlacardAndGoodsOpenTheHallThatAnOrderCloses) {
  logIn();
  reportRole();
  game.queueReply("infiniteres/goodsnew", R"({"status":"200","msg":"ok","data":{}})");
  core->nuva_openResourceStore();
  ASSERT_TRUE(kit::test::runUntil([&] { return shown<NUVANotOpenView>() != nullptr; }));
  EXPECT_TRUE(overlays->notOpenViews().empty());  // the real placard, not a stand-in
  auto placard = shown<NUVANotOpenView>();
  ASSERT_TRUE(kit::test::tap(placard->closeButton()));
  EXPECT_FALSE(placard->superview());

  core->nuva_openResourceStore();
  ASSERT_TRUE(kit::test::runUntil([&] { return core->responseData() != nullptr; }));
  advance(1.0);
  ASSERT_TRUE(kit::test::runUntil([&] { return shown<NUVAResourceHall>() != nullptr; }));
  auto hall = shown<NUVAResourceHall>();
  EXPECT_TRUE(overlays->halls().empty());
  ASSERT_TRUE(kit::test::runUntil([&] { return !hall->cards().empty(); }));
  hall->cards()[0]->buyBtnClick();
  ASSERT_TRUE(kit::test::runUntil([&] { return !game.requestsTo("charge/resorder").empty(); }));
  ASSERT_TRUE(kit::test::runUntil([&] {
    drainMain();
    return hall->superview() == nullptr;
  }));
}

}  // namespace
