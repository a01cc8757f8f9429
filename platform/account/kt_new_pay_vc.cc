// The pay sheet: opening, its scene, the pay ways and the amounts. The
// order flow is in kt_new_pay_vc_order.cc. See kt_new_pay_vc.h.
#include "platform/account/kt_new_pay_vc.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/decimal_number.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/attributed_string.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "net/mutable_dictionary_fields.h"
#include "platform/account/cxr_helper_btn_port.h"
#include "platform/account/cxr_message.h"
#include "platform/account/cxr_window_manager.h"
#include "platform/account/kt_base_nav.h"
#include "platform/account/kt_coupons_vc.h"
#include "platform/account/kt_platform_reply.h"
#include "platform/base/kt_notched_landscape.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/share_vale.h"

namespace {

using A = kit::LayoutAttribute;

// The scene's blocks, top to bottom (points).
constexpr double ProductTop = 15, LineH = 30, CouponTop = 120, CouponH = 40, WaysTitleTop = 175, RowsTop = 205, RowsGap = 10;
constexpr double PayGap = 25, PayH = 44, IconSide = 30;
// The least an amount to pay that is above 0 comes to.
constexpr const char* kSmallestAmount = "0.01";

kit::Weak<KTNewPayVC>& openSheetRef() {
  static kit::Weak<KTNewPayVC> sheet;
  return sheet;
}

kit::Ref<kit::Color> rgb(int r, int g, int b) { return kit::Color::rgba(r / 255.0, g / 255.0, b / 255.0, 1); }

void pin(const kit::Ref<kit::View>& owner, const kit::Ref<kit::View>& view, A attribute, const kit::Id& to,
         A toAttribute, double constant = 0) {
  owner->addConstraint(
      kit::LayoutConstraint::make(view, attribute, kit::LayoutRelation::Equal, to, toAttribute, 1, constant));
}
kit::Ref<kit::LayoutConstraint> fix(const kit::Ref<kit::View>& view, A attribute, double constant) {
  auto c = kit::LayoutConstraint::make(view, attribute, kit::LayoutRelation::Equal, constant);
  view->addConstraint(c);
  return c;
}

kit::Ref<kit::Label> label(const kit::Ref<kit::View>& parent, double size, const kit::Ref<kit::Color>& color) {
  auto l = kit::Label::make();
  l->setTranslatesAutoresizingMaskIntoConstraints(false);
  l->setFont(kit::Font::systemFont(size));
  l->setTextColor(color);
  parent->addSubview(l);
  return l;
}

// A number of the reply as the platform reads one: numbers as they are,
// texts by their leading number, anything else 0.
double numberOf(const kit::Id& value) {
  if (auto number = kit::as<kit::Number>(value)) return number->doubleValue();
  if (auto text = kit::as<kit::String>(value)) return text->doubleValue();
  return 0;
}

bool emptyReply(const kit::Id& reply) {
  if (!reply || kit::as<kit::Null>(reply)) return true;
  if (auto d = kit::as<kit::Dictionary>(reply)) return d->count() == 0;
  if (auto a = kit::as<kit::Array>(reply)) return a->count() == 0;
  if (auto s = kit::as<kit::String>(reply)) return s->length() == 0;
  return false;
}

bool sameValue(const kit::Id& a, const kit::Id& b) {
  if (!a || !b) return a == b;
  return a->isEqual(*b);
}

// A balance as the pay-way rows show it: the shown text of a plain decimal
// ("120", "12.5", 0) of at most 15 whole digits, which a double holds to the
// cent, and at most as many after the point; "" for anything else: a value
// left out, a flag, blanks, the spelling of a null or of a number that is
// none, and a number written with an exponent ("1e+308") or too long for a
// row to read.
constexpr size_t kBalanceWholeDigits = 15;
constexpr size_t kBalanceFractionDigits = 15;
std::string balanceOf(const kit::Id& value) {
  const std::string text = kit::shownText(value);
  const size_t point = std::min(text.find('.'), text.size());
  const size_t fraction = point < text.size() ? text.size() - point - 1 : 0;
  if (text.empty() || text == "." || text.find_first_not_of("0123456789.") != std::string::npos ||
      text.find('.', point + 1) != std::string::npos || point > kBalanceWholeDigits ||
      fraction > kBalanceFractionDigits) {
    return std::string();
  }
  return text;
}

bool negative(const kit::Ref<kit::String>& amount) { return amount && amount->utf8().starts_with('-'); }

// The places an amount to pay keeps after the point: cents.
constexpr int kCentPlaces = 2;

// An amount written in plain decimals, without sign or exponent ("6",
// "8.49", ".5"), as an exact decimal; nil for anything else, and for an
// amount whose digits, written out from its first whole digit (or the
// point) to its last fraction digit, are more than the decimal's 38: the
// decimal would drop the last ones, so that the sheet sent another sum than
// the order's, or the amount to pay made from it (times a discount, less a
// coupon) would fall out of the decimal's range. The cents of that amount
// to pay need two of them: at most 36 are whole yuan.
kit::Ref<kit::DecimalNumber> amountOf(const kit::Ref<kit::String>& text) {
  if (!text) return nullptr;
  const std::string& digits = text->utf8();
  const auto points = std::count(digits.begin(), digits.end(), '.');
  if (digits.find_first_not_of("0123456789.") != std::string::npos || points > 1 ||
      digits.size() == static_cast<size_t>(points)) {
    return nullptr;
  }
  // The text the decimal prints for the same value: no leading zeros
  // before the units, no trailing zeros after the point.
  const size_t point = std::min(digits.find('.'), digits.size());
  std::string whole = digits.substr(0, point);
  std::string fraction = point < digits.size() ? digits.substr(point + 1) : std::string();
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  fraction.erase(std::min(fraction.find_last_not_of('0') + 1, fraction.size()));
  if (whole.size() + fraction.size() > static_cast<size_t>(kit::DecimalMaxDigits) ||
      whole.size() > static_cast<size_t>(kit::DecimalMaxDigits - kCentPlaces)) {
    return nullptr;
  }
  const std::string canonical = (whole.empty() ? "0" : whole) + (fraction.empty() ? "" : "." + fraction);
  return kit::DecimalNumber::decimalNumberWithCanonicalText(canonical);
}

}  // namespace

