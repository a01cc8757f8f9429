// The script-bridge web view against a loopback server: navigations finish
// on main on any HTTP answer and fail provisionally with kit networking's
// codes, redirects and links go through the delegate's decisions, the page
// driver's messages reach the named handler, evaluated callbacks are read
// back, panels are answered exactly once, and nothing keeps its owner
// alive.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/ui/view_controller.h"
#include "kit/web/testing/web_test_support.h"
#include "kit/web/web_view.h"

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

struct Recorder : kit::NavigationDelegate {
  std::vector<std::string> events;
  std::vector<kit::NavigationType> actionTypes;
  std::vector<std::string> actionURLs;
  kit::Ref<kit::Error> error;
  bool allOnMain = true;
  bool cancelRedirects = false;
  bool cancelResponses = false;

  void note(const std::string& e) {
    allOnMain = allOnMain && kit::RunLoop::isMainThread();
    events.push_back(e);
  }
  void decidePolicyForNavigationAction(kit::WebView&, const kit::Ref<kit::NavigationAction>& action,
                                       std::function<void(kit::NavigationActionPolicy)> decide) override {
    // An action decided after the navigation started is a redirect.
    const bool redirect = !events.empty() && events.back() == "start";
    note("decideAction");
    actionTypes.push_back(action->navigationType());
    actionURLs.push_back(action->request()->URL()->absoluteText());
    decide(cancelRedirects && redirect ? kit::NavigationActionPolicy::Cancel : kit::NavigationActionPolicy::Allow);
  }
  void decidePolicyForNavigationResponse(kit::WebView&, const kit::Ref<kit::NavigationResponse>&,
                                         std::function<void(kit::NavigationResponsePolicy)> decide) override {
    note("decideResponse");
    decide(cancelResponses ? kit::NavigationResponsePolicy::Cancel : kit::NavigationResponsePolicy::Allow);
  }
  void didStartProvisionalNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { note("start"); }
  void didReceiveServerRedirectForProvisionalNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override {
    note("redirect");
  }
  void didFailProvisionalNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&,
                                    const kit::Ref<kit::Error>& e) override {
    note("failProvisional");
    error = e;
  }
  void didCommitNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { note("commit"); }
  void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { note("finish"); }
  void didFailNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&, const kit::Ref<kit::Error>& e) override {
    note("fail");
    error = e;
  }
  void webViewWebContentProcessDidTerminate(kit::WebView&) override { note("terminated"); }
  bool ended() const {
    return !events.empty() && (events.back() == "finish" || events.back() == "failProvisional" || events.back() == "fail");
  }
};

struct MessageLog : kit::ScriptMessageHandler {
  std::vector<kit::Ref<kit::ScriptMessage>> messages;
  bool onMain = true;
  void didReceiveScriptMessage(kit::UserContentController&, const kit::Ref<kit::ScriptMessage>& message) override {
    onMain = onMain && kit::RunLoop::isMainThread();
    messages.push_back(message);
  }
};

class WebViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = TestServer::startHTTP();
    server->route("GET", "/index.html",
                  TestResponse::html("<html><head><title> 游戏 &amp; 活动 </title></head><body><p>hello</p></body></html>"));
    configuration = kit::WebViewConfiguration::make();
    web = kit::WebView::make(kit::Rect{0, 0, 375, 667}, configuration);
    recorder = std::make_shared<Recorder>();
    web->setNavigationDelegate(recorder);
  }
  void TearDown() override {
    // The view's session goes first, its invalidation delivered on main,
    // so that no kept-alive connection holds the server up.
    web.reset();
    configuration.reset();
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    server.reset();
  }
  kit::Ref<kit::URLRequest> request(const std::string& path) {
    return kit::URLRequest::make(kit::URL::URLWithString(server->url(path)));
  }
  bool load(const std::string& path) {
    recorder->events.clear();
    web->loadRequest(request(path));
    const bool ok = kit::test::runUntil([&] { return recorder->ended(); });
    if (!ok) {
      std::string seen;
      for (auto& e : recorder->events) seen += e + " ";
      ADD_FAILURE() << "the navigation did not end; events: " << seen;
    }
    return ok;
  }

  std::unique_ptr<TestServer> server;
  kit::Ref<kit::WebViewConfiguration> configuration;
  kit::Ref<kit::WebView> web;
  std::shared_ptr<Recorder> recorder;
};

