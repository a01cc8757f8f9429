// Navigations with the browser engine against loopback servers: the main
// document keeps the view's decisions (each redirect is asked), and what
// the page starts itself (a tapped link, a location change, another
// scheme) is asked of the navigation delegate with its kind, so a refused
// navigation leaves the page as it was. Skips itself without a display.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"
#include "kit/web/browser/testing/browser_test_support.h"
#include "kit/web/web_view.h"

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

struct Decider : kit::NavigationDelegate {
  std::vector<std::string> asked;
  std::vector<kit::NavigationType> kinds;
  std::string refuse;  // addresses containing this are refused
  int finished = 0;
  kit::Ref<kit::Error> error;
  void decidePolicyForNavigationAction(kit::WebView&, const kit::Ref<kit::NavigationAction>& action,
                                       std::function<void(kit::NavigationActionPolicy)> decide) override {
    const std::string url = action->request()->URL()->absoluteText();
    asked.push_back(url);
    kinds.push_back(action->navigationType());
    const bool refused = !refuse.empty() && url.find(refuse) != std::string::npos;
    decide(refused ? kit::NavigationActionPolicy::Cancel : kit::NavigationActionPolicy::Allow);
  }
  void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { ++finished; }
  void didFailProvisionalNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&,
                                    const kit::Ref<kit::Error>& e) override {
    error = e;
  }
};

class BrowserNavigationTest : public kit::test::BrowserEngineTest {
 protected:
  void SetUp() override {
    kit::test::BrowserEngineTest::SetUp();
    if (IsSkipped()) return;
    server = TestServer::startHTTP();
    window = kit::Window::make(kit::Rect{0, 0, 375, 667});
    web = kit::WebView::make(kit::Rect{0, 0, 375, 667});
    window->addSubview(web);
    window->makeKeyAndVisible();
    decider = std::make_shared<Decider>();
    web->setNavigationDelegate(decider);
  }
  void TearDown() override {
    if (window) window->setHidden(true);
    web.reset();
    window.reset();
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    server.reset();
  }
  std::string evaluate(const std::string& script) {
    std::string text;
    bool done = false;
    web->evaluateJavaScript(script, [&](kit::Id value, kit::Ref<kit::Error> error) {
      text = error ? "error" : kit::describe(value);
      done = true;
    });
    EXPECT_TRUE(kit::test::runUntil([&] { return done; })) << script;
    return text;
  }
  bool waitFinished(int count) {
    return kit::test::runUntil([&] { return decider->finished >= count || decider->error; });
  }

  kit::DeviceProfileScope phone{kit::DeviceProfile::phone375x667()};
  std::unique_ptr<TestServer> server;
  kit::Ref<kit::Window> window;
  kit::Ref<kit::WebView> web;
  std::shared_ptr<Decider> decider;
};

TEST_F(BrowserNavigationTest, TwoRedirectsPassBothAddressesThroughTheDecisionHandler) {
  server->route("GET", "/first", TestResponse::redirect("/second"));
  server->route("GET", "/second", TestResponse::redirect("/game.html"));
  server->route("GET", "/game.html", TestResponse::html("<title>终点</title><script>var arrived = location.pathname;</script>"));
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/first"))));
  ASSERT_TRUE(waitFinished(1));
  EXPECT_EQ(decider->asked, (std::vector<std::string>{server->url("/first"), server->url("/second"),
                                                      server->url("/game.html")}));
  EXPECT_EQ(web->URL()->absoluteText(), server->url("/game.html"));
  EXPECT_EQ(evaluate("arrived"), "/game.html");

  // A refused redirect loads nothing: the page shown stays.
  decider->refuse = "/game.html";
  decider->asked.clear();
  server->clearLog();
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/first"))));
  ASSERT_TRUE(kit::test::runUntil([&] { return static_cast<bool>(decider->error); }));
  EXPECT_EQ(decider->asked.back(), server->url("/game.html"));
  EXPECT_EQ(server->requestCount(), 2u) << "the refused address is not asked for";
  EXPECT_EQ(evaluate("arrived"), "/game.html");
}

TEST_F(BrowserNavigationTest, ALinkThePlayerTapsIsDecidedByTheViewAndARefusedOneDoesNotLoad) {
  server->route("GET", "/index.html", TestResponse::html(R"(<title>首页</title><body style="margin:0">
      <a id="shop" href="/shop.html" style="position:absolute; left:40px; top:100px; width:200px; height:60px;
         display:block; background:#0a0">商城</a><script>var page = "home";</script></body>)"));
  server->route("GET", "/shop.html", TestResponse::html("<title>商城</title><script>var page = 'shop';</script>"));
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/index.html"))));
  ASSERT_TRUE(waitFinished(1));

  decider->refuse = "/shop.html";
  decider->asked.clear();
  ASSERT_TRUE(kit::test::tapAt(*window, {140, 130}));
  ASSERT_TRUE(kit::test::runUntil([&] { return !decider->asked.empty(); }));
  EXPECT_EQ(decider->asked, std::vector<std::string>{server->url("/shop.html")});
  EXPECT_EQ(decider->kinds.back(), kit::NavigationType::LinkActivated);
  EXPECT_EQ(evaluate("page"), "home") << "the refused page did not load";
  EXPECT_EQ(web->URL()->absoluteText(), server->url("/index.html"));

  decider->refuse.clear();
  // Another point of the link: the engine takes a second press at the same
  // point soon after the first for the second click of a double click.
  ASSERT_TRUE(kit::test::tapAt(*window, {200, 140}));
  ASSERT_TRUE(waitFinished(2));
  EXPECT_EQ(evaluate("page"), "shop");
  EXPECT_EQ(web->URL()->absoluteText(), server->url("/shop.html"));
  EXPECT_TRUE(web->canGoBack());
}

TEST_F(BrowserNavigationTest, LocationChangesAndOtherSchemesAreAskedOfTheDelegate) {
  server->route("GET", "/index.html", TestResponse::html("<title>页</title><iframe src=\"/frame.html\"></iframe>"));
  server->route("GET", "/frame.html", TestResponse::html("<p>frame</p>"));
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/index.html"))));
  ASSERT_TRUE(waitFinished(1));
  EXPECT_EQ(decider->asked, std::vector<std::string>{server->url("/index.html")})
      << "a frame of the page loads in the page";

  decider->refuse = "pay";
  decider->asked.clear();
  evaluate("location.href = 'alipays://platformapi/startapp?pay=1'");
  ASSERT_TRUE(kit::test::runUntil([&] { return !decider->asked.empty(); }));
  EXPECT_EQ(decider->asked.back(), "alipays://platformapi/startapp?pay=1");
  evaluate("location.href = '/pay.html'");
  ASSERT_TRUE(kit::test::runUntil([&] { return decider->asked.size() == 2; }));
  EXPECT_EQ(decider->asked.back(), server->url("/pay.html"));
  EXPECT_EQ(decider->kinds.back(), kit::NavigationType::Other);
  EXPECT_EQ(evaluate("document.title"), "页");
}

}  // namespace
