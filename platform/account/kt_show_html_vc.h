// KTShowHTMLVC: the user agreement, the platform's page "Agreement/xieyi"
// under the API base, in a web view on the login window's navigation stack
// under the title "用户协议". A red spinner (tag 101) turns in the middle of
// the screen until the page has loaded or failed; a failure shows nothing
// more. Main thread.
#pragma once

#include <string>

#include "kit/ui/activity_indicator_view.h"
#include "kit/web/legacy_web_view.h"
#include "platform/account/kt_base_vc.h"

class KTShowHTMLVC : public KTBaseVC, public kit::LegacyWebViewDelegate {
 public:
  static constexpr const char* Storyboard = "KTUserShow";
  static constexpr const char* Identifier = "KTShowHTMLVC";
  static constexpr const char* AgreementPath = "Agreement/xieyi";
  static constexpr long SpinnerTag = 101;

  static kit::Ref<KTShowHTMLVC> make() { return kit::make<KTShowHTMLVC>(); }
  // Registers the scene with the scene registry (once; also done when the
  // program starts).
  static void registerScene();

  // The scene's outlet: the web view over the whole page.
  kit::Ref<kit::LegacyWebView> WebView() const { return webView_.lock(); }

  void loadView() override;
  // No bouncing, the agreement loading, the title view, the bar shown.
  void viewDidLoad() override;
  // Loads the page with the spinner turning over it.
  void loadurl(const std::string& url);

  bool shouldStartLoadWithRequest(kit::LegacyWebView& webView, const kit::Ref<kit::URLRequest>& request,
                                  kit::LegacyNavigationType type) override;
  void webViewDidStartLoad(kit::LegacyWebView& webView) override;
  void webViewDidFinishLoad(kit::LegacyWebView& webView) override;
  void didFailLoadWithError(kit::LegacyWebView& webView, const kit::Ref<kit::Error>& error) override;

 private:
  void stopSpinner();

  kit::Weak<kit::LegacyWebView> webView_;
};