TEST_F(WebViewTest, ALoopbackPageFinishesOnMainWithItsTitleAndProgress) {
  std::vector<double> progress;
  std::vector<std::string> titles;
  auto observer = std::make_shared<kit::Object>();
  web->addObserver(observer, "estimatedProgress",
                   [&](const kit::KeyValueChange& c) { progress.push_back(c.newValue<double>()); });
  web->addObserver(observer, "title", [&](const kit::KeyValueChange& c) { titles.push_back(c.newValue<std::string>()); });

  ASSERT_TRUE(load("/index.html"));
  EXPECT_EQ(recorder->events,
            (std::vector<std::string>{"decideAction", "start", "decideResponse", "commit", "finish"}));
  EXPECT_TRUE(recorder->allOnMain);
  EXPECT_EQ(web->title(), "游戏 & 活动");
  EXPECT_EQ(titles, std::vector<std::string>{"游戏 & 活动"});
  EXPECT_EQ(web->URL()->absoluteText(), server->url("/index.html"));
  EXPECT_FALSE(web->isLoading());
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), 0.1);
  EXPECT_EQ(progress.back(), 1.0);
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i], progress[i - 1]);
  EXPECT_EQ(server->requestCount(), 1u);
  EXPECT_EQ(web->pageDriver()->visibleText(), "hello");

  // Any HTTP answer is a page: an error page finishes too.
  server->route("GET", "/missing", TestResponse::text("<title>Not Found</title>", 404));
  ASSERT_TRUE(load("/missing"));
  EXPECT_EQ(recorder->events.back(), "finish");
  EXPECT_EQ(web->title(), "Not Found");
}

TEST_F(WebViewTest, UnreachableAndSilentHostsFailProvisionallyWithNetworkCodes) {
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(kit::test::closedPortURL("/index.html"))));
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->ended(); }));
  EXPECT_EQ(recorder->events.back(), "failProvisional");
  ASSERT_TRUE(recorder->error);
  EXPECT_EQ(recorder->error->domain(), kit::URLErrorDomain);
  EXPECT_EQ(recorder->error->code(), kit::URLErrorCannotConnectToHost);
  EXPECT_FALSE(web->isLoading());
  EXPECT_EQ(web->estimatedProgress(), 0);

  TestResponse silent;
  silent.silent = true;
  server->route("GET", "/slow", silent);
  recorder->events.clear();
  auto slow = kit::MutableURLRequest::make(kit::URL::URLWithString(server->url("/slow")));
  slow->setTimeoutInterval(0.3);
  web->loadRequest(slow);
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->ended(); }));
  EXPECT_EQ(recorder->events.back(), "failProvisional");
  EXPECT_EQ(recorder->error->code(), kit::URLErrorTimedOut);
  server->stop();
}

TEST_F(WebViewTest, RedirectsAndResponsesGoThroughTheDelegatesDecisions) {
  server->route("GET", "/old", TestResponse::redirect("/index.html"));
  ASSERT_TRUE(load("/old"));
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"decideAction", "start", "decideAction", "redirect",
                                                        "decideResponse", "commit", "finish"}));
  EXPECT_EQ(recorder->actionURLs, (std::vector<std::string>{server->url("/old"), server->url("/index.html")}));
  EXPECT_EQ(web->URL()->absoluteText(), server->url("/index.html"));

  // A refused redirect ends the navigation before the new address is asked.
  recorder->cancelRedirects = true;
  recorder->actionURLs.clear();
  server->clearLog();
  ASSERT_TRUE(load("/old"));
  EXPECT_EQ(recorder->events.back(), "failProvisional");
  EXPECT_EQ(recorder->error->domain(), kit::WebKitErrorDomain);
  EXPECT_EQ(recorder->error->code(), kit::WebKitErrorFrameLoadInterruptedByPolicyChange);
  EXPECT_EQ(server->requestCount(), 1u);
  EXPECT_EQ(web->URL()->absoluteText(), server->url("/index.html")) << "the page shown stays";

  recorder->cancelRedirects = false;
  recorder->cancelResponses = true;
  ASSERT_TRUE(load("/index.html"));
  EXPECT_EQ(recorder->events.back(), "failProvisional");
}

