// The user centre's web page and service page: sliding in and out over the
// container's tag-1000 area, history and closing, titles, the link filter
// (real-name notification, QQ links, copy links), the progress bar and the
// cache settings, the chat and feedback pages, and a page closed while it
// loads.
#include "platform/usercenter/kt_su_web_vc.h"

#include <gtest/gtest.h>

#include "kit/foundation/notification_center.h"
#include "kit/foundation/user_defaults.h"
#include "kit/net/url_cache.h"
#include "kit/ui/animation.h"
#include "kit/ui/pasteboard.h"
#include "platform/usercenter/kt_su_service_vc.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "platform/usercenter/testing/user_centre_stand_in_pages.h"
#include "platform/usercenter/usercenter_test_fixture.h"

namespace {

class WebPages : public UserCentreTest {
 protected:
  void SetUp() override {
    UserCentreTest::SetUp();
    registerUserCentreStandInPages();
    bundle.writeKTPlist(kit::dict({{"TOLMIX_APPID", "10001"},
                                   {"TOLMIX_GAMEID", "1001"},
                                   {"TOLMIX_APPKEY", "k1"},
                                   {"TOLMIX_AGENT", "agent7"},
                                   {"TOLMIX_CHAT_SYSNUM", "sys 42"},
                                   {"TOLMIX_CHAT_SOURCEID", "src9"}}));
    ShareVale::distroyInstance();
    storeUserName("player01");
    realName = kit::NotificationCenter::defaultCenter()->addObserverForName(
        KTSuWebVC::RealNameNotification, nullptr, [this](const kit::Ref<kit::Notification>&) { ++realNameNotes; });
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
    kit::NotificationCenter::defaultCenter()->removeObserver(realName);
    service.reset();
    container.reset();
    ball.reset();
    UserCentreTest::TearDown();
  }

  kit::Ref<kit::View> area() const { return container->view()->viewWithTag(KTSuspendVC::SlideAreaTag); }
  std::string page(const std::string& path) const { return server->origin() + "/" + path; }
  kit::Ref<KTSuWebVC> open(const std::string& url, const char* name = nullptr) {
    return KTSuWebVC::loadWebVcWithUrl(*service, url, name ? kit::str(name) : nullptr);
  }
  static bool loaded(const kit::Ref<KTSuWebVC>& web, size_t entries) {
    return kit::test::runUntil([&] {
      return !web->webView()->isLoading() && web->webView()->historyList().size() >= entries;
    });
  }
  static std::vector<kit::Ref<KTWebProgressLayer>> progressLayers(kit::View& view) {
    std::vector<kit::Ref<KTWebProgressLayer>> layers;
    for (auto& sublayer : view.layer()->sublayers()) {
      if (auto progress = std::dynamic_pointer_cast<KTWebProgressLayer>(sublayer)) layers.push_back(progress);
    }
    return layers;
  }

  kit::Ref<CXRHelperBtn> ball;
  kit::Ref<KTSuspendVC> container;
  kit::Ref<KTSuServiceVC> service;
  kit::Id realName;
  int realNameNotes = 0;
};

TEST_F(WebPages, APageSlidesInOverTheAreaAndOutWhenClosed) {
  auto web = open(page("appview/User/sdkuser"));
  ASSERT_TRUE(web);
  EXPECT_EQ(web->view()->superview(), area());
  EXPECT_EQ(web->view()->frame().size, area()->bounds().size);
  EXPECT_EQ(web->parentViewController(), container);
  ASSERT_TRUE(kit::test::runUntil([&] { return web->view()->transform().isIdentity(); }));
  auto slideIn = std::dynamic_pointer_cast<kit::SpringAnimation>(web->view()->layer()->animationForKey("transform"));
  ASSERT_TRUE(slideIn);
  EXPECT_DOUBLE_EQ(slideIn->duration(), 0.8);
  ASSERT_TRUE(loaded(web, 1));

  kit::test::tap(web->closeBtn());
  EXPECT_EQ(web->view()->transform(), kit::AffineTransform::makeTranslation(300, 0));
  ASSERT_TRUE(kit::test::runUntil([&] { return !web->parentViewController(); }));
  EXPECT_EQ(web->view()->superview(), nullptr);
}

TEST_F(WebPages, BackStepsBackInTheHistoryThenCloses) {
  auto web = open(page("appview/User/sdkuser?username=a"), "账号");
  ASSERT_TRUE(loaded(web, 1));
  EXPECT_EQ(web->titleL()->text(), "账号");
  web->webView()->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(page("appview/User/forgetpwd"))));
  ASSERT_TRUE(loaded(web, 2));
  EXPECT_EQ(web->titleL()->text(), "账号") << "the opener's title stays";

  kit::test::tap(web->backBtn());
  ASSERT_TRUE(kit::test::runUntil([&] { return web->webView()->historyIndex() == 0 && !web->webView()->isLoading(); }));
  EXPECT_EQ(web->parentViewController(), container);
  kit::test::tap(web->backBtn());
  ASSERT_TRUE(kit::test::runUntil([&] { return !web->parentViewController(); }));
}