void KTNewPayVC::registerScene() {
  kit::SceneRegistry::shared().registerController(KTNewPayVC::kStoryboard, KTNewPayVC::kIdentifier,
                                                  [] { return kit::make<KTNewPayVC>(); });
  KTCouponsVC::registerScene();
  KTPayNoticeView::registerNib();
}

// ---- Opening ----------------------------------------------------------------

void KTNewPayVC::loadToPayVCWithroleid(const Text& roleid, const Text& ServiceID, const Text& walletPayMoney,
                                       const Text& cpExtend, const Text& productName, const Text& productDesc,
                                       SuccessBlock success, FailedBlock faild) {
  KIT_CHECK_MAIN_THREAD();
  if (!isOrderAmount(walletPayMoney)) {
    CXRMessage::showMessage(kBadAmount);
    return;
  }
  if (openSheet()) {
    // The open sheet keeps its own order; this one is refused.
    if (faild) faild(kit::str(kBusyMessage), kit::str(kBusyCode), walletPayMoney);
    return;
  }
  auto root = CXRWindowManager::topWindow() ? CXRWindowManager::topWindow()->rootViewController() : nullptr;
  if (!root) return;
  Order order;
  order.roleId = roleid;
  order.serverId = ServiceID;
  order.cpExtend = cpExtend;
  order.productName = productName;
  order.productDesc = productDesc;
  order.success = std::move(success);
  order.failed = std::move(faild);
  order.money = walletPayMoney;
  auto sheet = sheetForOrder(std::move(order));
  if (!sheet) return;

  if (auto ball = CXRHelperBtnPort::shared()) ball->hide();
  auto nav = KTBaseNav::withRoot(sheet);
  nav->setModalPresentationStyle(kit::ModalPresentationStyle::FullScreen);
  // The one presenting (a sheet already over the game stays where it is).
  while (root->presentedViewController()) root = root->presentedViewController();
  if (root->presentViewController(nav, true)) openSheetRef() = sheet;
}

