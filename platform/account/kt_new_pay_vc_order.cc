// The pay sheet's order flow: the order of each pay style, the web pay page
// and its return, the result notice, the result polling and closing the
// sheet. See kt_new_pay_vc.h.
//
// An app payment shows the wallet's result; a success that does not name
// the sheet's order exactly is shown as paying and polled for, as a web
// payment is, and another order's cancel or failure lets the player press
// pay again.
//
// Once the platform is asked whether the order is paid, its answer decides:
// the wallet's cancel or failure of the order, arriving while the polling
// runs or after it, neither stops it nor shows anything, so the outcome
// does not hang on which came first. A cancel or failure that shows first
// is not overwritten by a polling answer still on its way.
//
// A paid order stays paid: the first result that says so (the wallet's
// success naming the order, the platform's answer to the polling, or an
// order with nothing to pay) is final, and later results, a cancel for the
// same order included, change nothing; its pay button goes off and nothing
// turns it on again. Once the player left the notice, or the sheet itself
// closes, no result shows anything, so the game hears the order's outcome
// once and nothing comes back over it.
//
// An order that fails keeps the sheet open for another try and tells the
// order's failure block each time; closing the sheet with its back button
// before a result tells neither block. Amounts that cannot be paid place no
// order and tell no block: the toast says so and the sheet stays.
#include "config/client_configuration.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/log.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/application.h"
#include "kit/ui/navigation_controller.h"
#include "net/mutable_dictionary_fields.h"
#include "platform/account/cxr_helper_btn_port.h"
#include "platform/account/cxr_message.h"
#include "platform/account/cxr_window_manager.h"
#include "platform/account/kt_new_pay_vc.h"
#include "platform/account/kt_pay_api.h"
#include "platform/account/kt_pay_plug.h"
#include "platform/account/kt_web_pay_vc.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/share_vale.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

kit::Ref<kit::String> orderNumber() { return kit::str(NSStringURLEncode::getOrderNumber()); }
kit::Ref<kit::String> coinsText(const kit::Ref<kit::String>& yuan) {
  return kit::format("%d", KTNewPayVC::coinsOf(yuan));
}

}  // namespace

void KTNewPayVC::doPay() {
  KIT_CHECK_MAIN_THREAD();
  if (payStyle_ < 1 || payStyle_ > 6) return;
  // No order for an amount the sheet cannot stand behind: a discount out of
  // (0, 1], an amount that is no number, or one that came to nothing
  // without a coupon paying for it.
  if (!amountsArePayable()) {
    CXRMessage::showMessage(kit::str(kBadAmount), view());
    return;
  }
  switch (payStyle_) {
    case 1: goToPayWithType("wx", "微信支付"); break;
    case 2: goToPayWithType("qb", "钱包支付"); break;
    case 3: goToPtbPay(); break;
    case 4: goToDjqPay(); break;
    case 5: goToWalletPayAppPay(); break;
    case 6: goToGFWxPay(); break;
    default: break;
  }
}

// A failed H5, app or official WeChat order: "11" needs no payment; any
// other message is shown here and the order hears it could not be placed,
// unless it is paid by then (an earlier payment's success came while this
// order was out): the game hears the paid outcome alone.
void KTNewPayVC::orderFailed(const Text& message) {
  if (isPaid()) return;
  if (kit::describe(message) == "11") {
    payWithFree();
    return;
  }
  payAgain();
  CXRMessage::showMessage(message, view());
  if (order_.failed) order_.failed(kit::str(kNotNotified), kit::str("3"), order_.money);
}

// Shows an H5 order's pay page above the sheet; its return reaches the sheet.
// An order placed before the sheet learned it is paid is not paid again.
void KTNewPayVC::pushWebPayPage(const kit::Ref<kit::String>& url, bool official, const std::string& title) {
  if (!navigationController() || isPaid()) return;
  auto page = kit::make<KTWebPayVC>();
  page->setUrl(url);
  page->setIsGFWXH5(official);
  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  page->setWebViewCallBack([weak](const kit::Ref<KTWebPayVC>& returned) {
    if (auto sheet = weak.lock()) sheet->webPayReturned(returned);
  });
  navigationController()->pushViewController(page, true);
  page->setTitle(title);
}

