// KTNewPayVC: the platform's pay sheet ("充值中心"), a full-screen page over
// the game for one order of the game. It shows the product, the order
// amount (struck through), the amount to pay after the server's discount and
// an optional coupon, the player's platform-coin and voucher balances and one
// row per pay way the server offers ("pay/getPayWayios"); the player picks a
// way and a coupon and presses pay.
//
// Pay styles (row button, server code):
//   1 WeChat H5 cashier      wxIconBtn           "3"
//   2 WalletPay H5 cashier   walletPayIconBtn    "2"
//   3 platform coins         ptbIconBtn          "1"
//   4 vouchers               djqIconBtn          "4"
//   5 WalletPay app          GFWalletPayIconBtn  "5", "31" (the other path)
//   6 official WeChat H5     GFWxIconBtn         "6", "32" (the other path)
//
// The order flow that follows pay (orders, the web pay page, the result
// notice and the result polling) is in kt_new_pay_vc_order.cc.
//
// Each sheet keeps the order it was opened for, so its blocks are the ones
// of its own order. One sheet at a time: from its presentation until its
// dismissal completes, a new order with a numeric amount opens nothing and
// hears ("支付进行中", "-1", its amount) on its failure block.
//
// Scene "KTNewPayVC" of the storyboard "KTNewPayVC" (kit's scene registry).
// Main thread.
//
//   KTNewPayVC::loadToPayVCWithroleid(role, server, str("6"), attach, name, desc,
//       [](auto message, auto money) { ... }, [](auto message, auto code, auto money) { ... });
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "kit/dispatch/timer_source.h"
#include "kit/foundation/string.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/layout_constraint.h"
#include "kit/ui/scroll_view.h"
#include "net/network_manager.h"
#include "platform/account/kt_base_vc.h"
#include "platform/account/kt_coupons_model.h"
#include "platform/account/kt_pay_notice_view.h"
#include "ui/widgets/ph_progress_hud.h"

class KTWebPayVC;

class KTNewPayVC : public KTBaseVC {
 public:
  using Text = kit::Ref<kit::String>;
  // (message, order amount)
  using SuccessBlock = std::function<void(const Text& message, const Text& money)>;
  // (message, code text, order amount)
  using FailedBlock = std::function<void(const Text& message, const Text& code, const Text& money)>;

  // The order a sheet was opened for.
  struct Order {
    Text roleId, serverId;
    Text money;        // as the game passed it, in yuan
    Text realMoney;    // after the coupon and the discount
    Text couponMoney;  // after the coupon, never below "0"; less than a cent left is "0.01"
    Text cpExtend;     // the game's pass-through data
    Text productName, productDesc;
    Text cid;  // the chosen coupon; nil: none
    SuccessBlock success;
    FailedBlock failed;
  };

  static constexpr const char* kStoryboard = "KTNewPayVC";
  static constexpr const char* kIdentifier = "KTNewPayVC";
  static constexpr const char* kTitle = "充值中心";
  static constexpr const char* kTitleImage = "tol_pay_titleIcon";
  static constexpr const char* kPayWaysEndpoint = "pay/getPayWayios";
  static constexpr const char* kResultEndpoint = "Pay/getUserSuccess";
  static constexpr const char* kBadAmount = "金额格式异常";
  static constexpr const char* kBadData = "数据格式错误";
  static constexpr const char* kBusyMessage = "支付进行中";
  static constexpr const char* kBusyCode = "-1";
  static constexpr const char* kNotNotified = "无法通知服务器";
  static constexpr const char* kPaid = "支付成功";
  static constexpr const char* kUnpaid = "支付失败";
  static constexpr const char* kPaying = "支付中...";
  static constexpr const char* kBoxAppURL = "vexoBox://fanliURL";
  static constexpr const char* kBoxPath = "cdcloud/welcome/box";
  // The result polling: a request at once, then every 2 seconds, 31 in all.
  static constexpr double PollInterval = 2;
  static constexpr long PollCount = 30;
  // Margins of the product and pay-way blocks; wider on a notched landscape
  // screen.
  static constexpr double Margin = 15, MarginNotched = 30;
  static constexpr double RowH = 50;

  // The entry of the facade: opens a sheet for the order (see above).
  // Registers the storyboard "KTNewPayVC" (the sheet and its coupon picker)
  // and the nibs they load (idempotent).
  static void registerScene();
  static void loadToPayVCWithroleid(const Text& roleid, const Text& ServiceID, const Text& walletPayMoney,
                                    const Text& cpExtend, const Text& productName, const Text& productDesc,
                                    SuccessBlock success, FailedBlock faild);
  // The sheet between its presentation and the end of its dismissal, or nil.
  static kit::Ref<KTNewPayVC> openSheet();
  // Whether an order amount opens a sheet: plain decimals that make a
  // number ("6", "8.49", ".5") the sheet's decimals hold exactly, with
  // every amount to pay made from it, so that what it sends is the sum it
  // shows: written without leading and trailing zeros, at most 38 digits,
  // at most 36 of them before the point (the cents of an amount to pay
  // need the other two). Anything else is refused with kBadAmount.
  static bool isOrderAmount(const Text& money);
  // A sheet of the storyboard for the order, with its amount as the amount
  // to pay and the amount after the coupon: what the entry presents, not
  // yet presented and its pay ways not asked for.
  static kit::Ref<KTNewPayVC> sheetForOrder(Order order);

