// The older in-app web view against a loopback server: every load and
// redirect is asked of the delegate, the title comes from the fetched page,
// failures carry kit networking's codes, the history goes back, and a page
// whose content process ended is loaded again (after a growing pause when
// it keeps ending; a waiting retry is dropped when another load starts
// first).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/web/legacy_web_view.h"
#include "kit/web/testing/web_test_support.h"

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

struct LegacyRecorder : kit::LegacyWebViewDelegate {
  std::vector<std::string> asked;
  std::vector<kit::LegacyNavigationType> types;
  std::vector<std::string> events;
  kit::Ref<kit::Error> error;
  std::string refuse;  // a path whose loads are refused

  bool shouldStartLoadWithRequest(kit::LegacyWebView&, const kit::Ref<kit::URLRequest>& request,
                                  kit::LegacyNavigationType type) override {
    const std::string url = request->URL()->absoluteText();
    asked.push_back(url);
    types.push_back(type);
    return refuse.empty() || url.find(refuse) == std::string::npos;
  }
  void webViewDidStartLoad(kit::LegacyWebView&) override { events.push_back("start"); }
  void webViewDidFinishLoad(kit::LegacyWebView&) override { events.push_back("finish"); }
  void didFailLoadWithError(kit::LegacyWebView&, const kit::Ref<kit::Error>& e) override {
    events.push_back("fail");
    error = e;
  }
  bool ended() const { return !events.empty() && (events.back() == "finish" || events.back() == "fail"); }
};

class LegacyWebViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = TestServer::startHTTP();
    server->route("GET", "/pay", TestResponse::redirect("/cashier?order=7"));
    server->route("GET", "/cashier", TestResponse::html("<html><title>收银台</title><body>支付</body></html>"));
    server->route("GET", "/done", TestResponse::html("<title>完成</title>"));
    web = kit::LegacyWebView::make(kit::Rect{0, 0, 375, 600});
    recorder = std::make_shared<LegacyRecorder>();
    web->delegate = recorder;
  }
  void TearDown() override {
    web.reset();
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    server.reset();
  }
  bool load(const std::string& url) {
    recorder->events.clear();
    web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(url)));
    return kit::test::runUntil([&] { return recorder->ended(); });
  }

  std::unique_ptr<TestServer> server;
  kit::Ref<kit::LegacyWebView> web;
  std::shared_ptr<LegacyRecorder> recorder;
};

TEST_F(LegacyWebViewTest, ARedirectIsAskedForBothAddressesAndTheTitleIsThePages) {
  ASSERT_TRUE(load(server->url("/pay")));
  EXPECT_EQ(recorder->asked, (std::vector<std::string>{server->url("/pay"), server->url("/cashier?order=7")}));
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "finish"}));
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "收银台");
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("window.location.href"), server->url("/cashier?order=7"));
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("nonsense("), "") << "a failing script gives no text";
  EXPECT_EQ(web->request()->URL()->absoluteText(), server->url("/cashier?order=7"));
  EXPECT_FALSE(web->isLoading());

  // A refused redirect stops the load, reported as interrupted.
  recorder->refuse = "/cashier";
  recorder->asked.clear();
  server->clearLog();
  ASSERT_TRUE(load(server->url("/pay")));
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "fail"}));
  EXPECT_EQ(recorder->error->code(), kit::WebKitErrorFrameLoadInterruptedByPolicyChange);
  EXPECT_EQ(server->requestCount(), 1u);

  // A refused first request does nothing at all.
  recorder->refuse = "/done";
  recorder->events.clear();
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/done"))));
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->asked.back() == server->url("/done"); }));
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_TRUE(recorder->events.empty());
  EXPECT_FALSE(web->isLoading());
}

TEST_F(LegacyWebViewTest, HistoryGoesBackAndLinksAreAsked) {
  ASSERT_TRUE(load(server->url("/cashier")));
  EXPECT_FALSE(web->canGoBack());
  recorder->events.clear();
  ASSERT_TRUE(web->pageDriver()->followLink("/done"));
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->ended(); }));
  EXPECT_EQ(recorder->types.back(), kit::LegacyNavigationType::LinkClicked);
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "完成");
  ASSERT_TRUE(web->canGoBack());
  recorder->events.clear();
  web->goBack();
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->ended(); }));
  EXPECT_EQ(recorder->types.back(), kit::LegacyNavigationType::BackForward);
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "收银台");
  EXPECT_FALSE(web->canGoBack());
  EXPECT_TRUE(web->canGoForward());
  EXPECT_EQ(web->historyList().size(), 2u);
}

TEST_F(LegacyWebViewTest, FailuresCarryNetworkCodesAndTheScrollViewKeepsItsBounce) {
  ASSERT_TRUE(load(kit::test::closedPortURL("/pay")));
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "fail"}));
  EXPECT_EQ(recorder->error->code(), kit::URLErrorCannotConnectToHost);
  // A scheme nothing loads (a copy link of a chat page) fails too.
  ASSERT_TRUE(load("tolcopy://copy?abc"));
  EXPECT_EQ(recorder->events.back(), "fail");
  EXPECT_EQ(recorder->asked.back(), "tolcopy://copy?abc");

  web->scrollView()->setBounces(false);
  EXPECT_FALSE(web->scrollView()->bounces());
  web->loadHTMLString("<title>本地</title>", nullptr);
  recorder->events.clear();
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->ended(); }));
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "本地");
}