kit::Ref<KTNewPayVC> KTNewPayVC::openSheet() { return openSheetRef().lock(); }

bool KTNewPayVC::isOrderAmount(const Text& money) {
  // Points alone ("."), a second point ("1.2.3") or more digits than a
  // decimal holds exactly make no number the sheet could charge as shown.
  return NSStringURLEncode::isNumber(money) && amountOf(money);
}

kit::Ref<KTNewPayVC> KTNewPayVC::sheetForOrder(Order order) {
  registerScene();
  auto sheet = std::dynamic_pointer_cast<KTNewPayVC>(
      kit::Storyboard::named(kStoryboard)->instantiateViewController(kIdentifier));
  if (!sheet) return nullptr;
  order.realMoney = order.couponMoney = order.money;
  sheet->order_ = std::move(order);
  return sheet;
}

KTNewPayVC::~KTNewPayVC() {
  // Ticks of a polling that outlives the sheet would have nothing to do.
  if (timer_) timer_->cancel();
}

void KTNewPayVC::dismissed() {
  if (openSheet().get() == this) openSheetRef().reset();
}

// ---- Amounts -----------------------------------------------------------------

KTNewPayVC::Text KTNewPayVC::calculateMoney(const Text& money, const Text& money1, std::string_view way) {
  auto left = kit::DecimalNumber::decimalNumberWithString(money ? money->utf8() : "");
  auto right = kit::DecimalNumber::decimalNumberWithString(money1 ? money1->utf8() : "");
  auto cut = kit::DecimalNumberHandler::decimalNumberHandlerWithRoundingMode(kit::RoundingMode::Down, 2, false, false,
                                                                            false, true);
  kit::Id result;
  if (way == "-") {
    result = left->decimalNumberBySubtracting(*right, cut.get());
  } else if (way == "*") {
    result = left->decimalNumberByMultiplyingBy(*right, cut.get());
  }
  return kit::format("%@", result);
}

int KTNewPayVC::coinsOf(const Text& yuan) {
  // Exactly, so that an order's coins are its amount's: 1677721.7 yuan is
  // 16777217 coins, where single precision would make 16777218.
  auto amount = kit::DecimalNumber::decimalNumberWithString(yuan ? yuan->utf8() : "");
  auto up = kit::DecimalNumberHandler::decimalNumberHandlerWithRoundingMode(kit::RoundingMode::Up, 0, false, false,
                                                                           false, false);
  auto coins = amount->decimalNumberByMultiplyingBy(*kit::DecimalNumber::decimalNumberWithMantissa(10, 0, false),
                                                    up.get());
  const double value = coins->isNaN() ? 0 : coins->doubleValue();
  if (!(value >= -2147483648.0 && value < 2147483648.0)) return 0;
  return static_cast<int>(value);
}

// ---- Scene -------------------------------------------------------------------