TEST_F(WebViewTest, LinksHistoryAndAPageFromText) {
  server->route("GET", "/b", TestResponse::html("<title>B</title>"));
  ASSERT_TRUE(load("/index.html"));
  EXPECT_FALSE(web->canGoBack());
  recorder->events.clear();
  ASSERT_TRUE(web->pageDriver()->followLink("b"));
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->ended(); }));
  EXPECT_EQ(recorder->actionTypes.back(), kit::NavigationType::LinkActivated);
  EXPECT_EQ(web->title(), "B");
  EXPECT_TRUE(web->canGoBack());
  recorder->events.clear();
  web->goBack();
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->ended(); }));
  EXPECT_EQ(recorder->actionTypes.back(), kit::NavigationType::BackForward);
  EXPECT_EQ(web->title(), "游戏 & 活动");
  EXPECT_TRUE(web->canGoForward());

  // A new navigation ends the one still loading, which fails as cancelled.
  TestResponse slow = TestResponse::text("<title>late</title>");
  slow.delaySeconds = 5;
  server->route("GET", "/late", slow);
  recorder->events.clear();
  web->loadRequest(request("/late"));
  ASSERT_TRUE(kit::test::runUntil([&] { return web->isLoading(); }));
  web->loadHTMLString("<title>本地</title><p>离线</p>", kit::URL::URLWithString(server->url("/local/")));
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->events.back() == "finish"; }));
  EXPECT_EQ(recorder->error->code(), kit::URLErrorCancelled);
  EXPECT_EQ(web->title(), "本地");
  EXPECT_EQ(web->pageDriver()->visibleText(), "离线");
  server->stop();
}

TEST_F(WebViewTest, PageMessagesReachTheNamedHandlerAndCallbacksAreReadBack) {
  auto log = std::make_shared<MessageLog>();
  configuration->userContentController()->addScriptMessageHandler(log, "eventComplete");
  EXPECT_THROW(configuration->userContentController()->addScriptMessageHandler(log, "eventComplete"),
               kit::Exception);
  ASSERT_TRUE(load("/index.html"));
  auto driver = web->pageDriver();
  ASSERT_TRUE(driver);

  const std::string body = R"({"action":"login"})";
  ASSERT_TRUE(driver->postMessage("eventComplete", kit::str(body)));
  EXPECT_TRUE(log->messages.empty()) << "delivered after the page's call";
  ASSERT_TRUE(kit::test::runUntil([&] { return !log->messages.empty(); }));
  EXPECT_TRUE(log->onMain);
  EXPECT_EQ(log->messages[0]->name(), "eventComplete");
  EXPECT_EQ(kit::describe(log->messages[0]->body()), body);
  EXPECT_EQ(log->messages[0]->webView(), web);
  EXPECT_FALSE(driver->postMessage("EventComplete", kit::str(body))) << "names are exact";

  bool done = false;
  kit::Ref<kit::Error> error;
  web->evaluateJavaScript(R"(CallbackFromIOS('{"action":"loginNotify","data":{"super_user_id":"42"}}'))",
                          [&](kit::Id, kit::Ref<kit::Error> e) {
                            error = e;
                            done = true;
                          });
  ASSERT_TRUE(kit::test::runUntil([&] { return done; }));
  EXPECT_FALSE(error);
  auto replies = driver->callbacks();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(kit::describe(replies[0]["action"]), "loginNotify");
  EXPECT_EQ(kit::describe(replies[0]["data"]["super_user_id"]), "42");

  // A quote the client did not escape breaks the page's script.
  done = false;
  web->evaluateJavaScript(R"(CallbackFromIOS('{"role_name":"O'Neil"}'))", [&](kit::Id, kit::Ref<kit::Error> e) {
    error = e;
    done = true;
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return done; }));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), kit::WebErrorDomain);
  EXPECT_EQ(error->code(), kit::WebErrorJavaScriptExceptionOccurred);
  EXPECT_EQ(driver->callbacks().size(), 1u);
  EXPECT_EQ(driver->evaluatedScripts().size(), 2u);

  kit::Id title;
  web->evaluateJavaScript("document.title", [&](kit::Id value, kit::Ref<kit::Error>) { title = value; });
  ASSERT_TRUE(kit::test::runUntil([&] { return static_cast<bool>(title); }));
  EXPECT_EQ(kit::describe(title), "游戏 & 活动");
}

