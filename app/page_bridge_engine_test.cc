// The script bridge with the game page's script running in the browser
// engine: the page's own "login" on load reaches the handler on the main
// thread; every answer the client writes with CallbackFromIOS reaches the
// page as exactly the JSON text that was sent, whatever the text holds
// (the page echoes what it received), bytes that are not UTF-8 arriving as
// one U+FFFD for each ill-formed sequence; and a confirm() of the page shows the
// client's alert, whose pressed button answers the page. Skips itself
// without a display.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/page_message.h"
#include "app/view_controller.h"
#include "config/client_configuration.h"
#include "channel/core/jhl_core_entity.h"
#include "data/json/json_text.h"
#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/run_until.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"
#include "kit/web/browser/testing/browser_test_support.h"
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

class PageBridge : public kit::test::BrowserEngineTest {
 protected:
  void TearDown() override {
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    server.reset();
  }
  std::unique_ptr<TestServer> server = TestServer::startHTTP();
  kit::DeviceProfileScope phone{kit::DeviceProfile::phone375x667()};
};

TEST_F(PageBridge, ThePagesLoginArrivesOnMainAndEveryAnswerArrivesAsSent) {
  server->route("GET", "/index.html", TestResponse::html(R"(<html><head><title>桥</title></head><body><script>
      window.webkit.messageHandlers.eventComplete.postMessage(JSON.stringify({action: "login", data: {}}));
      function CallbackFromIOS(text) { window.webkit.messageHandlers.echo.postMessage(text); }
    </script></body></html>)"));
  const auto start = std::chrono::steady_clock::now();
  auto configuration = kit::WebViewConfiguration::make();
  auto events = std::make_shared<Messages>();
  auto echoes = std::make_shared<Messages>();
  configuration->userContentController()->addScriptMessageHandler(events, "eventComplete");
  configuration->userContentController()->addScriptMessageHandler(echoes, "echo");
  auto web = kit::WebView::make(kit::Rect{0, 0, 375, 667}, configuration);
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/index.html"))));
  ASSERT_TRUE(kit::test::runUntil([&] { return events->received.size() == 1; }));
  // Run alone, this is the engine's cold start: GTK, WebKit's processes and the page.
  std::printf("first page message %lld ms after the web view was made\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count()));
  EXPECT_TRUE(events->onMain);
  EXPECT_EQ(kit::describe(events->received[0]->body()), R"({"action":"login","data":{}})");

  std::string megabyte;
  while (megabyte.size() < (1u << 20)) megabyte += "长文本 'quote' \"double\" \\ </script> ";
  struct Hostile {
    kit::Id text;
    std::string arrives;  // the text the page reads
  };
  auto same = [](kit::Id text) { return Hostile{text, kit::describe(text)}; };
  const std::vector<Hostile> hostile = {
      same(kit::str("O'Neil said \"hi\"")),
      same(kit::str("back\\slash \\' \\\\ \\n")),
      same(kit::str("</script><script>window.hacked = 1</script>")),
      same(kit::str("line\xE2\x80\xA8separator\xE2\x80\xA9paragraph\nnewline\rreturn\ttab")),
      // The JSON text carries a lone surrogate as "?".
      {kit::String::fromUTF16(u"lone \xD83D high and \xDC00 low"), "lone ? high and ? low"},
      same(kit::str(megabyte)),
      // Bytes that are not UTF-8: one U+FFFD for each ill-formed sequence,
      // as the WHATWG decoder counts them (a truncated sequence is one, an
      // overlong or out-of-range one is one per byte).
      {kit::str("cut \xE2\x82 short \xF0\x9F\x98|"), "cut \uFFFD short \uFFFD|"},
      {kit::str("overlong \xC0\xAF beyond \xF4\x90\x80\x80 stray \x80\xBF end \xFF"),
       "overlong \uFFFD\uFFFD beyond \uFFFD\uFFFD\uFFFD\uFFFD stray \uFFFD\uFFFD end \uFFFD"},
      {kit::str("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"),
       "a\uFFFD\uFFFD\uFFFD" "b\uFFFD" "c\uFFFD\uFFFD" "d"},
      {kit::str("quote ' after \xE6\x9C' and \xE6\x9C\\"), "quote ' after \uFFFD' and \uFFFD\\"},
  };
  for (const Hostile& h : hostile) {
    auto message = kit::dict({{"action", "loginNotify"}, {"data", kit::dict({{"token", h.text}, {"n", 1}})}});
    const std::string sent = JSONString(*message)->utf8();
    const std::string expected =
        JSONString(*kit::dict({{"action", "loginNotify"}, {"data", kit::dict({{"token", h.arrives}, {"n", 1}})}}))
            ->utf8();
    const size_t before = echoes->received.size();
    bool evaluated = false;
    kit::Ref<kit::Error> error;
    web->evaluateJavaScript(PageMessage::callbackScript(message)->utf8(), [&](kit::Id, kit::Ref<kit::Error> e) {
      error = e;
      evaluated = true;
    });
    ASSERT_TRUE(kit::test::runUntil([&] { return evaluated && echoes->received.size() > before; }))
        << sent.substr(0, 80) << " error " << kit::describe(error);
    EXPECT_FALSE(error) << kit::describe(error);
    EXPECT_TRUE(echoes->onMain);
    const std::string received = kit::describe(echoes->received.back()->body());
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected) << "expected " << expected.substr(0, 120) << "\nreceived "
                                      << received.substr(0, 120);
  }
  bool checked = false;
  std::string hacked;
  web->evaluateJavaScript("typeof window.hacked", [&](kit::Id value, kit::Ref<kit::Error>) {
    hacked = kit::describe(value);
    checked = true;
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return checked; }));
  EXPECT_EQ(hacked, "undefined") << "nothing in an answer ran as script";
}