TEST_F(WebPages, WithoutATitleTheDocumentsTitleShows) {
  auto web = open(page("appview/User/sdkuser"));
  ASSERT_TRUE(loaded(web, 1));
  EXPECT_EQ(web->titleL()->text(), "用户中心");
  web->webView()->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(page("appview/User/forgetpwd"))));
  ASSERT_TRUE(loaded(web, 2));
  EXPECT_EQ(web->titleL()->text(), "忘记密码");
}

TEST_F(WebPages, AnAddressThatFormsNoURLLoadsNothing) {
  // The container's pages post to the API meanwhile, and the ball's icon
  // may still be on its way; pages are all else.
  auto pageRequests = [&] {
    size_t count = 0;
    for (const auto& r : server->requests()) {
      count += r.path.rfind(sim::PlatformAPIServer::kPathPrefix, 0) != 0 &&
               r.path != std::string("/") + CXRHelperBtn::IconPath;
    }
    return count;
  };
  const size_t before = pageRequests();
  auto web = open("http://[bad");
  ASSERT_TRUE(web);
  web->loadViewIfNeeded();
  EXPECT_FALSE(web->webView()->isLoading());
  EXPECT_EQ(web->webView()->request(), nullptr);
  EXPECT_EQ(pageRequests(), before);
}

TEST_F(WebPages, ARealNameRedirectPostsTheNotificationOnceAndStillLoads) {
  auto web = open(page("appview/User/sdkuser?rz=1"));
  ASSERT_TRUE(loaded(web, 1));
  EXPECT_EQ(realNameNotes, 1) << "the redirect target carries identifySuccess";
  EXPECT_EQ(web->titleL()->text(), "认证成功");
  web->webView()->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(page("appview/User/sdkuser"))));
  ASSERT_TRUE(loaded(web, 2));
  EXPECT_EQ(realNameNotes, 1);
}

TEST_F(WebPages, QQLinksGoToTheSystemAndStillLoad) {
  auto web = open(page("appview/User/sdkuser"));
  web->loadViewIfNeeded();
  service->loadViewIfNeeded();
  auto app = kit::Application::shared();
  for (const char* scheme : {"mqq", "mqqapi", "http"}) app->addInstalledScheme(scheme);
  for (const char* link : {"mqq://im/chat?uin=1", "http://x.test/?to=mqqapi://card"}) {
    auto request = kit::URLRequest::make(kit::URL::URLWithString(link));
    EXPECT_TRUE(web->shouldStartLoadWithRequest(*web->webView(), request, kit::LegacyNavigationType::LinkClicked));
    EXPECT_EQ(app->openedURLs().back(), link);
    EXPECT_TRUE(service->shouldStartLoadWithRequest(*service->webView(), request,
                                                    kit::LegacyNavigationType::LinkClicked));
    EXPECT_EQ(app->openedURLs().back(), link);
  }
  EXPECT_EQ(app->openedURLs().size(), 4u);
  EXPECT_EQ(realNameNotes, 0);
}

TEST_F(WebPages, ProgressBarAndCacheSettings) {
  auto defaults = kit::UserDefaults::standardUserDefaults();
  defaults->setInteger(3, "WebKitCacheModelPreferenceKey");
  defaults->setBool(true, "WebKitDiskImageCacheEnabled");
  auto web = open(page("appview/User/sdkuser"));
  web->loadViewIfNeeded();
  // A second load overlaps the first.
  web->webView()->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(page("appview/User/forgetpwd"))));
  ASSERT_TRUE(loaded(web, 1));
  auto layers = progressLayers(*web->view());
  ASSERT_FALSE(layers.empty());
  EXPECT_EQ(layers.front()->frame(), (kit::Rect{0, 44, 300, 2}));
  EXPECT_TRUE(kit::test::runUntil([&] {
    for (auto& layer : progressLayers(*web->view())) {
      if (!layer->isHidden()) return false;
    }
    return true;
  })) << "no bar is left standing once both loads have ended";
  // A load that starts while another runs: when it ends, neither bar stays.
  web->webViewDidStartLoad(*web->webView());
  web->webViewDidStartLoad(*web->webView());
  web->webViewDidFinishLoad(*web->webView());
  EXPECT_TRUE(kit::test::runUntil([&] {
    for (auto& layer : progressLayers(*web->view())) {
      if (!layer->isHidden()) return false;
    }
    return true;
  })) << "the superseded load's bar was finished too";
  EXPECT_EQ(defaults->integerForKey("WebKitCacheModelPreferenceKey"), 0);
  EXPECT_FALSE(defaults->boolForKey("WebKitDiskImageCacheEnabled"));
  EXPECT_TRUE(defaults->objectForKey("WebKitOfflineWebApplicationCacheEnabled"));
  EXPECT_FALSE(defaults->boolForKey("WebKitOfflineWebApplicationCacheEnabled"));
}

