// The browser engine's bridge, with pages served on loopback: the page's own
// script posts to the view's named handlers (heard on the main thread), the
// client's scripts run in the page with their values or the platform's
// errors, panels reach the UI delegate and their answers reach the page,
// user scripts run, and the older view's synchronous scripts wait for the
// page. Each test skips itself where no display can be had.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/run_until.h"
#include "kit/web/browser/browser_engine.h"
#include "kit/web/browser/testing/browser_test_support.h"
#include "kit/web/legacy_web_view.h"
#include "kit/web/testing/web_test_support.h"
#include "kit/web/web_view.h"

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

struct Messages : kit::ScriptMessageHandler {
  std::vector<kit::Ref<kit::ScriptMessage>> received;
  bool onMain = true;
  void didReceiveScriptMessage(kit::UserContentController&, const kit::Ref<kit::ScriptMessage>& message) override {
    onMain = onMain && kit::RunLoop::isMainThread();
    received.push_back(message);
  }
};

struct Finish : kit::NavigationDelegate {
  int finished = 0;
  kit::Ref<kit::Error> error;
  void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { ++finished; }
  void didFailProvisionalNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&,
                                    const kit::Ref<kit::Error>& e) override {
    error = e;
  }
  void didFailNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&, const kit::Ref<kit::Error>& e) override {
    error = e;
  }
};

class BrowserBridgeTest : public kit::test::BrowserEngineTest {
 protected:
  void SetUp() override {
    kit::test::BrowserEngineTest::SetUp();
    if (IsSkipped()) return;
    server = TestServer::startHTTP();
    configuration = kit::WebViewConfiguration::make();
    messages = std::make_shared<Messages>();
    configuration->userContentController()->addScriptMessageHandler(messages, "eventComplete");
    web = kit::WebView::make(kit::Rect{0, 0, 375, 667}, configuration);
    finish = std::make_shared<Finish>();
    web->setNavigationDelegate(finish);
  }
  void TearDown() override {
    web.reset();
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    server.reset();
  }
  bool load(const std::string& path) {
    const int before = finish->finished;
    web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url(path))));
    return kit::test::runUntil([&] { return finish->finished > before || finish->error; });
  }
  // Evaluates a script and waits for its outcome.
  kit::ScriptResult evaluate(const std::string& script) { return kit::test::evaluateScript(*web, script); }

  std::unique_ptr<TestServer> server;
  kit::Ref<kit::WebViewConfiguration> configuration;
  std::shared_ptr<Messages> messages;
  kit::Ref<kit::WebView> web;
  std::shared_ptr<Finish> finish;
};