TEST_F(LegacyWebViewTest, AnEndedContentProcessReloadsThePageAndOneThatKeepsEndingWaitsAPause) {
  kit::VirtualClock clock;
  kit::test::LogCapture log;
  const std::string cashier = server->url("/cashier");
  ASSERT_TRUE(load(cashier));
  auto driver = web->pageDriver();
  ASSERT_EQ(driver->visibleText(), "支付");
  auto cashierLoads = [&] {
    const auto requests = server->requests();
    return std::count_if(requests.begin(), requests.end(), [](auto& r) { return r.path == "/cashier"; });
  };

  // Ends the page's process; true when the view loaded the page again by
  // itself, asked of the delegate as a reload, and shows it.
  auto endProcess = [&] {
    const auto loads = cashierLoads();
    recorder->events.clear();
    recorder->types.clear();
    driver->terminateContentProcess();
    EXPECT_EQ(driver->visibleText(), "");
    // A reload has been asked for once the work queued meanwhile has run.
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    if (recorder->events.empty()) return false;
    EXPECT_TRUE(kit::test::runUntil([&] { return recorder->ended(); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_EQ(recorder->types, std::vector<kit::LegacyNavigationType>{kit::LegacyNavigationType::Reload});
    EXPECT_EQ(cashierLoads(), loads + 1);
    EXPECT_EQ(driver->visibleText(), "支付");
    return true;
  };
  ASSERT_TRUE(endProcess());
  EXPECT_TRUE(kit::test::runUntil(
      [&] { return log.contains("LegacyWebView: the page's content process ended; reloading " + cashier); }));
  for (int i = 1; i < kit::PageRecovery::MaxReloadsInARow; ++i) EXPECT_TRUE(endProcess()) << i;

  // One that keeps ending waits, and the pause grows.
  double pause = kit::PageRecovery::FirstRetryPauseSeconds;
  for (int retry = 0; retry < 2; ++retry) {
    EXPECT_FALSE(endProcess()) << "retry " << retry << " came at once";
    EXPECT_TRUE(kit::test::runUntil([&] {
      return log.contains("LegacyWebView: the page's content process keeps ending; trying " + cashier + " again in " +
                          std::to_string(static_cast<int>(pause)) + " s");
    }));
    const auto loads = cashierLoads();
    clock.advance(pause - 0.5);
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    EXPECT_TRUE(recorder->events.empty()) << "retry " << retry << " came before its pause of " << pause << " s";
    clock.advance(0.5);
    ASSERT_TRUE(kit::test::runUntil([&] { return recorder->ended(); })) << "retry " << retry;
    EXPECT_EQ(recorder->events.back(), "finish");
    EXPECT_EQ(cashierLoads(), loads + 1);
    EXPECT_EQ(driver->visibleText(), "支付");
    EXPECT_TRUE(kit::test::runUntil([&] { return log.contains("LegacyWebView: trying " + cashier + " again"); }));
    pause *= 2;
  }

  // A page that stays up long enough starts the count again.
  clock.advance(kit::PageRecovery::CountResetSeconds);
  EXPECT_TRUE(endProcess());
}

TEST_F(LegacyWebViewTest, AWaitingRetryIsDroppedWhenAnotherLoadStartsBeforeItsTime) {
  kit::VirtualClock clock;
  kit::test::LogCapture log;
  server->route("GET", "/marker", TestResponse::html("<title>标记</title>"));
  const std::string cashier = server->url("/cashier");
  ASSERT_TRUE(load(cashier));
  auto driver = web->pageDriver();

  // The page ends until the view waits before trying it again.
  for (int i = 0; i < kit::PageRecovery::MaxReloadsInARow; ++i) {
    recorder->events.clear();
    driver->terminateContentProcess();
    ASSERT_TRUE(kit::test::runUntil([&] { return recorder->ended(); })) << i;
    ASSERT_EQ(recorder->events.back(), "finish") << i;
  }
  recorder->events.clear();
  driver->terminateContentProcess();
  ASSERT_TRUE(kit::test::runUntil([&] {
    return log.contains("LegacyWebView: the page's content process keeps ending; trying " + cashier + " again in 30 s");
  }));
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_FALSE(web->isLoading());
  EXPECT_TRUE(recorder->events.empty());

  // Another load starts (and finishes) first.
  ASSERT_TRUE(load(server->url("/done")));
  ASSERT_EQ(recorder->events, (std::vector<std::string>{"start", "finish"}));
  server->clearLog();
  recorder->asked.clear();
  recorder->events.clear();

  // The retry's time comes and goes (a later timer of the same clock has
  // fired), and whatever it started has had its time to reach the server:
  // the marker, loaded after it, has.
  bool passed = false;
  kit::Queue::main().after(kit::PageRecovery::FirstRetryPauseSeconds + 1, [&] { passed = true; });
  clock.advance(kit::PageRecovery::FirstRetryPauseSeconds + 2);
  ASSERT_TRUE(kit::test::runUntil([&] { return passed; }));
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  ASSERT_TRUE(kit::test::runUntil([&] { return !web->isLoading(); }));
  EXPECT_TRUE(recorder->events.empty()) << "the dropped retry started a load";
  ASSERT_TRUE(load(server->url("/marker")));
  std::vector<std::string> paths;
  for (const auto& r : server->requests()) paths.push_back(r.path);
  EXPECT_EQ(paths, std::vector<std::string>{"/marker"}) << "the dropped retry loaded a page";
  EXPECT_EQ(recorder->asked, std::vector<std::string>{server->url("/marker")});
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "标记");
  EXPECT_FALSE(log.contains("LegacyWebView: trying " + cashier + " again"));
}

}  // namespace