TEST_F(WebViewTest, AnEndedContentProcessIsReportedAndAReloadBringsThePageBack) {
  ASSERT_TRUE(load("/index.html"));
  recorder->events.clear();
  web->pageDriver()->terminateContentProcess();
  EXPECT_EQ(recorder->events, std::vector<std::string>{"terminated"});
  EXPECT_EQ(web->pageDriver()->visibleText(), "");
  recorder->events.clear();
  web->reload();
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->ended(); }));
  EXPECT_EQ(recorder->events.back(), "finish");
  EXPECT_EQ(web->pageDriver()->visibleText(), "hello");
  EXPECT_EQ(recorder->actionTypes.back(), kit::NavigationType::Reload);
}

// A delegate that leaves the content process's end to the view.
struct FinishCounter : kit::NavigationDelegate {
  int finished = 0;
  void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { ++finished; }
};

TEST_F(WebViewTest, AnEndedContentProcessNobodyHandlesReloadsThePageABoundedNumberOfTimesInARow) {
  kit::VirtualClock clock;
  auto counter = std::make_shared<FinishCounter>();
  web->setNavigationDelegate(counter);
  web->loadRequest(request("/index.html"));
  ASSERT_TRUE(kit::test::runUntil([&] { return counter->finished == 1; }));
  auto driver = web->pageDriver();
  auto pageLoads = [&] { return server->requests().size(); };

  // Ends the page's process; true when the view loaded the page again.
  auto endProcess = [&] {
    const int before = counter->finished;
    const size_t loads = pageLoads();
    driver->terminateContentProcess();
    kit::Ref<kit::Error> error;
    web->evaluateJavaScript("document.title", [&](kit::Id, kit::Ref<kit::Error> e) { error = e; });
    // A reload has started (or finished) once the queued work has run.
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    if (!web->isLoading() && counter->finished == before) {
      EXPECT_EQ(pageLoads(), loads);
      return false;
    }
    EXPECT_TRUE(kit::test::runUntil([&] { return counter->finished > before; }));
    // A script sent meanwhile had no page to run in, and says so.
    EXPECT_TRUE(error && error->code() == kit::WebErrorWebContentProcessTerminated) << kit::describe(error);
    EXPECT_EQ(pageLoads(), loads + 1);
    return true;
  };
  for (int i = 0; i < kit::WebView::MaxReloadsAfterTermination; ++i) EXPECT_TRUE(endProcess()) << i;
  // A page that stays up long enough starts the count again.
  clock.advance(kit::WebView::ReloadCountResetSeconds);
  for (int i = 0; i < kit::WebView::MaxReloadsAfterTermination; ++i) EXPECT_TRUE(endProcess()) << i;
  EXPECT_FALSE(endProcess()) << "a page that keeps ending is not reloaded in a tight loop";
  EXPECT_EQ(driver->visibleText(), "");

  // Nor is it left blank for good: it is tried again after a pause that
  // doubles with every further end, up to its cap.
  double pause = kit::WebView::FirstRetryPauseSeconds;
  for (int retry = 0; retry < 5; ++retry) {
    const size_t loads = pageLoads();
    clock.advance(pause - 0.5);
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    EXPECT_EQ(pageLoads(), loads) << "retry " << retry << " came before its pause of " << pause << " s";
    const int before = counter->finished;
    clock.advance(0.5);
    ASSERT_TRUE(kit::test::runUntil([&] { return counter->finished > before; })) << "retry " << retry;
    EXPECT_EQ(pageLoads(), loads + 1);
    EXPECT_EQ(driver->visibleText(), "hello");
    EXPECT_FALSE(endProcess()) << "ended again at once, it waits longer";
    pause = std::min(pause * 2, kit::WebView::MaxRetryPauseSeconds);
  }
  EXPECT_EQ(pause, kit::WebView::MaxRetryPauseSeconds);

  // Loaded again, the page answers; the waiting retry is dropped.
  web->reload();
  ASSERT_TRUE(kit::test::runUntil([&] { return driver->visibleText() == "hello"; }));
  const size_t loads = pageLoads();
  clock.advance(kit::WebView::MaxRetryPauseSeconds);
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(pageLoads(), loads);
  kit::Id title;
  web->evaluateJavaScript("document.title", [&](kit::Id value, kit::Ref<kit::Error>) { title = value; });
  ASSERT_TRUE(kit::test::runUntil([&] { return static_cast<bool>(title); }));
  EXPECT_EQ(kit::describe(title), "游戏 & 活动");
}