TEST_F(BrowserBridgeTest, ThePagesOwnScriptPostsOnLoadAndTheHandlerHearsItOnMain) {
  server->route("GET", "/index.html", TestResponse::html(R"(<html><head><title>桥</title></head><body><script>
      window.webkit.messageHandlers.eventComplete.postMessage(JSON.stringify({action: "login", data: {}}));
      window.webkit.messageHandlers.eventComplete.postMessage({n: 1.5, list: [true, null, "文字"]});
    </script></body></html>)"));
  ASSERT_TRUE(load("/index.html"));
  EXPECT_TRUE(kit::isKind<kit::BrowserEngine>(web->pageEngine()));
  ASSERT_TRUE(kit::test::runUntil([&] { return messages->received.size() == 2; }));
  EXPECT_TRUE(messages->onMain);
  EXPECT_EQ(messages->received[0]->name(), "eventComplete");
  EXPECT_EQ(kit::describe(messages->received[0]->body()), R"({"action":"login","data":{}})");
  EXPECT_EQ(messages->received[0]->webView(), web);
  kit::Id object = messages->received[1]->body();
  EXPECT_EQ(kit::describe(object["n"]), "1.5");
  EXPECT_EQ(kit::describe(object["list"][2]), "文字");
  EXPECT_TRUE(kit::isKind<kit::Null>(object["list"][1]));
  // The title comes with the page's own events, observed as it changes.
  EXPECT_TRUE(kit::test::runUntil([&] { return web->title() == "桥"; })) << web->title();

  // A name the view has no handler for is not there: the page's call throws.
  kit::ScriptResult missing = evaluate("window.webkit.messageHandlers.other.postMessage('x')");
  ASSERT_TRUE(missing.error);
  EXPECT_EQ(missing.error->code(), kit::WebErrorJavaScriptExceptionOccurred);
}

TEST_F(BrowserBridgeTest, ScriptsAnswerValuesOrThePlatformsErrorsInOrder) {
  server->route("GET", "/index.html", TestResponse::html("<title>值</title><script>function twice(x) { return x * 2; }</script>"));
  ASSERT_TRUE(load("/index.html"));
  EXPECT_EQ(kit::describe(evaluate("twice(21)").value), "42");
  EXPECT_EQ(kit::describe(evaluate("document.title").value), "值");
  kit::Id object = evaluate("({a: [1, 'b'], c: null})").value;
  EXPECT_EQ(kit::describe(object["a"][1]), "b");
  EXPECT_FALSE(evaluate("undefined").value);

  kit::ScriptResult thrown = evaluate("nope()");
  ASSERT_TRUE(thrown.error);
  EXPECT_EQ(thrown.error->domain(), kit::WebErrorDomain);
  EXPECT_EQ(thrown.error->code(), kit::WebErrorJavaScriptExceptionOccurred);
  EXPECT_NE(kit::describe(kit::Id(thrown.error->userInfo())[kit::JavaScriptExceptionMessageKey]).find("nope"),
            std::string::npos);
  kit::ScriptResult function = evaluate("(function () {})");
  ASSERT_TRUE(function.error);
  EXPECT_EQ(function.error->code(), kit::WebErrorJavaScriptResultTypeIsUnsupported);

  // Many scripts at once answer in the order given.
  std::vector<long> order;
  for (int i = 0; i < 20; ++i)
    web->evaluateJavaScript("window.count = (window.count || 0) + 1",
                            [&](kit::Id value, kit::Ref<kit::Error>) { order.push_back(std::stol(kit::describe(value))); });
  ASSERT_TRUE(kit::test::runUntil([&] { return order.size() == 20; }));
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], static_cast<long>(i + 1));
}

struct Panels : kit::UIDelegate {
  std::vector<std::string> shown;
  bool confirmAnswer = true;
  void runJavaScriptAlertPanel(kit::WebView&, const std::string& message, const kit::FrameInfo&,
                               std::function<void()> done) override {
    shown.push_back("alert:" + message);
    done();
  }
  void runJavaScriptConfirmPanel(kit::WebView&, const std::string& message, const kit::FrameInfo&,
                                 std::function<void(bool)> done) override {
    shown.push_back("confirm:" + message);
    done(confirmAnswer);
  }
  void runJavaScriptTextInputPanel(kit::WebView&, const std::string& prompt, const std::optional<std::string>& preset,
                                   const kit::FrameInfo&, std::function<void(std::optional<std::string>)> done) override {
    shown.push_back("prompt:" + prompt + "/" + preset.value_or("-"));
    done(std::string("玩家01"));
  }
};

// Any script runs as the page's own would, and answers the value of its
// last statement.
TEST_F(BrowserBridgeTest, StatementScriptsAnswerTheirLastStatementsValue) {
  server->route("GET", "/index.html", TestResponse::html(
      R"(<head><meta name="viewport" content="width=device-width"><title>句</title></head>)"));
  ASSERT_TRUE(load("/index.html"));
  kit::ScriptResult assigned =
      evaluate(R"(document.getElementsByName("viewport")[0].content = "width=375, user-scalable=no";)");
  EXPECT_FALSE(assigned.error) << kit::describe(assigned.error);
  EXPECT_EQ(kit::describe(assigned.value), "width=375, user-scalable=no");
  EXPECT_EQ(kit::describe(evaluate("document.querySelector('meta').content").value), "width=375, user-scalable=no");
  EXPECT_EQ(kit::describe(evaluate("var n = 20;\nn += 1;\nn * 2; // the answer\n").value), "42");
  EXPECT_FALSE(evaluate("var unused = 1;").value);
  EXPECT_EQ(kit::describe(evaluate("if (n > 1) { 'many' } else { 'one' }").value), "many");

  kit::ScriptResult thrown = evaluate("throw new Error('坏了');");
  ASSERT_TRUE(thrown.error);
  EXPECT_EQ(thrown.error->code(), kit::WebErrorJavaScriptExceptionOccurred);
  EXPECT_NE(kit::describe(kit::Id(thrown.error->userInfo())[kit::JavaScriptExceptionMessageKey]).find("坏了"),
            std::string::npos);
  kit::ScriptResult broken = evaluate("var = ;");
  ASSERT_TRUE(broken.error);
  EXPECT_EQ(broken.error->code(), kit::WebErrorJavaScriptExceptionOccurred);
  EXPECT_NE(kit::describe(kit::Id(broken.error->userInfo())[kit::JavaScriptExceptionMessageKey]).find("SyntaxError"),
            std::string::npos)
      << kit::describe(broken.error);
}

