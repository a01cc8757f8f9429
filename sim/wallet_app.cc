// The simulated wallet app. See wallet_app.h.
#include "sim/wallet_app.h"

#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/url.h"
#include "kit/foundation/url_components.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "sim/platform_service.h"

namespace sim {

namespace {

constexpr const char* kPaid = "9000";
constexpr const char* kFailed = "4000";
// The application the return URLs come from.
constexpr const char* kSourceApplication = "com.example.wallet";

std::string queryValue(const std::string& text) {
  auto encoded = kit::stringByAddingPercentEncodingWithAllowedCharacters(text, *kit::CharacterSet::urlQueryValueAllowed());
  return encoded ? encoded->utf8() : std::string();
}

// The decoded value of a query item of a URL, or "".
std::string queryItem(const std::string& url, const std::string& name) {
  auto parsed = kit::URL::URLWithString(url);
  auto components = parsed ? kit::URLComponents::componentsWithURL(*parsed, false) : nullptr;
  auto items = components ? components->queryItems() : nullptr;
  if (!items) return "";
  for (const kit::Id& entry : *items) {
    auto item = kit::as<kit::URLQueryItem>(entry);
    if (item && item->name()->utf8() == name && item->value()) return item->value()->utf8();
  }
  return "";
}

// The "result" of an answer for `order` in `form`.
std::string orderResult(const PlatformOrder& order, bool paid, WalletApp::ResultForm form) {
  using Form = WalletApp::ResultForm;
  const std::string flag = paid ? "true" : "false";
  if (form == Form::NotJSON) {
    return "out_trade_no=" + order.orderNumber + "&total_fee=" + order.realMoney + "&paid=" + flag;
  }
  std::string number = order.orderNumber;
  if (form == Form::Blanks) number = " " + number + " ";
  if (form == Form::LeadingZero) number = "0" + number;
  kit::Id trade = kit::dict({{form == Form::OtherCase ? "OUT_TRADE_NO" : "out_trade_no", number},
                             {"total_fee", order.realMoney},
                             {"paid", flag}});
  if (form == Form::Nested) trade = kit::dict({{"trade", trade}});
  auto data = kit::JSONSerialization::dataWithJSONObject(trade);
  return data ? data->toString() : "";
}

}  // namespace

struct WalletApp::State {
  State(PlatformService& p, std::string s) : platform(p), scheme(std::move(s)) {}
  PlatformService& platform;
  std::string scheme;
  std::string answer = kPaid;
  ResultForm form = ResultForm::JSON;
  bool namesUnpaid = false;
  bool installed = false;
  std::vector<std::string> received;
  std::vector<std::string> returned;

  // One payment request: check, pay or not, answer on the main queue.
  void receive(const std::string& url) {
    received.push_back(url);
    const std::string order = queryItem(url, "order");
    const std::string returnScheme = queryItem(url, "scheme");
    if (returnScheme.empty()) return;  // nowhere to answer
    std::optional<PlatformOrder> issued;
    for (const auto& placed : platform.orders()) {
      if (!order.empty() && placed.signedOrder == order) issued = placed;
    }
    std::string status = issued ? answer : kFailed;
    std::string memo = issued ? memoFor(status) : kUnknownOrderMemo;
    std::string result;
    if (issued && status == kPaid) {
      platform.markPaid(issued->orderNumber);
      result = orderResult(*issued, true, form);
    } else if (issued && namesUnpaid) {
      result = orderResult(*issued, false, form);
    }
    auto object = kit::JSONSerialization::dataWithJSONObject(
        kit::dict({{"resultStatus", status}, {"memo", memo}, {"result", result}}));
    const std::string returnURL = returnScheme + "://safepay/?result=" + queryValue(object ? object->toString() : "");
    returned.push_back(returnURL);
    kit::Queue::main().async(
        [returnURL] { kit::Application::shared()->openURLFromOutside(returnURL, kSourceApplication); });
  }
};

WalletApp::WalletApp(PlatformService& platform, std::string scheme)
    : state_(std::make_shared<State>(platform, std::move(scheme))) {}

WalletApp::~WalletApp() {
  if (state_->installed) uninstall();
}

void WalletApp::install() {
  KIT_CHECK_MAIN_THREAD();
  std::weak_ptr<State> weak = state_;
  kit::Application::shared()->installApplication(state_->scheme, [weak](const std::string& url) {
    if (auto state = weak.lock()) state->receive(url);
  });
  state_->installed = true;
}

bool WalletApp::isInstalled() const { return state_->installed; }

void WalletApp::uninstall() {
  KIT_CHECK_MAIN_THREAD();
  kit::Application::shared()->installApplication(state_->scheme, nullptr);
  state_->installed = false;
}

void WalletApp::setAnswer(std::string resultStatus) { state_->answer = std::move(resultStatus); }
void WalletApp::setResultForm(ResultForm form) { state_->form = form; }
void WalletApp::setNamesUnpaidOrders(bool names) { state_->namesUnpaid = names; }

std::vector<std::string> WalletApp::receivedURLs() const { return state_->received; }
std::vector<std::string> WalletApp::returnURLs() const { return state_->returned; }

std::string WalletApp::memoFor(const std::string& resultStatus) {
  if (resultStatus == kPaid) return "支付成功";
  if (resultStatus == "6001") return "用户中途取消";
  if (resultStatus == "6002") return "网络连接出错";
  return "订单支付失败";
}

}  // namespace sim