kit::Ref<kit::View> KTNewPayVC::makeRow(const kit::Ref<kit::View>& above, const char* title,
                                        kit::Weak<kit::Button>& iconBtn, kit::Weak<kit::LayoutConstraint>& height,
                                        void (KTNewPayVC::*action)(), kit::Weak<kit::Label>* balance) {
  auto content = above->superview();
  auto row = kit::View::make();
  row->setTranslatesAutoresizingMaskIntoConstraints(false);
  row->setClipsToBounds(true);
  row->setBackgroundColor(kit::Color::whiteColor());
  content->addSubview(row);
  pin(content, row, A::Left, above, A::Left);
  pin(content, row, A::Right, content, A::Right, -Margin);
  pin(content, row, A::Top, above, A::Bottom, rows_.empty() ? RowsGap : 0);
  rows_.push_back(row);
  height = fix(row, A::Height, RowH);

  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  auto run = [weak, action] {
    if (auto self = weak.lock()) ((*self).*action)();
  };
  // The whole row answers a tap, as its button does.
  auto tapArea = kit::Button::make();
  tapArea->setTranslatesAutoresizingMaskIntoConstraints(false);
  tapArea->addAction(kit::ControlEvent::TouchUpInside, run);
  row->addSubview(tapArea);
  for (A edge : {A::Left, A::Right, A::Top, A::Bottom}) pin(row, tapArea, edge, row, edge);

  auto name = label(row, 15, rgb(51, 51, 51));
  name->setText(title);
  pin(row, name, A::Left, row, A::Left, 5);
  pin(row, name, A::CenterY, row, A::Top, RowH / 2);
  if (balance) {
    auto remain = label(row, 13, rgb(153, 153, 153));
    pin(row, remain, A::Left, name, A::Right, 5);
    pin(row, remain, A::CenterY, name, A::CenterY);
    *balance = remain;
  }
  auto icon = kit::Button::make();
  icon->setTranslatesAutoresizingMaskIntoConstraints(false);
  icon->setTitle("○", kit::ControlStateNormal);
  icon->setTitle("●", kit::ControlStateSelected);
  icon->setTitleColor(rgb(153, 153, 153), kit::ControlStateNormal);
  icon->setTitleColor(rgb(246, 71, 32), kit::ControlStateSelected);
  icon->addAction(kit::ControlEvent::TouchUpInside, run);
  row->addSubview(icon);
  // The circle's size is held by the row with its place: the sheet's
  // content lays out the row's rules that refer to the row itself too, and
  // a size held by the button alone would be missing there, leaving the
  // button at its title's width whenever the content is laid out after the
  // row (the circles would then stand out of line).
  pin(row, icon, A::Right, row, A::Right, -5);
  pin(row, icon, A::CenterY, row, A::Top, RowH / 2);
  row->addConstraint(kit::LayoutConstraint::make(icon, A::Width, kit::LayoutRelation::Equal, IconSide));
  row->addConstraint(kit::LayoutConstraint::make(icon, A::Height, kit::LayoutRelation::Equal, IconSide));
  iconBtn = icon;
  return row;
}