TEST_F(WebViewTest, AWaitingRetryIsDroppedWhenAnotherNavigationStartsBeforeItsTime) {
  kit::VirtualClock clock;
  kit::test::LogCapture log;
  server->route("GET", "/other.html", TestResponse::html("<title>别处</title>"));
  server->route("GET", "/marker.html", TestResponse::html("<title>标记</title>"));
  auto counter = std::make_shared<FinishCounter>();
  web->setNavigationDelegate(counter);
  web->loadRequest(request("/index.html"));
  ASSERT_TRUE(kit::test::runUntil([&] { return counter->finished == 1; }));
  auto driver = web->pageDriver();

  // The page ends until the view waits before trying it again.
  for (int i = 0; i < kit::WebView::MaxReloadsAfterTermination; ++i) {
    const int before = counter->finished;
    driver->terminateContentProcess();
    ASSERT_TRUE(kit::test::runUntil([&] { return counter->finished > before; })) << i;
  }
  driver->terminateContentProcess();
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_FALSE(web->isLoading());
  ASSERT_TRUE(kit::test::runUntil([&] {
    return log.contains("WebView: the page's content process keeps ending; trying " + server->url("/index.html") +
                        " again in 30 s");
  }));

  // Another navigation starts (and finishes) first.
  const int before = counter->finished;
  web->loadRequest(request("/other.html"));
  ASSERT_TRUE(kit::test::runUntil([&] { return counter->finished == before + 1; }));
  server->clearLog();

  // The retry's time comes and goes (a later timer of the same clock has
  // fired), and whatever it started has had its time to reach the server:
  // the marker, loaded after it, has.
  bool passed = false;
  kit::Queue::main().after(kit::WebView::FirstRetryPauseSeconds + 1, [&] { passed = true; });
  clock.advance(kit::WebView::FirstRetryPauseSeconds + 2);
  ASSERT_TRUE(kit::test::runUntil([&] { return passed; }));
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  ASSERT_TRUE(kit::test::runUntil([&] { return !web->isLoading(); }));
  web->loadRequest(request("/marker.html"));
  ASSERT_TRUE(kit::test::runUntil([&] { return counter->finished == before + 2; }));
  std::vector<std::string> paths;
  for (const auto& r : server->requests()) paths.push_back(r.path);
  EXPECT_EQ(paths, std::vector<std::string>{"/marker.html"}) << "the dropped retry loaded a page";
  EXPECT_EQ(web->URL()->absoluteText(), server->url("/marker.html"));
}

struct PanelDelegate : kit::UIDelegate {
  std::function<void(std::optional<std::string>)> keptPrompt;
  bool dropPrompt = false;
  void runJavaScriptConfirmPanel(kit::WebView&, const std::string& message, const kit::FrameInfo&,
                                 std::function<void(bool)> completion) override {
    completion(message == "确定?");
    completion(false);  // a second answer is ignored
  }
  void runJavaScriptTextInputPanel(kit::WebView&, const std::string&, const std::optional<std::string>&,
                                   const kit::FrameInfo&,
                                   std::function<void(std::optional<std::string>)> completion) override {
    if (!dropPrompt) keptPrompt = completion;
  }
};

