// Test support for the user centre's tests (header only, for *_test.cc):
// the platform API fixture (temporary bundle with the resource bundle's
// pictures, the platform service and the user-centre services on loopback,
// a full-screen key window with a root controller, as the game's), and the
// shared ball dropped after each test.
#pragma once

#include <memory>

#include "kit/ui/view_controller.h"
#include "platform/account/cxr_window_manager.h"
#include "platform/account/testing/kt_api_test_fixture.h"
#include "platform/usercenter/cxr_helper_btn.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "sim/platform_user_centre.h"

class UserCentreTest : public PlatformAPITest {
 protected:
  void SetUp() override {
    PlatformAPITest::SetUp();
    // The user centre's scenes, as the program registers them when it starts.
    KTSuspendVC::registerScene();
    bundle.addFile("VIROV.bundle/KT_HelpBtn_StopIcon.png", PlatformTestBundle::solidPNG(60, 60, 200, 40, 40));
    centre = std::make_unique<sim::PlatformUserCentre>(*server);
    ClientConfiguration::shared().setOverrides(
        kit::dict({{ClientConfiguration::kPlatformAPIBase, server->origin()},
                   {ClientConfiguration::kPlatformWebHost, server->origin() + "/"},
                   {ClientConfiguration::kPlatformChatHost, centre->chatHost()}}));
    window->setOpaque(true);
    game = kit::ViewController::make();
    window->setRootViewController(game);
    storeUserName("player01");
  }
  void TearDown() override {
    // A presentation still under way holds its controller, and so the user
    // centre's pages with their notification observers, until its animation
    // ends: let it end in this test, not in the next one.
    if (auto shown = game->presentedViewController()) {
      EXPECT_TRUE(kit::test::runUntil([&] { return !shown->isBeingPresented() && !shown->isBeingDismissed(); }));
    }
    CXRHelperBtnPort::install(nullptr);
    CXRHelperBtn::resetShared();
    CXRWindowManager::shared()->windowDic()->removeAllObjects();
    game.reset();
    PlatformAPITest::TearDown();
    // The server's answers read the user-centre services: stop it first.
    server.reset();
    centre.reset();
  }

  kit::Ref<kit::Window> ballWindow() { return CXRWindowManager::windowForKey(CXRHelperBtn::shared()->md5Key()); }

  std::unique_ptr<sim::PlatformUserCentre> centre;
  kit::Ref<kit::ViewController> game;
};
