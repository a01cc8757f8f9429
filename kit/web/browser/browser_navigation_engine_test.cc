// Navigations with the browser engine against loopback servers: the main
// document keeps the view's decisions (each redirect is asked), and what
// the page starts itself (a tapped link, a location change, another
// scheme) is asked of the navigation delegate with its kind, so a refused
// navigation leaves the page as it was. Skips itself without a display.

#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <string>
#include <vector>

#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"
#include "kit/web/browser/browser_engine.h"
#include "kit/web/browser/testing/browser_test_support.h"
#include "kit/web/testing/web_test_support.h"
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
  // A load that fails after it committed ends the wait too, and says why.
  void didFailNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&, const kit::Ref<kit::Error>& e) override {
    error = e;
  }
};

// A page host that loads every navigation the page starts at once, in the
// same run loop pass it hears of it: the view's fastest possible answer.
struct LoadingHost : kit::PageHost, std::enable_shared_from_this<LoadingHost> {
  kit::Weak<kit::BrowserEngine> engine;
  std::function<std::string(const std::string& url)> pageFor;
  std::vector<std::string> loaded;  // each document and how its load ended ("ok" or the error)
  bool postScriptMessage(const std::string&, kit::Id) override { return false; }
  void runAlertPanel(const std::string&, std::function<void()> done) override { done(); }
  void runConfirmPanel(const std::string&, std::function<void(bool)> done) override { done(false); }
  void runTextInputPanel(const std::string&, const std::optional<std::string>&,
                         std::function<void(std::optional<std::string>)> done) override {
    done(std::nullopt);
  }
  void pageNavigate(const kit::Ref<kit::URLRequest>& request, kit::NavigationType) override { load(request->URL()); }
  void pageContentSizeDidChange(kit::Size) override {}
  void pageTitleDidChange() override {}
  void load(const kit::Ref<kit::URL>& url) {
    const std::string address = url->absoluteText();
    engine.lock()->loadDocument(kit::PageDocument{url, pageFor(address), nullptr}, [this, address](kit::Ref<kit::Error> e) {
      loaded.push_back(address + (e ? " " + kit::describe(e) : " ok"));
    });
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
  // An engine whose host loads what the page navigates to at once, with
  // the home page loaded.
  kit::Ref<kit::BrowserEngine> startEngine(LoadingHost& host) {
    auto engine = kit::BrowserEngine::make();
    if (!engine) return nullptr;
    host.engine = engine;
    host.pageFor = [](const std::string& url) -> std::string {
      return url.ends_with("/shop.html") ? "<title>商城</title><script>var page = 'shop';</script>"
                                         : "<title>首页</title><script>var page = 'home';</script>";
    };
    engine->setHost(std::weak_ptr<kit::PageHost>(host.shared_from_this()));
    host.load(kit::URL::URLWithString(server->url("/index.html")));
    if (!kit::test::runUntil([&] { return host.loaded.size() == 1; })) return nullptr;
    EXPECT_EQ(host.loaded[0], server->url("/index.html") + " ok");
    return engine;
  }
  static std::string pageOf(kit::BrowserEngine& engine) {
    std::string page;
    engine.evaluateScript("page", [&](const kit::ScriptResult& r) { page = kit::describe(r.value); });
    EXPECT_TRUE(kit::test::runUntil([&] { return !page.empty(); }));
    return page;
  }
  std::string evaluate(const std::string& script) { return kit::test::evaluate(*web, script); }
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
  ASSERT_TRUE(kit::test::tapAt(*window, {140, 130}));
  ASSERT_TRUE(waitFinished(2)) << "asked " << decider->asked.size() << ", finished " << decider->finished << ", at "
                               << web->URL()->absoluteText();
  EXPECT_FALSE(decider->error) << kit::describe(decider->error);
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

// The WebKit view showing `address`, among the engines' windows.
WebKitWebView* webKitViewShowing(const std::string& address) {
  WebKitWebView* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w && !found; w = w->next) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(w->data));
    if (!child || !WEBKIT_IS_WEB_VIEW(child)) continue;
    const char* uri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(child));
    if (uri && address == uri) found = WEBKIT_WEB_VIEW(child);
  }
  g_list_free(windows);
  return found;
}

