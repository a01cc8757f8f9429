// The web pay page against the platform's pages on loopback: how official
// and cashier pages are requested, the spinner through loads that finish,
// fail or never start, and the sheet's callback on returns to the client
// and on the back action.
#include "platform/account/kt_web_pay_vc.h"

#include <gtest/gtest.h>

#include "kit/foundation/property_list.h"
#include "kit/testing/log_capture.h"
#include "kit/web/testing/web_test_support.h"
#include "kit/ui/application.h"
#include "platform/account/testing/kt_api_test_fixture.h"
#include "platform/account/kt_pay_api.h"
#include "sim/platform_web_pages.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

class WebPayPage : public PlatformAPITest {
 protected:
  void SetUp() override {
    PlatformAPITest::SetUp();
    server->routePage("/h5", [](const kit::test::RecordedRequest&) {
      return kit::test::TestResponse::html("<title>官方支付</title><p>支付</p>");
    });
  }
  // A page for `url`, shown as the window's root (which loads it); counts
  // the sheet's callbacks.
  kit::Ref<KTWebPayVC> show(const std::string& url, bool official, bool withCallback = true) {
    auto page = kit::make<KTWebPayVC>();
    page->setUrl(kit::str(url));
    page->setIsGFWXH5(official);
    if (withCallback) {
      page->setWebViewCallBack([this](const kit::Ref<KTWebPayVC>& p) {
        ++callbacks;
        lastCaller = p;
      });
    }
    window->setRootViewController(page);
    return page;
  }
  bool loaded(KTWebPayVC& page) { return kit::test::runUntil([&] { return !page.avi()->isAnimating(); }); }
  kit::test::RecordedRequest lastPageRequest() const {
    auto requests = server->requests();
    return requests.empty() ? kit::test::RecordedRequest{} : requests.back();
  }
  void returnToTheClient() {
    auto app = kit::Application::shared();
    app->resignActive();
    app->becomeActive();
  }

  kit::test::LogCapture logs;
  int callbacks = 0;
  kit::Weak<KTWebPayVC> lastCaller;
};

TEST_F(WebPayPage, AnOfficialPageIsEscapedOnceAndCarriesTheReferer) {
  auto page = show(server->origin() + "/h5?a=b c&d=中", true);
  ASSERT_TRUE(loaded(*page));
  auto request = lastPageRequest();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target(), "/h5?a=b%20c&d=%E4%B8%AD");
  EXPECT_EQ(request.header("Referer").value_or(""), "127.0.0.1://");
  EXPECT_EQ(page->webView()->request()->timeoutInterval(), 60);
  EXPECT_EQ(page->webView()->stringByEvaluatingJavaScriptFromString("document.title"), "官方支付");
  EXPECT_TRUE(logs.contains("开始加载"));

  // Escapes already there stay; reserved characters stay; a lone "%" and
  // everything else that may not stand in a URL is escaped.
  EXPECT_EQ(KTWebPayVC::escapedAddress("http://h/p?v=%41%4&w=%zz [x]#f|g"),
            "http://h/p?v=%41%254&w=%25zz%20[x]#f%7Cg");
  EXPECT_EQ(KTWebPayVC::escapedAddress("%"), "%25");
  EXPECT_EQ(KTWebPayVC::escapedAddress(""), "");

  // The Referer comes from KT.plist when it names one.
  auto plist = kit::MutableDictionary::make();
  plist->addEntriesFromDictionary(*ShareVale::sharedInstance()->getKTPlist());
  plist->setObject(kit::str("pay.example.test://"), std::string_view(KTWebPayVC::kRefererKey));
  bundle.writeKTPlist(plist);
  EXPECT_EQ(KTWebPayVC::refererValue(), "pay.example.test://");
}