TEST_F(PageBridge, APageConfirmShowsTheClientsAlertAndThePressedButtonAnswersThePage) {
  server->route("GET", "/index.html", TestResponse::html("<title>确认</title><script>var answers = [];</script>"));
  ClientConfiguration::shared().setOverrides(kit::dict({{ClientConfiguration::kGamePage, server->url("/index.html")}}));
  kit::Application::shared()->reset();
  auto controller = kit::make<ViewController>(JHLCoreEntity::sharedInstance());
  auto window = kit::Window::make();
  window->setRootViewController(controller);
  window->makeKeyAndVisible();
  ASSERT_TRUE(kit::test::runUntil([&] { return controller->pageFinished(); }));

  for (const char* button : {"确认", "取消"}) {
    bool answered = false;
    std::string answer;
    controller->wkWebView()->evaluateJavaScript("confirm('要退出吗?')", [&](kit::Id value, kit::Ref<kit::Error> e) {
      answer = e ? "error" : kit::describe(value);
      answered = true;
    });
    kit::Ref<kit::AlertController> alert;
    ASSERT_TRUE(kit::test::runUntil([&] {
      alert = kit::as<kit::AlertController>(controller->presentedViewController());
      return alert && alert->isViewLoaded();
    }));
    EXPECT_EQ(alert->alertTitle(), "提示");
    EXPECT_EQ(alert->message(), "要退出吗?");
    ASSERT_EQ(alert->actions().size(), 2u);
    EXPECT_EQ(alert->actions()[0]->title(), "取消");
    EXPECT_EQ(alert->actions()[1]->title(), "确认");
    EXPECT_FALSE(answered) << "the page waits for the player";
    ASSERT_TRUE(kit::test::pressAlertAction(*alert, button));
    ASSERT_TRUE(kit::test::runUntil([&] { return answered && !controller->presentedViewController(); }));
    EXPECT_EQ(answer, std::string(button) == "确认" ? "1" : "0");
  }
  window->setHidden(true);
  kit::Application::shared()->reset();
  ClientConfiguration::shared().setOverrides(nullptr);
}

}  // namespace