  // `money` minus ("-") or times ("*") `money1`, as exact decimals cut down
  // to two places; "NaN" when either is no number, "(null)" for another way.
  static Text calculateMoney(const Text& money, const Text& money1, std::string_view way);
  // Platform coins of an amount in yuan: × 10 rounded up, exactly; 0 for
  // an amount that is no number or whose coins an int does not hold.
  static int coinsOf(const Text& yuan);

  KTNewPayVC() = default;
  ~KTNewPayVC() override;

  void loadView() override;
  void viewDidLoad() override;
  // Brings a loading HUD that the scene put on the top window before the
  // presentation over the sheet again.
  void viewWillAppear(bool animated) override;
  bool shouldAutorotate() const override { return false; }

  // Amount labels from the order, the chosen coupon and the discount.
  void initUI();
  // Asks for the pay ways under a HUD.
  void loadData();
  // What loadData does with a reply and with a transport failure.
  void handlePayWaysReply(const kit::Id& reply);
  void payWaysFailed();

  unsigned long payStyle() const { return payStyle_; }
  void setPayStyle(unsigned long style);
  void setPayViewWithPayStyle(unsigned long style, const kit::Ref<kit::Button>& currentBtn);
  // The row actions: styles 1 to 6.
  void doWXPay();
  void doWalletPay();
  void doPtbPay();
  void doDjqPay();
  void doGFWalletPay();
  void doGFWxPay();
  // The coupon button: opens the picker for the order amount.
  void goToCoupons();
  // What a coupon the picker hands back does.
  void couponChosen(const kit::Ref<KTCouponsModel>& coupon);

  // ---- Order flow (kt_new_pay_vc_order.cc)
  // The pay button: the order of the selected style, when its amounts can
  // be paid (see amountsArePayable); otherwise the toast kBadAmount.
  void doPay();
  void goToPayWithType(const std::string& type, const std::string& title);
  void goToWalletPayAppPay();
  void goToGFWxPay();
  void goToPtbPay();
  void goToDjqPay();
  // The notice of an order that needs no payment.
  void payWithFree();
  // The web pay page came back: pop it, show the notice, poll.
  void pushWebPayPage(const kit::Ref<kit::String>& url, bool official, const std::string& title);
  void webPayReturned(const kit::Ref<KTWebPayVC>& page);
  // The notice says "支付中..." (unpaid until the platform says otherwise)
  // and the polling asks the platform: after a web payment, and after a
  // wallet success that does not name the sheet's order exactly.
  void awaitPlatformResult();
  // The result polling; resume starts it afresh, pause stops it.
  void loadTimer();
  void resume() { loadTimer(); }
  void pause();
  // Closes the sheet (its back button, a paid coin order, a notice button).
  void popAction() override;
  // Made on first use.
  const kit::Ref<kit::View>& coverView();
  const kit::Ref<KTPayNoticeView>& noticeView();
  kit::Ref<NetWorkManager> manager();

  // ---- State
  const Order& order() const { return order_; }
  unsigned long firstSelected() const { return firstSelected_; }
  float discount() const { return discount_; }
  bool isWalletPayTwo() const { return isWalletPayTwo_; }
  bool isWxpayTwo() const { return isWxpayTwo_; }
  kit::Ref<kit::Button> selectedIconBtn() const { return selectedIconBtn_.lock(); }
  const kit::Ref<PHProgressHUD>& hud() const { return hud_; }
  const kit::Ref<kit::TimerSource>& timer() const { return timer_; }

  // ---- Outlets
  kit::Ref<kit::Label> productNameL() const { return productNameL_.lock(); }
  kit::Ref<kit::Label> moneyL() const { return moneyL_.lock(); }
  kit::Ref<kit::Label> realMoneyL() const { return realMoneyL_.lock(); }
  kit::Ref<kit::Label> discountL() const { return discountL_.lock(); }
  kit::Ref<kit::Label> remainPtbL() const { return remainPtbL_.lock(); }
  kit::Ref<kit::Label> remainDjqL() const { return remainDjqL_.lock(); }
  kit::Ref<kit::Button> walletPayIconBtn() const { return walletPayIconBtn_.lock(); }
  kit::Ref<kit::Button> GFWalletPayIconBtn() const { return GFWalletPayIconBtn_.lock(); }
  kit::Ref<kit::Button> wxIconBtn() const { return wxIconBtn_.lock(); }
  kit::Ref<kit::Button> GFWxIconBtn() const { return GFWxIconBtn_.lock(); }
  kit::Ref<kit::Button> ptbIconBtn() const { return ptbIconBtn_.lock(); }
  kit::Ref<kit::Button> djqIconBtn() const { return djqIconBtn_.lock(); }
  kit::Ref<kit::Button> payBtn() const { return payBtn_.lock(); }
  kit::Ref<kit::Button> couponsBtn() const { return couponsBtn_.lock(); }
  kit::Ref<kit::ScrollView> scrollView() const { return scrollView_.lock(); }
  kit::Ref<kit::LayoutConstraint> walletPayViewH() const { return walletPayViewH_.lock(); }
  kit::Ref<kit::LayoutConstraint> GFWalletPayViewH() const { return GFWalletPayViewH_.lock(); }
  kit::Ref<kit::LayoutConstraint> wxViewH() const { return wxViewH_.lock(); }
  kit::Ref<kit::LayoutConstraint> GFWxViewH() const { return GFWxViewH_.lock(); }
  kit::Ref<kit::LayoutConstraint> ptbViewH() const { return ptbViewH_.lock(); }
  kit::Ref<kit::LayoutConstraint> djqViewH() const { return djqViewH_.lock(); }
  kit::Ref<kit::LayoutConstraint> infoLeft() const { return infoLeft_.lock(); }
  kit::Ref<kit::LayoutConstraint> typeLeft() const { return typeLeft_.lock(); }

