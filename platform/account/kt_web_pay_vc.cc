// The web pay page. See kt_web_pay_vc.h.
#include "platform/account/kt_web_pay_vc.h"

#include "config/client_configuration.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/log.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/url.h"
#include "kit/graphics/color.h"
#include "kit/net/url_request.h"
#include "kit/ui/application.h"
#include "kit/ui/screen.h"
#include "platform/base/share_vale.h"

namespace {

// The spinner: 100 x 100, centred 50 points above the screen's middle.
constexpr double AviSide = 100, AviRaise = 80;

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

KTWebPayVC::~KTWebPayVC() {
  if (activeObserver_) kit::NotificationCenter::defaultCenter()->removeObserver(activeObserver_);
  kit::log("web销毁了");
}

void KTWebPayVC::viewDidLoad() {
  KTBaseVC::viewDidLoad();
  kit::Weak<KTWebPayVC> weak = weakSelf<KTWebPayVC>();
  activeObserver_ = kit::NotificationCenter::defaultCenter()->addObserverForName(
      kit::ApplicationDidBecomeActiveNotification, nullptr, [weak](const kit::Ref<kit::Notification>&) {
        if (auto self = weak.lock()) self->cancelBtnClick();
      });
  view()->setBackgroundColor(kit::Color::whiteColor());
  view()->addSubview(webView());
  loadUrl();
}

void KTWebPayVC::cancelBtnClick() {
  KIT_CHECK_MAIN_THREAD();
  if (!webViewCallBack_) return;
  WebViewCallBack callback = webViewCallBack_;
  callback(std::static_pointer_cast<KTWebPayVC>(weakSelf<KTWebPayVC>().lock()));
}

void KTWebPayVC::popAction() { cancelBtnClick(); }

const kit::Ref<kit::ActivityIndicatorView>& KTWebPayVC::avi() {
  if (!avi_) {
    const kit::Rect screen = kit::Screen::main()->bounds();
    avi_ = kit::ActivityIndicatorView::make(kit::ActivityIndicatorStyle::WhiteLarge);
    avi_->setFrame(kit::Rect{screen.width() / 2 - AviSide / 2, screen.height() / 2 - AviRaise, AviSide, AviSide});
    avi_->setColor(kit::Color::redColor());
  }
  return avi_;
}

const kit::Ref<kit::LegacyWebView>& KTWebPayVC::webView() {
  if (webView_) return webView_;
  // Loading the page's view makes the web view on the way (viewDidLoad).
  const kit::Rect bounds = view()->bounds();
  if (!webView_) {
    webView_ = kit::LegacyWebView::make(bounds);
    webView_->setBackgroundColor(kit::Color::whiteColor());
    webView_->delegate = weakSelf<KTWebPayVC>();
  }
  return webView_;
}

void KTWebPayVC::loadUrl() {
  KIT_CHECK_MAIN_THREAD();
  view()->addSubview(avi());
  avi()->startAnimating();
  const std::string address = url_ ? url_->utf8() : "";
  if (isGFWXH5_) {
    auto request = kit::MutableURLRequest::make(kit::URL::URLWithString(escapedAddress(address)),
                                                kit::URLRequestCachePolicy::UseProtocolCachePolicy, TimeoutInterval);
    request->setHTTPMethod("GET");
    request->setValue(refererValue(), "Referer");
    webView()->loadRequest(request);
  } else {
    webView()->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(address)));
  }
}

bool KTWebPayVC::shouldStartLoadWithRequest(kit::LegacyWebView&, const kit::Ref<kit::URLRequest>&,
                                            kit::LegacyNavigationType) {
  return true;
}

void KTWebPayVC::webViewDidStartLoad(kit::LegacyWebView&) { kit::log("开始加载"); }

void KTWebPayVC::webViewDidFinishLoad(kit::LegacyWebView&) { avi()->stopAnimating(); }

void KTWebPayVC::didFailLoadWithError(kit::LegacyWebView&, const kit::Ref<kit::Error>&) { kit::log("加载失败"); }

std::string KTWebPayVC::escapedAddress(const std::string& address) {
  std::string escaped;
  std::string run;  // characters since the last escape that is kept
  auto flush = [&]() -> bool {
    if (run.empty()) return true;
    auto part = kit::stringByAddingPercentEscapes(*kit::str(run), "#[]", "", kit::StringEncoding::UTF8);
    if (!part) return false;
    escaped += part->utf8();
    run.clear();
    return true;
  };
  for (size_t i = 0; i < address.size(); ++i) {
    if (address[i] == '%' && i + 2 < address.size() && isHex(address[i + 1]) && isHex(address[i + 2])) {
      if (!flush()) return "";
      escaped.append(address, i, 3);
      i += 2;
    } else {
      run += address[i];
    }
  }
  return flush() ? escaped : "";
}

std::string KTWebPayVC::refererValue() {
  auto plist = ShareVale::sharedInstance()->getKTPlist();
  auto configured = plist ? kit::as<kit::String>(plist->objectForKey(kRefererKey)) : nullptr;
  if (configured && configured->length() > 0) return configured->utf8();
  auto base = ClientConfiguration::shared().valueForKey(ClientConfiguration::kPlatformAPIBase);
  auto url = base ? kit::URL::URLWithString(base) : nullptr;
  auto host = url ? url->host() : nullptr;
  return (host ? host->utf8() : std::string()) + "://";
}