TEST_F(WebViewTest, PanelsAreAnsweredExactlyOnce) {
  ASSERT_TRUE(load("/index.html"));
  auto driver = web->pageDriver();
  // Without a UI delegate: alert done, confirm no, prompt no text.
  int alerts = 0;
  std::vector<bool> confirms;
  std::vector<std::optional<std::string>> prompts;
  driver->raiseAlert("hi", [&] { ++alerts; });
  driver->raiseConfirm("确定?", [&](bool ok) { confirms.push_back(ok); });
  driver->raisePrompt("名字", "默认", [&](std::optional<std::string> text) { prompts.push_back(text); });
  EXPECT_EQ(alerts, 1);
  EXPECT_EQ(confirms, std::vector<bool>{false});
  EXPECT_EQ(prompts, std::vector<std::optional<std::string>>{std::nullopt});

  auto panels = std::make_shared<PanelDelegate>();
  web->setUIDelegate(panels);
  driver->raiseConfirm("确定?", [&](bool ok) { confirms.push_back(ok); });
  EXPECT_EQ(confirms, (std::vector<bool>{false, true}));

  // A prompt the delegate leaves unanswered is answered once, with no text.
  panels->dropPrompt = true;
  prompts.clear();
  driver->raisePrompt("名字", "默认", [&](std::optional<std::string> text) { prompts.push_back(text); });
  EXPECT_EQ(prompts, std::vector<std::optional<std::string>>{std::nullopt});

  // A kept prompt answers when the delegate calls it, and only then.
  panels->dropPrompt = false;
  prompts.clear();
  driver->raisePrompt("名字", "默认", [&](std::optional<std::string> text) { prompts.push_back(text); });
  EXPECT_TRUE(prompts.empty());
  panels->keptPrompt("玩家01");
  panels->keptPrompt("again");
  panels->keptPrompt = nullptr;
  EXPECT_EQ(prompts, std::vector<std::optional<std::string>>{std::string("玩家01")});
}

// A screen that owns its web view and is its handler and delegates.
class GameScreen : public kit::ViewController,
                   public kit::ScriptMessageHandler,
                   public kit::NavigationDelegate,
                   public kit::UIDelegate {
 public:
  kit::Ref<kit::WebView> web;
  int messages = 0;
  bool finished = false;
  void viewDidLoad() override {
    auto configuration = kit::WebViewConfiguration::make();
    configuration->userContentController()->addScriptMessageHandler(weakSelf<GameScreen>().lock(), "eventComplete");
    web = kit::WebView::make(view()->bounds(), configuration);
    web->setNavigationDelegate(weakSelf<GameScreen>());
    web->setUIDelegate(weakSelf<GameScreen>());
    web->scrollView()->setScrollEnabled(false);
    view()->addSubview(web);
  }
  void didReceiveScriptMessage(kit::UserContentController&, const kit::Ref<kit::ScriptMessage>&) override {
    ++messages;
    web->evaluateJavaScript("CallbackFromIOS('{\"action\":\"loginNotify\"}')", [](kit::Id, kit::Ref<kit::Error>) {});
  }
  void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { finished = true; }
};

TEST_F(WebViewTest, AScreenThatHandlesItsOwnWebViewIsReleased) {
  kit::Weak<GameScreen> weak;
  kit::Ref<kit::PageDriver> driver;
  {
    auto screen = kit::make<GameScreen>();
    weak = screen;
    screen->loadViewIfNeeded();
    screen->web->loadRequest(request("/index.html"));
    ASSERT_TRUE(kit::test::runUntil([&] { return screen->finished; }));
    driver = screen->web->pageDriver();
    ASSERT_TRUE(driver->postMessage("eventComplete", kit::str("{}")));
    ASSERT_TRUE(kit::test::runUntil([&] { return screen->messages == 1 && driver->callbacks().size() == 1; }));
  }
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(driver->postMessage("eventComplete", kit::str("{}"))) << "the page's view has gone";
}

}  // namespace