void KTNewPayVC::loadView() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  auto page = kit::View::make(screen);
  page->setBackgroundColor(rgb(245, 245, 245));
  setView(page);

  auto scroll = kit::ScrollView::make(page->bounds());
  scroll->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  page->addSubview(scroll);
  scrollView_ = scroll;
  const double contentH = RowsTop + 6 * RowH + PayGap + PayH + 40;
  auto content = kit::View::make(kit::Rect{0, 0, screen.width(), contentH});
  scroll->addSubview(content);
  scroll->setContentSize({screen.width(), contentH});

  auto product = label(content, 16, rgb(51, 51, 51));
  auto infoLeft = kit::LayoutConstraint::make(product, A::Left, kit::LayoutRelation::Equal, content, A::Left, 1, Margin);
  content->addConstraint(infoLeft);
  infoLeft_ = infoLeft;
  pin(content, product, A::Top, content, A::Top, ProductTop);
  productNameL_ = product;
  auto money = label(content, 14, rgb(153, 153, 153));
  pin(content, money, A::Left, product, A::Left);
  pin(content, money, A::Top, product, A::Top, LineH);
  moneyL_ = money;
  auto real = label(content, 20, rgb(246, 71, 32));
  pin(content, real, A::Left, product, A::Left);
  pin(content, real, A::Top, money, A::Top, LineH);
  realMoneyL_ = real;
  auto discount = label(content, 14, rgb(246, 71, 32));
  pin(content, discount, A::Left, real, A::Right, 5);
  pin(content, discount, A::CenterY, real, A::CenterY);
  discountL_ = discount;

  auto coupons = kit::Button::make();
  coupons->setTranslatesAutoresizingMaskIntoConstraints(false);
  coupons->setBackgroundColor(kit::Color::whiteColor());
  coupons->setTitle("选择优惠券");
  coupons->setTitleColor(rgb(48, 146, 246));
  coupons->titleLabel()->setFont(kit::Font::systemFont(14));
  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  coupons->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->goToCoupons();
  });
  content->addSubview(coupons);
  pin(content, coupons, A::Left, product, A::Left);
  pin(content, coupons, A::Right, content, A::Right, -Margin);
  pin(content, coupons, A::Top, content, A::Top, CouponTop);
  fix(coupons, A::Height, CouponH);
  couponsBtn_ = coupons;

  auto waysTitle = label(content, 14, rgb(102, 102, 102));
  waysTitle->setText("支付方式");
  auto typeLeft =
      kit::LayoutConstraint::make(waysTitle, A::Left, kit::LayoutRelation::Equal, content, A::Left, 1, Margin);
  content->addConstraint(typeLeft);
  typeLeft_ = typeLeft;
  pin(content, waysTitle, A::Top, content, A::Top, WaysTitleTop);

  // The rows hang from the title's left edge, one under the other.
  auto row = makeRow(waysTitle, "钱包支付", walletPayIconBtn_, walletPayViewH_, &KTNewPayVC::doWalletPay, nullptr);
  row = makeRow(row, "钱包APP支付", GFWalletPayIconBtn_, GFWalletPayViewH_, &KTNewPayVC::doGFWalletPay, nullptr);
  row = makeRow(row, "微信支付", wxIconBtn_, wxViewH_, &KTNewPayVC::doWXPay, nullptr);
  row = makeRow(row, "微信官方支付", GFWxIconBtn_, GFWxViewH_, &KTNewPayVC::doGFWxPay, nullptr);
  row = makeRow(row, "平台币支付", ptbIconBtn_, ptbViewH_, &KTNewPayVC::doPtbPay, &remainPtbL_);
  row = makeRow(row, "代金券支付", djqIconBtn_, djqViewH_, &KTNewPayVC::doDjqPay, &remainDjqL_);

  auto pay = kit::Button::make();
  pay->setTranslatesAutoresizingMaskIntoConstraints(false);
  pay->setBackgroundColor(rgb(246, 71, 32));
  pay->setTitle("立即支付");
  pay->setTitleColor(kit::Color::whiteColor());
  pay->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->doPay();
  });
  content->addSubview(pay);
  pin(content, pay, A::Left, product, A::Left);
  pin(content, pay, A::Right, content, A::Right, -Margin);
  pin(content, pay, A::Top, row, A::Bottom, PayGap);
  fix(pay, A::Height, PayH);
  payBtn_ = pay;
  rows_.clear();
}

void KTNewPayVC::viewDidLoad() {
  KTBaseVC::viewDidLoad();
  const double margin = KTIsNotchedLandscape() ? MarginNotched : Margin;
  infoLeft()->setConstant(margin);
  typeLeft()->setConstant(margin);
  SetBarTitleViewWithTitle(kTitle, kit::imageNamed(NSStringURLEncode::getImagePath(kTitleImage)));
  discount_ = 1.0f;
  initUI();
  loadData();
}

void KTNewPayVC::viewWillAppear(bool animated) {
  KTBaseVC::viewWillAppear(animated);
  if (hud_ && !hud_->hasFinished()) {
    if (auto host = hud_->superview()) host->bringSubviewToFront(hud_.get());
  }
}

