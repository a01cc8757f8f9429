// The program's own interface registries, filled as the program fills them
// at start-up and walked whole: every scene of the product's storyboards
// builds its controller and loads its view, every nib builds its objects,
// the user centre's bar has all five of its pages, and the channel core's
// overlay makers make every overlay in both forms. A screen that only a
// file nothing else references registers is missing here as it is from
// the linked program, since this test links the same libraries.

#include <gtest/gtest.h>

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/application_main.h"
#include "channel/core/nuva_store_overlays.h"
#include "config/client_configuration.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/view.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "sim/simulator.h"

namespace {

// The class an object was made as, by its dynamic type: nothing here names
// a screen's class, so nothing pulls a screen's file into the link.
std::string classOf(const kit::Object& object) {
  const char* mangled = typeid(object).name();
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return status == 0 && name ? name.get() : mangled;
}

// Everything the product shows from a storyboard or a nib.
const std::map<std::string, std::vector<std::string>> kStoryboards = {
    {kClientMainStoryboard, {"ViewController"}},
    {"KTUserShow", {"CXRSubNameVC", "KTAlterLoginVC", "KTForgetPasswordVC", "KTNoticeVC", "KTShowHTMLVC"}},
    {"KTNewPayVC", {"KTCouponsVC", "KTNewPayVC"}},
    {KTSuspendVC::Storyboard,
     {"KTSuHomeMsgVC", "KTSuHomeVC", "KTSuKaiFuVC", "KTSuServiceVC", "KTSuTradeVC", "KTSuWebVC", "KTSuWelfareVC",
      "KTSuspendVC"}},
};
const std::vector<std::string> kNibs = {"CXRRealNameView", "CXRSubNameCell", "KTCopyGiftCell",    "KTCouponsCell",
                                        "KTGetGiftCell",   "KTKaifuCell",    "KTPayNoticeView",   "KTSuCouponCell",
                                        "KTSuHomeCell",    "KTSuHomeMsgCell", "KTSuTradeHeadCell", "KTTradeCell"};

class ClientInterface : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    kit::Application::shared()->reset();
    // Whatever a scene asks for on loading goes to the simulator.
    ClientConfiguration::shared().setOverrides(simulator.configuration());
    registerClientInterface();
    installClientOverlays();
  }
  void TearDown() override {
    kit::Application::shared()->reset();
    NUVAStoreOverlays::install(nullptr);
    ClientConfiguration::shared().setOverrides(nullptr);
    VirtualClockTest::TearDown();
  }

  sim::Simulator simulator;
};

TEST_F(ClientInterface, EveryRegisteredSceneAndNibBuilds) {
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  auto& scenes = kit::SceneRegistry::shared();
  std::vector<kit::Ref<kit::ViewController>> built;
  std::vector<std::string> storyboards;
  for (const auto& [storyboard, expected] : kStoryboards) storyboards.push_back(storyboard);
  EXPECT_EQ(scenes.storyboardNames(), storyboards);
  for (const auto& [storyboard, expected] : kStoryboards) {
    SCOPED_TRACE(storyboard);
    EXPECT_EQ(scenes.sceneIdentifiers(storyboard), expected);
    for (const std::string& identifier : scenes.sceneIdentifiers(storyboard)) {
      SCOPED_TRACE(identifier);
      auto controller = scenes.instantiate(storyboard, identifier);
      ASSERT_TRUE(controller);
      EXPECT_EQ(classOf(*controller), identifier);
      ASSERT_TRUE(controller->view());
      built.push_back(controller);
    }
  }

  for (const std::string& nib : kNibs) EXPECT_TRUE(scenes.hasNib(nib)) << nib;
  for (const std::string& nib : scenes.nibNames()) {
    SCOPED_TRACE(nib);
    auto objects = scenes.loadNibNamed(nib, nullptr);
    ASSERT_FALSE(objects.empty());
    auto view = kit::as<kit::View>(objects.back());
    ASSERT_TRUE(view);
    EXPECT_EQ(classOf(*view), nib);
  }

  // The user centre's bar: one page per button, none of them a blank
  // stand-in.
  auto centre = kit::as<KTSuspendVC>(scenes.instantiate(KTSuspendVC::Storyboard, KTSuspendVC::Identifier));
  ASSERT_TRUE(centre);
  ASSERT_TRUE(centre->view());
  const auto& pages = centre->childViewControllers();
  ASSERT_EQ(pages.size(), KTSuspendVC::PageIdentifiers.size());
  for (size_t i = 0; i < pages.size(); ++i) EXPECT_EQ(classOf(*pages[i]), KTSuspendVC::PageIdentifiers[i]);
  built.push_back(centre);

  auto overlays = NUVAStoreOverlays::installed();
  ASSERT_TRUE(overlays);
  for (auto form : {NUVAOverlayForm::Landscape, NUVAOverlayForm::Portrait}) {
    EXPECT_TRUE(overlays->makeGMShopView(form));
    EXPECT_TRUE(overlays->makeResourceHallView(form));
  }
  EXPECT_TRUE(overlays->makeLevelPopView());
  EXPECT_TRUE(overlays->makeNotOpenView());

  built.clear();
  EXPECT_TRUE(kit::test::settleMain());
}

}  // namespace