// Under load WebKit's report that the page's own load of the address ended
// (interrupted when the engine handed the navigation to the view) can come
// even after the document the view handed over for it has started. Neither
// that failure nor the finish reported with it is the document's.
TEST_F(BrowserNavigationTest, ALateReportOfTheLoadThePageLeftIsNotTheDocumentsOwn) {
  auto host = std::make_shared<LoadingHost>();
  auto engine = startEngine(*host);
  ASSERT_TRUE(engine);
  WebKitWebView* view = webKitViewShowing(server->url("/index.html"));
  ASSERT_TRUE(view);
  const std::string shop = server->url("/shop.html");
  struct Late {
    std::string address;
    int reported = 0;
  } late{shop};
  // As the document's load starts, the report of the earlier load arrives.
  const gulong hook = g_signal_connect_after(
      view, "load-changed", G_CALLBACK(+[](WebKitWebView* v, WebKitLoadEvent event, Late* late) {
        if (event != WEBKIT_LOAD_STARTED || late->reported++ > 0) return;
        GError* error = g_error_new_literal(WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE,
                                            "Frame load interrupted");
        gboolean handled = FALSE;
        g_signal_emit_by_name(v, "load-failed", WEBKIT_LOAD_STARTED, late->address.c_str(), error, &handled);
        g_signal_emit_by_name(v, "load-changed", WEBKIT_LOAD_FINISHED);
        g_error_free(error);
      }),
      &late);
  host->loaded.clear();
  host->load(kit::URL::URLWithString(shop));
  ASSERT_TRUE(kit::test::runUntil([&] { return !host->loaded.empty(); }));
  g_signal_handler_disconnect(view, hook);
  EXPECT_EQ(late.reported, 1);
  EXPECT_EQ(host->loaded, std::vector<std::string>{shop + " ok"});
  EXPECT_EQ(pageOf(*engine), "shop") << "the document had loaded when its load finished";
}

// WebKit ends the page's own load of an address once the engine hands it
// to the view, and reports that end later, from the content process. A
// document the view hands over for the same address in the meantime is a
// new load: the old load's late failure and finish are not its.
TEST_F(BrowserNavigationTest, ADocumentLoadedAtOnceForTheAddressThePageLeftForFinishes) {
  server->route("GET", "/shop.html", TestResponse::html("<title>WebKit's own copy</title>"));
  auto host = std::make_shared<LoadingHost>();
  auto engine = startEngine(*host);
  ASSERT_TRUE(engine);

  for (int round = 0; round < 3; ++round) {
    // The page leaves for the shop; the host loads the shop's document in
    // the pass it hears of it, while WebKit's own load is still ending.
    host->loaded.clear();
    engine->evaluateScript("location.href = '/shop.html'", {});
    ASSERT_TRUE(kit::test::runUntil([&] { return !host->loaded.empty(); }));
    ASSERT_EQ(host->loaded, std::vector<std::string>{server->url("/shop.html") + " ok"}) << "round " << round;
    EXPECT_EQ(pageOf(*engine), "shop");
    host->loaded.clear();
    host->load(kit::URL::URLWithString(server->url("/index.html")));
    ASSERT_TRUE(kit::test::runUntil([&] { return host->loaded.size() == 1; }));
  }
}

// The page going to the address of the document it shows goes to the view
// like any other navigation; WebKit does not load it behind the view's back.
TEST_F(BrowserNavigationTest, ThePageGoingToItsOwnAddressIsHandedToTheView) {
  server->route("GET", "/index.html", TestResponse::html("<title>WebKit's own copy</title>"));
  auto host = std::make_shared<LoadingHost>();
  auto engine = startEngine(*host);
  ASSERT_TRUE(engine);
  host->loaded.clear();
  engine->evaluateScript("page = 'changed'; location.href = location.href", {});
  ASSERT_TRUE(kit::test::runUntil([&] { return !host->loaded.empty(); }));
  EXPECT_EQ(host->loaded, std::vector<std::string>{server->url("/index.html") + " ok"});
  EXPECT_EQ(pageOf(*engine), "home");
}

}  // namespace