void KTNewPayVC::goToPayWithType(const std::string& type, const std::string& title) {
  payBtn()->setEnabled(false);
  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  KTPayAPI::doH5PayWithMoney(
      order_.money, order_.realMoney, order_.cid, orderNumber(), kit::format("%.2f", discount_), kit::str(type),
      order_.roleId, order_.serverId, order_.productName, order_.productDesc, order_.cpExtend,
      [weak, title](const kit::Ref<NotifyServer>& result) {
        if (auto self = weak.lock()) self->pushWebPayPage(result->url(), false, title);
      },
      [weak](const Text& message) {
        if (auto self = weak.lock()) self->orderFailed(message);
      });
}

void KTNewPayVC::goToGFWxPay() {
  payBtn()->setEnabled(false);
  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  KTPayAPI::doWxPayWithMoney(
      order_.money, order_.realMoney, order_.cid, orderNumber(), kit::format("%.2f", discount_), order_.roleId,
      order_.serverId, order_.productName, order_.productDesc, order_.cpExtend,
      kit::str(isWxpayTwo_ ? "Wxh5other/h5pay" : "wxh5/h5pay"),
      [weak](const kit::Ref<NotifyServer>& result) {
        if (auto self = weak.lock()) self->pushWebPayPage(result->url(), true, "微信支付");
      },
      [weak](const Text& message) {
        if (auto self = weak.lock()) self->orderFailed(message);
      });
}

void KTNewPayVC::goToWalletPayAppPay() {
  payBtn()->setEnabled(false);
  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  KTPayAPI::doWalletPayAppPayWithMoney(
      order_.money, order_.realMoney, order_.cid, orderNumber(), kit::format("%.2f", discount_), order_.roleId,
      order_.serverId, order_.productName, order_.productDesc, order_.cpExtend,
      kit::str(isWalletPayTwo_ ? "WalletPayappother/apppayios" : "WalletPayapp/apppayios"),
      [weak](const kit::Ref<WalletPayInfo>& info) {
        // An order placed before the sheet learned it is paid is not paid
        // again.
        auto sheet = weak.lock();
        if (!sheet || sheet->isPaid()) return;
        auto plug = KTPayPlug::sharedInstance();
        plug->setWalletPayInfo(info);
        plug->setPayWay(KTPayWayWalletPayApp);
        plug->doPay([weak](unsigned long, const Text& status, const kit::Ref<kit::Error>& error) {
          auto self = weak.lock();
          if (!self || !self->awaitsResult()) return;
          // A success the wallet does not name this order in may be
          // another order's: the platform says whether this one is paid.
          if (kit::describe(status) == KTPayPlug::kUnconfirmedStatus) {
            self->awaitPlatformResult();
            return;
          }
          // Another order's cancel or failure leaves this one unpaid and
          // its sheet open: the player may pay again or leave.
          if (kit::describe(status) == KTPayPlug::kOtherOrderStatus) {
            self->payAgain();
            return;
          }
          if (kit::describe(status) == KTPayPlug::kPaidStatus) {
            self->showPaid(status);
          } else if (self->outcome_ == Outcome::Platform) {
            // The platform is asked whether the order is paid: its word
            // decides.
            kit::log("%@ 不改变结果: 等待平台确认", status);
            return;
          } else {
            self->outcome_ = Outcome::Unpaid;
            self->pause();
            auto& notice = self->noticeView();
            notice->statusL()->setText(kit::shownText(status));
            notice->setPayStatus(status);
            notice->setPayError(error);
          }
          self->showNotice();
        });
      },
      [weak](const Text& message) {
        if (auto self = weak.lock()) self->orderFailed(message);
      });
}