TEST_F(BrowserBridgeTest, PanelsReachTheUIDelegateAndTheirAnswersReachThePage) {
  server->route("GET", "/index.html", TestResponse::html("<title>面板</title>"));
  ASSERT_TRUE(load("/index.html"));
  // Without a UI delegate: the page hears no and no text.
  EXPECT_EQ(kit::describe(evaluate("String(confirm('确定?')) + '/' + String(prompt('名字'))").value), "false/null");

  auto panels = std::make_shared<Panels>();
  web->setUIDelegate(panels);
  EXPECT_EQ(kit::describe(evaluate("alert('你好'); confirm('确定?') + '/' + prompt('名字', '默认')").value),
            "true/玩家01");
  EXPECT_EQ(panels->shown, (std::vector<std::string>{"alert:你好", "confirm:确定?", "prompt:名字/默认"}));
  panels->confirmAnswer = false;
  EXPECT_EQ(kit::describe(evaluate("confirm('再来?')").value), "0");
}

TEST_F(BrowserBridgeTest, UserScriptsRunAndHandlersAddedLaterAreThereOnTheNextPage) {
  server->route("GET", "/index.html", TestResponse::html("<title>脚本</title><script>window.seen = window.injected;</script>"));
  configuration->userContentController()->addUserScript(
      kit::UserScript::make("window.injected = 'start';", kit::UserScriptInjectionTime::AtDocumentStart, true));
  ASSERT_TRUE(load("/index.html"));
  EXPECT_EQ(kit::describe(evaluate("window.seen").value), "start");
  EXPECT_FALSE(kit::describe(evaluate("typeof window.webkit.messageHandlers.late").value) == "object");

  auto late = std::make_shared<Messages>();
  configuration->userContentController()->addScriptMessageHandler(late, "late");
  ASSERT_TRUE(load("/index.html"));
  evaluate("window.webkit.messageHandlers.late.postMessage('ok')");
  ASSERT_TRUE(kit::test::runUntil([&] { return late->received.size() == 1; }));
  EXPECT_EQ(kit::describe(late->received[0]->body()), "ok");
}

TEST_F(BrowserBridgeTest, TheOlderViewsScriptsWaitForThePage) {
  server->route("GET", "/pay", TestResponse::html("<title>收银台</title><script>var order = 7;</script>"));
  auto legacy = kit::LegacyWebView::make(kit::Rect{0, 0, 375, 600});
  struct Done : kit::LegacyWebViewDelegate {
    bool finished = false;
    void webViewDidFinishLoad(kit::LegacyWebView&) override { finished = true; }
  };
  auto done = std::make_shared<Done>();
  legacy->delegate = done;
  legacy->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/pay"))));
  ASSERT_TRUE(kit::test::runUntil([&] { return done->finished; }));
  EXPECT_EQ(legacy->stringByEvaluatingJavaScriptFromString("document.title"), "收银台");
  EXPECT_EQ(legacy->stringByEvaluatingJavaScriptFromString("order + 1"), "8");
  EXPECT_EQ(legacy->stringByEvaluatingJavaScriptFromString("missing()"), "");
  // The older view has no script message handlers.
  EXPECT_EQ(legacy->stringByEvaluatingJavaScriptFromString("typeof window.webkit"), "undefined");
}

}  // namespace