TEST_F(WebPayPage, AnOfficialOrderIsPaidOnItsPageWhichChecksTheReferer) {
  sim::PlatformAccount account;
  account.userName = "player01";
  platform->addAccount(account);
  storeUserName("player01");
  Outcome order;
  KTPayAPI::doWxPayWithMoney(kit::str("6"), kit::str("6"), nullptr, kit::str("W1"), kit::str("1"), kit::str("r1"),
                             kit::str("s1"), kit::str("月卡"), kit::str("d"), kit::str("cp"), kit::str("wxh5/h5pay"),
                             order.success<NotifyServer>(), order.failure());
  ASSERT_TRUE(order.wait());
  ASSERT_TRUE(order.succeeded) << d(order.message);
  const std::string url = d(kit::as<NotifyServer>(order.result)->url());

  // Requested as a cashier page, it goes out without the Referer and is refused.
  auto plain = show(url, false);
  ASSERT_TRUE(loaded(*plain));
  EXPECT_FALSE(lastPageRequest().header("Referer"));
  EXPECT_EQ(lastPageRequest().target(), url.substr(server->origin().size()));
  EXPECT_EQ(plain->webView()->stringByEvaluatingJavaScriptFromString("document.title"),
            sim::PlatformWebPages::kRefusedText);

  auto official = show(url, true);
  ASSERT_TRUE(loaded(*official));
  EXPECT_EQ(official->webView()->stringByEvaluatingJavaScriptFromString("document.title"), "微信支付");
  ASSERT_TRUE(official->webView()->pageDriver()->followLink("/" + std::string(sim::PlatformWebPages::kPayPath) +
                                                             "?order=W1"));
  ASSERT_TRUE(kit::test::runUntil([&] { return platform->order("W1")->paid; }));
}

TEST_F(WebPayPage, TheSpinnerStopsOnlyWhenAPageFinishes) {
  auto page = show(kit::test::closedPortURL("/appview/pay/cashier?order=1"), false);
  EXPECT_EQ(page->avi()->frame(), (kit::Rect{375 / 2.0 - 50, 667 / 2.0 - 80, 100, 100}));
  EXPECT_EQ(page->avi()->superview(), page->view());
  EXPECT_EQ(page->webView()->frame(), page->view()->bounds());
  EXPECT_TRUE(page->avi()->color()->isEqual(*kit::Color::redColor()));
  ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("加载失败"); }));
  EXPECT_TRUE(page->avi()->isAnimating()) << "a failed load leaves the spinner turning";
  EXPECT_TRUE(page->shouldStartLoadWithRequest(*page->webView(), nullptr, kit::LegacyNavigationType::LinkClicked));
  EXPECT_FALSE(page->shouldAutorotate());
  EXPECT_EQ(page->preferredInterfaceOrientationForPresentation(), kit::InterfaceOrientation::Portrait);

  // A cashier address with a blank does not parse: nothing loads, the
  // back action still reports.
  auto broken = show(server->origin() + "/appview/pay/cashier?order=a b", false);
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_FALSE(broken->webView()->isLoading());
  EXPECT_FALSE(broken->webView()->request());
  EXPECT_TRUE(broken->avi()->isAnimating());
  broken->popAction();
  EXPECT_EQ(callbacks, 1);
}

TEST_F(WebPayPage, AskedForItsWebViewFirstThePageLoadsIntoTheOneItShows) {
  auto page = kit::make<KTWebPayVC>();
  page->setUrl(kit::str(server->origin() + "/h5"));
  auto web = page->webView();
  EXPECT_EQ(web->superview(), page->view());
  EXPECT_EQ(page->webView(), web);
  ASSERT_TRUE(loaded(*page));
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "官方支付");
}

TEST_F(WebPayPage, EveryReturnToTheClientAndTheBackActionCallTheSheet) {
  auto page = show(server->origin() + "/h5", false);
  ASSERT_TRUE(loaded(*page));
  returnToTheClient();
  EXPECT_EQ(callbacks, 1);
  EXPECT_EQ(lastCaller.lock(), page);
  returnToTheClient();
  EXPECT_EQ(callbacks, 2);
  page->popAction();
  EXPECT_EQ(callbacks, 3);

  // Without a callback, neither does anything.
  page->setWebViewCallBack(nullptr);
  returnToTheClient();
  page->popAction();
  EXPECT_EQ(callbacks, 3);

  // Once the page is gone, a return calls nothing.
  page->setWebViewCallBack([this](const kit::Ref<KTWebPayVC>&) { ++callbacks; });
  kit::Weak<KTWebPayVC> weak = page;
  window->setRootViewController(kit::ViewController::make());
  page.reset();
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  ASSERT_TRUE(weak.expired());
  EXPECT_TRUE(logs.contains("web销毁了"));
  returnToTheClient();
  EXPECT_EQ(callbacks, 3);
}

}  // namespace