TEST_F(WebPages, APageClosedWhileLoadingIsReleasedAndEmptiesTheURLCache) {
  auto cache = kit::URLCache::make(1 << 20, 0, "");
  auto previous = kit::URLCache::sharedURLCache();
  kit::URLCache::setSharedURLCache(cache);
  auto url = kit::URL::URLWithString("http://cached.test/x");
  cache->storeCachedResponse(
      kit::make<kit::CachedURLResponse>(kit::URLResponse::make(url, kit::str("text/plain"), 1, nullptr),
                                        kit::Data::make(std::string_view("x"))),
      kit::URLRequest::make(url));
  ASSERT_GT(cache->currentMemoryUsage(), 0u);

  server->routePage("/slow", [](const kit::test::RecordedRequest&) {
    auto response = kit::test::TestResponse::html("<title>slow</title>");
    response.delaySeconds = 2;
    return response;
  });
  kit::Weak<KTSuWebVC> weak;
  {
    auto web = open(page("slow"));
    web->loadViewIfNeeded();
    weak = web;
    web->removeClick();
  }
  ASSERT_TRUE(kit::test::runUntil([&] { return weak.expired(); }));
  EXPECT_EQ(cache->currentMemoryUsage(), 0u);
  kit::URLCache::setSharedURLCache(previous);
}

TEST_F(WebPages, TheServicePageShowsTheChatAndHidesItsBackButton) {
  service->loadViewIfNeeded();
  EXPECT_TRUE(service->backBtn()->isHidden());
  ASSERT_TRUE(kit::test::runUntil([&] { return !centre->chatQueries().empty(); }));
  EXPECT_EQ(centre->chatQueries().front(), "sysNum=sys%2042&receiveId=&sourceId=src9");
  EXPECT_EQ(KTSuServiceVC::chatPageURL(), centre->chatHost() + "robot/h5chat.html?sysNum=sys%2042&receiveId=&sourceId=src9");
  ASSERT_TRUE(kit::test::runUntil([&] { return !service->webView()->isLoading(); }));
  service->goBack();
  EXPECT_TRUE(service->backBtn()->isHidden());
}

TEST_F(WebPages, CopyLinksPutTheirTextOnThePasteboard) {
  service->loadViewIfNeeded();
  auto copy = [&](const char* link) {
    auto request = kit::URLRequest::make(kit::URL::URLWithString(link));
    EXPECT_TRUE(service->shouldStartLoadWithRequest(*service->webView(), request,
                                                    kit::LegacyNavigationType::LinkClicked));
    return kit::Pasteboard::general()->string().value_or("");
  };
  EXPECT_EQ(copy("tolcopy://x?abc"), "abc");
  EXPECT_TRUE(kit::test::findLabel(*service->view(), "复制成功"));
  EXPECT_EQ(copy("tolcopy://x?a?b%E4%B8%AD"), "b%E4%B8%AD") << "the last piece, escapes kept";
  EXPECT_EQ(copy("tolcopy://plain"), "tolcopy://plain");
  EXPECT_EQ(KTSuServiceVC::copiedText("tolcopy://x?abc?"), "");
}

TEST_F(WebPages, FeedbackOpensTheSignedPageTitledOverTheArea) {
  service->loadViewIfNeeded();
  service->view()->setFrame(area()->bounds());
  service->goToFeedBackVC();
  kit::Ref<KTSuWebVC> web;
  for (auto& child : container->childViewControllers()) {
    if (auto page = std::dynamic_pointer_cast<KTSuWebVC>(child)) web = page;
  }
  ASSERT_TRUE(web);
  EXPECT_EQ(web->view()->superview(), area());
  EXPECT_EQ(web->name()->utf8(), "问题反馈");
  EXPECT_EQ(web->url().rfind(server->origin() + "/sdkapicoupon/Servicesdk/feedback?gid=1001&", 0), 0u) << web->url();
  EXPECT_NE(web->url().find("&device=ios"), std::string::npos);
  ASSERT_TRUE(loaded(web, 1));
  EXPECT_EQ(web->titleL()->text(), "问题反馈");
}

}  // namespace