void KTNewPayVC::showDiscount() { discountL()->setText(kit::format("（%.1f折）", discount_ * 10)->utf8()); }

void KTNewPayVC::initUI() {
  KIT_CHECK_MAIN_THREAD();
  productNameL()->setText(kit::shownText(order_.productName));
  const std::string money = kit::isSet(order_.money) ? kit::shownText(order_.money) + "元" : std::string();
  moneyL()->setText(money);
  // A chosen coupon stays in the price when the discount changes (the
  // order amount until one is chosen, and after the sheet closed).
  const Text& afterCoupon = order_.couponMoney ? order_.couponMoney : order_.money;
  order_.realMoney = calculateMoney(afterCoupon, kit::format("%f", discount_), "*");
  showAmounts();
  kit::TextAttributes struck;
  struck.strikethroughStyle = kit::UnderlineStyleSingle;
  moneyL()->setAttributedText(kit::AttributedString::make(money, struck));
}

void KTNewPayVC::showAmountToPay() {
  if (payStyle_ == 3) {
    realMoneyL()->setText(kit::format("%d平台币", coinsOf(order_.realMoney))->utf8());
  } else if (payStyle_ == 4) {
    realMoneyL()->setText(kit::format("%@元", order_.couponMoney)->utf8());
  } else {
    realMoneyL()->setText(kit::format("%@元", order_.realMoney)->utf8());
  }
}

void KTNewPayVC::showAmounts() {
  showAmountToPay();
  if (payStyle_ == 4) {
    discountL()->setText("");
  } else {
    showDiscount();
  }
}

bool KTNewPayVC::amountsArePayable() const {
  if (!(discount_ > 0 && discount_ <= 1)) return false;
  auto money = amountOf(order_.money);
  auto paid = amountOf(payStyle_ == 4 ? order_.couponMoney : order_.realMoney);
  auto zero = kit::DecimalNumber::zero();
  if (!money || !paid || money->compareDecimal(*zero) <= 0 || paid->compareDecimal(*money) > 0) return false;
  // Nothing to pay: only when the coupon covers the whole order, never by
  // a discount or a rounding.
  auto covered = amountOf(order_.couponMoney);
  const bool free = order_.cid && covered && covered->compareDecimal(*zero) == 0;
  if (payStyle_ == 3) return coinsOf(order_.money) > 0 && (coinsOf(order_.realMoney) > 0 || free);
  return paid->compareDecimal(*zero) > 0 || free;
}

// ---- Pay ways ------------------------------------------------------------------

void KTNewPayVC::loadData() {
  KIT_CHECK_MAIN_THREAD();
  if (auto top = CXRWindowManager::topWindow()) {
    hud_ = PHProgressHUD::showHUDAddedTo(top, true);
    hud_->backgroundView()->setStyle(PHProgressHUDBackgroundStyleSolidColor);
    hud_->backgroundView()->setColor(kit::Color::white(0, 0.1));
  }
  auto share = ShareVale::sharedInstance();
  auto parameters = kit::MutableDictionary::make();
  setObjectForField(*parameters, share->userName(), "zz");
  setObjectForField(*parameters, share->appID(), "z");
  setObjectForField(*parameters, share->gameID(), "b");
  setObjectForField(*parameters, share->chanelid(), "bb");
  setObjectForField(*parameters, kit::str("ios"), "os");
  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  manager()->PostCouponURL(
      kPayWaysEndpoint, parameters,
      [weak](const kit::Id& reply) {
        if (auto self = weak.lock()) self->handlePayWaysReply(reply);
      },
      [weak](const kit::Ref<kit::Error>&) {
        if (auto self = weak.lock()) self->payWaysFailed();
      });
}

void KTNewPayVC::hideHUD() {
  if (!hud_) return;
  // The sheet answers taps again at once, while the HUD fades out over it.
  hud_->setUserInteractionEnabled(false);
  hud_->hideAnimated(true);
}

