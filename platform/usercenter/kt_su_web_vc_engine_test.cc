// The user centre's web pages in the browser engine: a real-name check's
// redirect announces itself once and the document's own title shows, and
// the chat page's copy link, followed by the page's own script, reaches the
// pasteboard. Skips itself without a display.
#include <gtest/gtest.h>

#include <memory>

#include "config/client_configuration.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"
#include "kit/web/browser/testing/browser_test_support.h"
#include "platform/account/cxr_window_manager.h"
#include "platform/base/share_vale.h"
#include "platform/base/testing/platform_test_bundle.h"
#include "platform/usercenter/cxr_helper_btn.h"
#include "platform/usercenter/kt_su_service_vc.h"
#include "platform/usercenter/kt_su_web_vc.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "platform/usercenter/testing/user_centre_stand_in_pages.h"
#include "sim/platform_service.h"
#include "sim/platform_user_centre.h"

namespace {

class UserCentreEngine : public kit::test::BrowserEngineTest {
 protected:
  void SetUp() override {
    BrowserEngineTest::SetUp();
    if (IsSkipped()) return;
    registerUserCentreStandInPages();
    ClientConfiguration::shared().setOverrides(
        kit::dict({{ClientConfiguration::kPlatformAPIBase, server->origin()},
                   {ClientConfiguration::kPlatformWebHost, server->origin() + "/"},
                   {ClientConfiguration::kPlatformChatHost, centre->chatHost()}}));
    window = kit::Window::make();
    window->setOpaque(true);
    window->setRootViewController(game);
    window->makeKeyAndVisible();
    ball = CXRHelperBtn::shared();
    ball->create();
    ball->setStatus(1);
    ball->doShowHelperVC();
    container = std::dynamic_pointer_cast<KTSuspendVC>(game->presentedViewController());
    ASSERT_TRUE(container);
    container->view()->layoutIfNeeded();
    service = std::dynamic_pointer_cast<KTSuServiceVC>(container->childViewControllers()[4]);
    ASSERT_TRUE(service);
  }
  void TearDown() override {
    service.reset();
    container.reset();
    ball.reset();
    CXRHelperBtn::resetShared();
    CXRWindowManager::shared()->windowDic()->removeAllObjects();
    window.reset();
    game.reset();
    kit::Application::shared()->reset();
    ClientConfiguration::shared().setOverrides(nullptr);
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    server.reset();
    centre.reset();
  }

  kit::DeviceProfileScope phone{kit::DeviceProfile::phone375x667()};
  PlatformTestBundle bundle;
  std::unique_ptr<sim::PlatformAPIServer> server = sim::PlatformAPIServer::start();
  std::unique_ptr<sim::PlatformUserCentre> centre = std::make_unique<sim::PlatformUserCentre>(*server);
  kit::Ref<kit::Window> window;
  kit::Ref<kit::ViewController> game = kit::ViewController::make();
  kit::Ref<CXRHelperBtn> ball;
  kit::Ref<KTSuspendVC> container;
  kit::Ref<KTSuServiceVC> service;
};

TEST_F(UserCentreEngine, ARealNameRedirectIsAnnouncedOnceAndTheDocumentTitleShows) {
  int notes = 0;
  auto observer = kit::NotificationCenter::defaultCenter()->addObserverForName(
      KTSuWebVC::RealNameNotification, nullptr, [&](const kit::Ref<kit::Notification>&) { ++notes; });
  auto web = KTSuWebVC::loadWebVcWithUrl(*service, server->origin() + "/appview/User/sdkuser?rz=1", nullptr);
  ASSERT_TRUE(web);
  ASSERT_TRUE(kit::test::runUntil([&] { return web->titleL()->text() == "认证成功"; }, 30));
  EXPECT_EQ(notes, 1);
  kit::NotificationCenter::defaultCenter()->removeObserver(observer);
}

TEST_F(UserCentreEngine, TheChatPagesCopyLinkReachesThePasteboard) {
  centre->setChatBody("<p>客服</p><script>setTimeout(function(){location.href='tolcopy://copy?KT-77';},50);</script>");
  kit::Pasteboard::general()->setString("");
  service->loadViewIfNeeded();
  ASSERT_TRUE(kit::test::runUntil([&] { return kit::Pasteboard::general()->string().value_or("") == "KT-77"; }, 30));
}

}  // namespace
