// Test support for the login card's tests (header only, for *_test.cc): the
// card on the key window's root controller, in its login style, reporting
// to a recording delegate of the test's own type, against the platform
// service of PlatformAPITest, with a virtual clock for its pauses.
#pragma once

#include <memory>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/ui/view_controller.h"
#include "platform/account/kt_login_view.h"
#include "platform/account/testing/kt_api_test_fixture.h"

template <class Recorder>
class LoginCardTest : public PlatformAPITest {
 protected:
  void SetUp() override {
    PlatformAPITest::SetUp();
    root = kit::make<kit::ViewController>();
    window->setRootViewController(root);
    card = KTLoginView::make();
    root->view()->addSubview(card);
    recorder = std::make_shared<Recorder>();
    card->delegate = recorder;
    card->setUsingStyle(KTLoginView::Login);
  }
  void TearDown() override {
    kit::RunLoop::main().cancelPreviousPerformRequests(card.get());
    if (root->presentedViewController()) root->dismissViewController(false);
    card.reset();
    root.reset();
    PlatformAPITest::TearDown();
  }
  // The service's player01 (password pass123), asked for no real name, with
  // the one sub-account player01_1.
  void addPlayerWithASubAccount() {
    sim::PlatformAccount account;
    account.userName = "player01";
    account.password = "pass123";
    account.askRealName = false;
    account.subAccounts.push_back({"小号1", "player01_1", "1700000001"});
    platform->addAccount(account);
  }

  kit::VirtualClock clock;
  kit::Ref<kit::ViewController> root;
  kit::Ref<KTLoginView> card;
  std::shared_ptr<Recorder> recorder;
};
