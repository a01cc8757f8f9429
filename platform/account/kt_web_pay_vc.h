// KTWebPayVC: the in-app web page of the H5 pay ways. The pay sheet pushes
// it with the pay page the platform returned for an H5 cashier order or an
// official WeChat H5 order; it loads the page in the older in-app web view
// and allows every navigation of the page. It does not read the result
// itself: each time the player comes back to the client (the application
// becomes active) or taps back, it calls webViewCallBack with itself, and
// the sheet pops it and asks the platform for the result.
//
// Official WeChat H5 pages (isGFWXH5) are requested with their address
// escaped as UTF-8, GET, a 60-second time-out and the "Referer" the pay
// page checks (refererValue); other pages are requested as given. An
// address that does not parse loads nothing; the spinner keeps turning and
// the back action still reports. Main thread.
//
//   auto page = kit::make<KTWebPayVC>();
//   page->setUrl(payPage);
//   page->setWebViewCallBack([weakSheet](const kit::Ref<KTWebPayVC>& page) { ... pop, ask for the result ... });
//   nav->pushViewController(page, true);
#pragma once

#include <functional>
#include <string>

#include "kit/ui/activity_indicator_view.h"
#include "kit/web/legacy_web_view.h"
#include "platform/account/kt_base_vc.h"

class KTWebPayVC : public KTBaseVC, public kit::LegacyWebViewDelegate {
 public:
  using WebViewCallBack = std::function<void(const kit::Ref<KTWebPayVC>& page)>;

  static constexpr double TimeoutInterval = 60;
  // The KT.plist key that overrides the "Referer" of official pages.
  static constexpr const char* kRefererKey = "TOLMIX_REFERER";

  KTWebPayVC() = default;
  // Stops observing; logs "web销毁了".
  ~KTWebPayVC() override;

  // Observes the application's becoming active, then a white page with the
  // web view, and loadUrl.
  void viewDidLoad() override;
  // The sheet's callback, with this page, when one is set.
  void cancelBtnClick();
  // The spinner, red, centred a little above the middle of the screen.
  const kit::Ref<kit::ActivityIndicatorView>& avi();
  // The page's web view: its bounds, white, this page as its delegate.
  const kit::Ref<kit::LegacyWebView>& webView();
  // Starts the spinner and loads `url` (see above).
  void loadUrl();

  // ---- Web view: every load allowed; started and failed loads are
  // logged ("开始加载", "加载失败"); a finished load stops the spinner.
  bool shouldStartLoadWithRequest(kit::LegacyWebView& webView, const kit::Ref<kit::URLRequest>& request,
                                  kit::LegacyNavigationType navigationType) override;
  void webViewDidStartLoad(kit::LegacyWebView& webView) override;
  void webViewDidFinishLoad(kit::LegacyWebView& webView) override;
  void didFailLoadWithError(kit::LegacyWebView& webView, const kit::Ref<kit::Error>& error) override;

  bool shouldAutorotate() const override { return false; }
  kit::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override {
    return kit::InterfaceOrientation::Portrait;
  }
  // The back action reports like a return; the sheet's callback pops.
  void popAction() override;

  const kit::Ref<kit::String>& url() const { return url_; }
  void setUrl(const kit::Ref<kit::String>& v) { url_ = v ? kit::str(v->utf8()) : nullptr; }
  bool isGFWXH5() const { return isGFWXH5_; }
  void setIsGFWXH5(bool v) { isGFWXH5_ = v; }
  const WebViewCallBack& webViewCallBack() const { return webViewCallBack_; }
  void setWebViewCallBack(WebViewCallBack v) { webViewCallBack_ = std::move(v); }

  // The address with every character that may not stand in a URL written
  // as "%XX" of its UTF-8 bytes; reserved characters and escapes already
  // there ("%41") stay as they are, so nothing is escaped twice. "" when
  // the text cannot be written in UTF-8.
  static std::string escapedAddress(const std::string& address);
  // The official pages' "Referer": KT.plist's TOLMIX_REFERER when set,
  // else the platform API host followed by "://".
  static std::string refererValue();

 private:
  kit::Ref<kit::String> url_;
  bool isGFWXH5_ = false;
  WebViewCallBack webViewCallBack_;
  kit::Ref<kit::LegacyWebView> webView_;
  kit::Ref<kit::ActivityIndicatorView> avi_;
  kit::Id activeObserver_;
};