void KTNewPayVC::goToPtbPay() {
  payBtn()->setEnabled(false);
  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  KTPayAPI::doPtbPayWithMoney(
      coinsText(order_.money), coinsText(order_.realMoney), order_.cid, orderNumber(),
      kit::format("%.2f", discount_), order_.roleId, order_.serverId, order_.productName, order_.productDesc,
      order_.cpExtend,
      [weak](const kit::Ref<PtbPay>& result) {
        auto self = weak.lock();
        if (!self) return;
        // Paid by an earlier payment while this order was out: the notice
        // tells the game, once.
        if (self->isPaid()) {
          kit::log("订单已支付, 此单结果不再告知: %@", result->mesage());
          return;
        }
        if (self->order_.success) self->order_.success(result->mesage(), self->order_.money);
        self->popAction();
      },
      [weak](const Text& message, const Text& code) {
        auto self = weak.lock();
        if (!self || self->isPaid()) return;
        CXRMessage::showMessage(message, self->view());
        self->payAgain();
        if (self->order_.failed) self->order_.failed(message, code, self->order_.money);
      });
}

void KTNewPayVC::goToDjqPay() {
  payBtn()->setEnabled(false);
  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  KTPayAPI::doDjqPayWithMoney(
      order_.money, order_.couponMoney, order_.cid, order_.roleId, order_.serverId, order_.productName,
      order_.productDesc, order_.cpExtend,
      [weak](const kit::Ref<DiscountPayWay>& result) {
        auto self = weak.lock();
        if (!self) return;
        // Paid by an earlier payment while this order was out: the notice
        // tells the game, once.
        if (self->isPaid()) {
          kit::log("订单已支付, 此单结果不再告知: %@", result->mesage());
          return;
        }
        if (self->order_.success) self->order_.success(result->mesage(), self->order_.money);
        self->popAction();
      },
      [weak](const Text& message, const Text& code) {
        auto self = weak.lock();
        if (!self || self->isPaid()) return;
        CXRMessage::showMessage(message, self->view());
        self->payAgain();
        if (self->order_.failed) self->order_.failed(message, code, self->order_.money);
      });
}

// ---- Notice ---------------------------------------------------------------------

const kit::Ref<kit::View>& KTNewPayVC::coverView() {
  if (!coverView_) {
    coverView_ = kit::View::make(view()->frame());
    coverView_->setBackgroundColor(kit::Color::white(0, 0.2));
  }
  return coverView_;
}

const kit::Ref<KTPayNoticeView>& KTNewPayVC::noticeView() {
  if (!noticeView_) {
    noticeView_ = UIViewExtension::ViewFromXib<KTPayNoticeView>(KTPayNoticeView::kSceneName);
    if (!noticeView_) noticeView_ = KTPayNoticeView::make();
    noticeView_->setCenter(view()->center());
    kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
    noticeView_->setGoToGameBlock([weak](const kit::Ref<kit::Error>& error, const Text& status) {
      if (auto self = weak.lock()) self->leaveNotice(error, status);
    });
    noticeView_->setGoToApplyBlock([weak](const kit::Ref<kit::Error>& error, const Text& status) {
      auto self = weak.lock();
      if (!self) return;
      self->leaveNotice(error, status);
      self->openGameBox();
    });
  }
  return noticeView_;
}

void KTNewPayVC::showNotice() {
  auto cover = coverView();
  cover->addSubview(noticeView());
  if (auto top = CXRWindowManager::topWindow()) top->addSubview(cover);
}

void KTNewPayVC::payWithFree() {
  if (!awaitsResult()) return;
  showPaid(kit::str(kPaid));
  showNotice();
}

void KTNewPayVC::showPaid(const Text& status) {
  outcome_ = Outcome::Paid;
  pause();
  payBtn()->setEnabled(false);
  auto& notice = noticeView();
  notice->setPayError(nullptr);
  notice->setPayStatus(status);
  notice->statusL()->setText(kit::shownText(status));
}

void KTNewPayVC::payAgain() {
  if (!isPaid()) payBtn()->setEnabled(true);
}