 private:
  // The row of a pay way: title, optional balance label, selection button.
  kit::Ref<kit::View> makeRow(const kit::Ref<kit::View>& above, const char* title, kit::Weak<kit::Button>& iconBtn,
                              kit::Weak<kit::LayoutConstraint>& height, void (KTNewPayVC::*action)(),
                              kit::Weak<kit::Label>* balance);
  // "%@元", or "%d平台币" in the coin style.
  void showAmountToPay();
  void showDiscount();
  // The amount to pay and the discount label of the selected style.
  void showAmounts();
  // Whether the order of the selected style may go out: a discount in
  // (0, 1], an order amount above 0 and an amount to pay (in coins for the
  // coin style) between 0 and the order amount, 0 only when the chosen
  // coupon covers the whole order.
  bool amountsArePayable() const;
  // Hides the loading HUD, which lets taps through from then on.
  void hideHUD();
  // The notice on its cover over the top window.
  void showNotice();
  // A notice button: cover away, sheet closed, the order's block.
  void leaveNotice(const kit::Ref<kit::Error>& error, const Text& status);
  void openGameBox();
  void orderFailed(const Text& message);
  void dismissed();
  // What the notice holds of the order: what a later result may still
  // change.
  enum class Outcome {
    // Nothing yet, or only other orders' results.
    Open,
    // The wallet's cancel or failure of the order shows: the platform's
    // answer to a polling that was on its way changes it no more.
    Unpaid,
    // The platform was asked (a web payment came back, or the wallet's
    // success could not be confirmed): its answer is the outcome, or its
    // silence at the polling's end; the wallet's cancel or failure of the
    // order changes nothing from then on.
    Platform,
    // Paid, for good.
    Paid,
  };
  // Whether a result may still change what the sheet shows: not once the
  // order is paid (the first paid result is final), nor once the sheet was
  // left or is going.
  bool awaitsResult() const { return !isPaid() && !closed_; }
  bool isPaid() const { return outcome_ == Outcome::Paid; }
  // The notice says paid, for good, and the pay button goes off.
  void showPaid(const Text& status);
  // The pay button comes back for another try, unless the order is paid.
  void payAgain();

  Order order_;
  unsigned long payStyle_ = 0;
  unsigned long firstSelected_ = 0;
  float discount_ = 1.0f;
  bool isWalletPayTwo_ = false;
  bool isWxpayTwo_ = false;
  // What the notice holds of the order; Paid once the wallet named the
  // order in a success, the platform said so, or there was nothing to pay.
  Outcome outcome_ = Outcome::Open;
  // The sheet itself is closing (a notice button, its back button, a paid
  // coin or voucher order): the game heard what it hears of the order.
  bool closed_ = false;
  kit::Weak<kit::Button> selectedIconBtn_;
  kit::Ref<PHProgressHUD> hud_;
  kit::Ref<KTPayNoticeView> noticeView_;
  kit::Ref<kit::View> coverView_;
  kit::Ref<kit::TimerSource> timer_;
  kit::Ref<NetWorkManager> manager_;

  kit::Weak<kit::Label> productNameL_, moneyL_, realMoneyL_, discountL_, remainPtbL_, remainDjqL_;
  kit::Weak<kit::Button> walletPayIconBtn_, GFWalletPayIconBtn_, wxIconBtn_, GFWxIconBtn_, ptbIconBtn_, djqIconBtn_;
  kit::Weak<kit::Button> payBtn_, couponsBtn_;
  kit::Weak<kit::ScrollView> scrollView_;
  kit::Weak<kit::LayoutConstraint> walletPayViewH_, GFWalletPayViewH_, wxViewH_, GFWxViewH_, ptbViewH_, djqViewH_;
  kit::Weak<kit::LayoutConstraint> infoLeft_, typeLeft_;
  // The pay-way rows, top to bottom (while the scene is built).
  std::vector<kit::Ref<kit::View>> rows_;
};