void KTNewPayVC::payWaysFailed() {
  setPayStyle(2);
  hideHUD();
}

void KTNewPayVC::handlePayWaysReply(const kit::Id& reply) {
  KIT_CHECK_MAIN_THREAD();
  kit::log("支付方式 = %@", reply);
  if (kit::as<kit::Null>(reply["djq"])) {
    hideHUD();
    return;
  }
  if (emptyReply(reply)) {
    payWaysFailed();
    return;
  }
  if (kit::shownText(reply["code"]) != "1") {
    // A refusal's own words, when it has any a player can read.
    if (const auto message = kit::readableText(reply["msg"]); !message.empty()) CXRMessage::showMessage(message);
    hideHUD();
    return;
  }
  auto items = kit::as<kit::Array>(reply["data"]);
  if (!items) {
    CXRMessage::showMessage(kBadData);
    payWaysFailed();
    return;
  }
  const kit::Id first = items->count() > 0 ? items->objectAtIndex(0) : nullptr;
  firstSelected_ = static_cast<unsigned long>(KTPlatformReplies::integerOf(first["z"]));

  auto share = ShareVale::sharedInstance();
  const kit::Id coins = reply["ttb"];
  if (!sameValue(share->ptbValue(), coins)) share->setPtbValue(coins);
  // A balance the answer leaves out (or gives as null, a list, a flag, an
  // empty or blank text, "<null>", "NaN" ...) is unknown: the row shows none.
  const std::string coinBalance = balanceOf(coins);
  remainPtbL()->setText(coinBalance.empty() ? std::string() : "（余额:" + coinBalance + "平台币）");
  const std::string voucherBalance = balanceOf(reply["djq"]);
  remainDjqL()->setText(voucherBalance.empty()
                            ? std::string()
                            : kit::formatString("（余额:%.2f元）", std::strtod(voucherBalance.c_str(), nullptr)));
  const double discount = numberOf(reply["discount"]);
  discount_ = (discount == 0 || !std::isfinite(discount) || std::fabs(discount) > 1e30) ? 1.0f
                                                                                         : static_cast<float>(discount);

  bool wallet = false, coinsRow = false, wx = false, vouchers = false, walletApp = false, officialWx = false;
  for (const kit::Id& item : *items) {
    const std::string code = kit::shownText(item["z"]);
    if (code == "2") wallet = true;
    if (code == "1") coinsRow = true;
    if (code == "3") wx = true;
    if (code == "4") vouchers = true;
    if (code == "5" || code == "31") {
      walletApp = true;
      isWalletPayTwo_ = code == "31";
    }
    if (code == "6" || code == "32") {
      officialWx = true;
      isWxpayTwo_ = code == "32";
    }
  }
  if (!wallet) walletPayViewH()->setConstant(0);
  if (!coinsRow) ptbViewH()->setConstant(0);
  if (!wx) wxViewH()->setConstant(0);
  if (!vouchers) djqViewH()->setConstant(0);
  if (!walletApp) GFWalletPayViewH()->setConstant(0);
  if (!officialWx) GFWxViewH()->setConstant(0);

  initUI();
  switch (firstSelected_) {
    case 1: setPayStyle(3); break;
    case 3: setPayStyle(1); break;
    case 2: case 4: case 5: case 6: setPayStyle(firstSelected_); break;
    case 31: setPayStyle(5); break;
    case 32: setPayStyle(6); break;
    default: break;
  }
  hideHUD();
}

// ---- Styles ----------------------------------------------------------------------

void KTNewPayVC::setPayStyle(unsigned long style) {
  payStyle_ = style;
  switch (style) {
    case 1: setPayViewWithPayStyle(style, wxIconBtn()); break;
    case 2: setPayViewWithPayStyle(style, walletPayIconBtn()); break;
    case 3: setPayViewWithPayStyle(style, ptbIconBtn()); break;
    case 4: setPayViewWithPayStyle(style, djqIconBtn()); break;
    case 5: setPayViewWithPayStyle(style, GFWalletPayIconBtn()); break;
    case 6: setPayViewWithPayStyle(style, GFWxIconBtn()); break;
    default: break;
  }
}