void KTNewPayVC::leaveNotice(const kit::Ref<kit::Error>& error, const Text& status) {
  coverView()->removeFromSuperview();
  // The blocks and the amount outlive the close.
  const Order order = order_;
  popAction();
  if (error) {
    if (order.failed) order.failed(status, kit::str("1"), order.money);
  } else if (order.success) {
    order.success(status, order.money);
  }
}

void KTNewPayVC::openGameBox() {
  auto app = kit::Application::shared();
  if (app->canOpenURL(kBoxAppURL)) {
    app->openURL(kBoxAppURL);
    return;
  }
  auto channel = kit::stringByAddingPercentEncodingWithAllowedCharacters(
      kit::describe(ShareVale::sharedInstance()->chanelid()), *kit::CharacterSet::urlQueryValueAllowed());
  auto host = ClientConfiguration::shared().valueForKey(ClientConfiguration::kPlatformWebHost);
  app->openURL(kit::format("%@?ag=%@", kit::format("%@%@", host, kit::str(kBoxPath)), channel)->utf8());
}

// ---- Web page return and polling ------------------------------------------------

void KTNewPayVC::webPayReturned(const kit::Ref<KTWebPayVC>& page) {
  KIT_CHECK_MAIN_THREAD();
  payAgain();
  if (page && page->navigationController()) page->navigationController()->popViewController(true);
  awaitPlatformResult();
}

void KTNewPayVC::awaitPlatformResult() {
  if (!awaitsResult()) return;
  outcome_ = Outcome::Platform;
  auto& notice = noticeView();
  notice->setPayError(kit::Error::make(kUnpaid, 1));
  notice->setPayStatus(kit::str(kUnpaid));
  notice->statusL()->setText(kPaying);
  showNotice();
  loadTimer();
}

void KTNewPayVC::loadTimer() {
  KIT_CHECK_MAIN_THREAD();
  pause();
  auto remaining = std::make_shared<long>(PollCount);
  timer_ = kit::TimerSource::create(kit::Queue::main());
  timer_->setTimer(0, PollInterval, 0);
  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  timer_->setEventHandler([weak, remaining] {
    auto self = weak.lock();
    if (!self) return;
    if (*remaining < 0) {
      self->pause();
      return;
    }
    auto parameters = kit::MutableDictionary::make();
    setObjectForField(*parameters, ShareVale::sharedInstance()->userName(), "z");
    self->manager()->PostCouponURL(
        kResultEndpoint, parameters,
        [weak](const kit::Id& reply) {
          auto sheet = weak.lock();
          // An outcome the notice shows already (paid, or the wallet's
          // cancel or failure) stands. Paid is the code "1" (a text or a
          // number), never a flag.
          if (!sheet || !sheet->awaitsResult() || sheet->outcome_ == Outcome::Unpaid) return;
          if (kit::shownText(reply["z"]) != "1") return;
          sheet->showPaid(kit::str(kPaid));
        },
        [](const kit::Ref<kit::Error>& error) { kit::log("error = %@", error); });
    --*remaining;
  });
  timer_->resume();
}

void KTNewPayVC::pause() {
  if (!timer_) return;
  timer_->cancel();
  timer_.reset();
}

// ---- Closing ----------------------------------------------------------------------

void KTNewPayVC::popAction() {
  KIT_CHECK_MAIN_THREAD();
  hiddenLeftBtn();
  hideHUD();
  hud_.reset();
  if (auto ball = CXRHelperBtnPort::shared()) ball->show();
  order_.realMoney = nullptr;
  order_.couponMoney = nullptr;
  order_.cid = nullptr;
  auto* nav = navigationController();
  // The sheet itself goes, unless a page above it is what closes.
  if (!nav || nav->viewControllers().size() <= 1 || nav->topViewController().get() == this) closed_ = true;
  if (!nav) {
    dismissed();
    return;
  }
  if (auto titleView = nav->navigationBar()->viewWithTag(TitleViewTag)) titleView->removeFromSuperview();
  if (nav->viewControllers().size() > 1) {
    nav->popViewController(true);
  } else {
    kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
    nav->dismissViewController(true, [weak] {
      if (auto self = weak.lock()) self->dismissed();
    });
  }
}
