// The application delegate: the launch pause, the launch reaching the
// channel core and the platform, and the application events it forwards.

#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <chrono>

#include "channel/testing/scripted_tolmix_sdk.h"
#include "channel/testing/test_bundle.h"
#include "config/client_configuration.h"
#include "kit/foundation/format.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "platform/usercenter/cxr_helper_btn.h"
#include "sim/channel_sdk_server.h"

namespace {

class Delegate : public ::testing::Test {
 protected:
  // The launch tells the channel SDK server that the game started: a server
  // of the test's own hears it (no request leaves the machine), with no
  // notice to show.
  void SetUp() override {
    server.setReply("init", R"({"code":"200","msg":"ok","data":{}})");
    ClientConfiguration::shared().setOverrides(kit::dict({{ClientConfiguration::kChannelSDKServer, server.baseURL()}}));
  }
  // A launch's answer is read before the test ends, so that nothing of it
  // (a failure's HUD, say) reaches the tests that run after it.
  void TearDown() override {
    if (server.requestCount() > 0) {
      EXPECT_TRUE(kit::test::runUntil([&] { return logs.contains("launch notice: none"); })) << "the init answer";
    }
    ClientConfiguration::shared().setOverrides(nullptr);
    TolmixSDKFacade::install(nullptr);
    kit::Application::shared()->reset();
  }
  kit::test::LogCapture logs;
  sim::ChannelSDKServer server;
  TestBundle bundle;
  std::shared_ptr<ScriptedTolmixSDK> facade = ScriptedTolmixSDK::install();
  kit::Ref<JHLCoreEntity> core = kit::make<JHLCoreEntity>();
};

TEST_F(Delegate, LaunchPausesThenLaunchesTheCoreAndThePlatform) {
  auto delegate = kit::make<AppDelegate>(core, 0.2);
  auto app = kit::Application::shared();
  app->setDelegate(delegate);
  auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(app->launch());
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_GE(took, 0.19);
  EXPECT_EQ(kit::describe(core->nuvagameid()), "1001");
  EXPECT_EQ(kit::describe(core->platform_id()), "256");
  EXPECT_EQ(facade->launchCount(), 1);
}

TEST_F(Delegate, LaunchInstallsTheFloatingBallForTheAccountScreens) {
  CXRHelperBtnPort::install(nullptr);
  auto delegate = kit::make<AppDelegate>(core, 0);
  auto app = kit::Application::shared();
  app->setDelegate(delegate);
  EXPECT_TRUE(app->launch());
  auto* ball = CXRHelperBtnPort::shared();
  ASSERT_NE(ball, nullptr);
  EXPECT_FALSE(ball->isCreate()) << "the ball's window comes with the first login";
  EXPECT_FALSE(CXRHelperBtn::hasShared());
  CXRHelperBtnPort::install(nullptr);
  CXRHelperBtn::resetShared();
}

TEST_F(Delegate, OpenURLFormsReachThePlatformAndAnswerYes) {
  auto delegate = kit::make<AppDelegate>(core, 0);
  auto app = kit::Application::shared();
  app->setDelegate(delegate);
  app->launch();
  EXPECT_TRUE(app->openURLFromOutside("TolmixWalletPayScheme1001://safepay?result=1", "com.wallet"));
  EXPECT_EQ(delegate->handleOpenURL(*app, "x://handle"), true);
  EXPECT_EQ(delegate->openURL(*app, "x://source", "com.other", nullptr), true);
  auto urls = facade->openedURLs();
  ASSERT_EQ(urls.size(), 3u);
  EXPECT_EQ(urls[0], "TolmixWalletPayScheme1001://safepay?result=1");
  // Background, foreground, terminate, resign and become active pass quietly.
  app->enterBackground();
  app->enterForeground();
  app->terminate();
  EXPECT_EQ(facade->launchCount(), 1);
}

}  // namespace