void KTNewPayVC::setPayViewWithPayStyle(unsigned long style, const kit::Ref<kit::Button>& currentBtn) {
  auto previous = selectedIconBtn();
  if (currentBtn == previous) return;
  payStyle_ = style;
  showAmounts();
  if (currentBtn) currentBtn->setSelected(true);
  if (previous) previous->setSelected(false);
  selectedIconBtn_ = currentBtn;
}

void KTNewPayVC::doWXPay() {
  setPayStyle(1);
  kit::log("微信H5");
}
void KTNewPayVC::doWalletPay() {
  setPayStyle(2);
  kit::log("钱包H5");
}
void KTNewPayVC::doPtbPay() {
  setPayStyle(3);
  kit::log("平台币");
}
void KTNewPayVC::doDjqPay() {
  setPayStyle(4);
  kit::log("代金券支付");
}
void KTNewPayVC::doGFWalletPay() {
  setPayStyle(5);
  kit::log("钱包APP");
}
void KTNewPayVC::doGFWxPay() {
  setPayStyle(6);
  kit::log("官方微信H5");
}

// ---- Coupons -------------------------------------------------------------------

void KTNewPayVC::goToCoupons() {
  KIT_CHECK_MAIN_THREAD();
  KTCouponsVC::registerScene();
  auto picker = std::dynamic_pointer_cast<KTCouponsVC>(
      kit::Storyboard::named(KTCouponsVC::kStoryboard)->instantiateViewController(KTCouponsVC::kIdentifier));
  if (!picker) return;
  picker->setMoney(order_.money);
  kit::Weak<KTNewPayVC> weak = weakSelf<KTNewPayVC>();
  picker->setCouponsBlock([weak](const kit::Ref<KTCouponsModel>& coupon) {
    if (auto self = weak.lock()) self->couponChosen(coupon);
  });
  picker->setModalPresentationStyle(kit::ModalPresentationStyle::Custom);
  picker->setModalTransitionStyle(kit::ModalTransitionStyle::CrossDissolve);
  presentViewController(picker, true);
}

void KTNewPayVC::couponChosen(const kit::Ref<KTCouponsModel>& coupon) {
  if (!coupon) return;
  // A value that is no amount would make the order free: the coupon is
  // refused and the one before it stays.
  if (!amountOf(coupon->coupon_money())) {
    CXRMessage::showMessage(kit::str(kBadAmount), view());
    return;
  }
  order_.cid = coupon->cid();
  couponsBtn()->setTitle("满" + kit::shownText(coupon->pay_money()) + "减" + kit::shownText(coupon->coupon_money()));
  order_.couponMoney = calculateMoney(order_.money, coupon->coupon_money(), "-");
  if (negative(order_.couponMoney)) order_.couponMoney = kit::str("0");
  // What the coupon leaves is cut to two places; less than a cent left is
  // charged a cent, so that only a coupon worth the whole price makes the
  // order free.
  auto money = amountOf(order_.money);
  auto left = amountOf(order_.couponMoney);
  if (money && left && left->compareDecimal(*kit::DecimalNumber::zero()) == 0 &&
      money->compareDecimal(*amountOf(coupon->coupon_money())) > 0) {
    order_.couponMoney = kit::str(kSmallestAmount);
  }
  order_.realMoney = calculateMoney(order_.couponMoney, kit::format("%f", discount_), "*");
  if (negative(order_.realMoney)) order_.realMoney = kit::str("0");
  showAmountToPay();
}

kit::Ref<NetWorkManager> KTNewPayVC::manager() {
  if (!manager_) manager_ = NetWorkManager::sharedInstance();
  return manager_;
}
