// The agreement page. See kt_show_html_vc.h.
#include "platform/account/kt_show_html_vc.h"

#include "kit/dispatch/thread_check.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "net/network_manager.h"
#include "platform/base/ns_string_url_encode.h"

namespace {

constexpr const char* kTitleImage = "KT_User_Protocol";
// The spinner: 100 x 100, 50 left of and 80 above the screen's centre.
constexpr double SpinnerSide = 100, SpinnerLeft = 50, SpinnerUp = 80;

}  // namespace

void KTShowHTMLVC::registerScene() {
  kit::SceneRegistry::shared().registerController(Storyboard, Identifier, [] { return KTShowHTMLVC::make(); });
}

void KTShowHTMLVC::loadView() {
  auto root = kit::View::make(kit::Screen::main()->bounds());
  root->setBackgroundColor(kit::Color::whiteColor());
  root->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  auto web = kit::LegacyWebView::make(root->bounds());
  web->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  root->addSubview(web);
  webView_ = web;
  setView(root);
}

void KTShowHTMLVC::viewDidLoad() {
  KTBaseVC::viewDidLoad();
  if (auto web = WebView()) {
    web->delegate = selfAs<KTShowHTMLVC>();
    web->scrollView()->setBounces(false);
  }
  // The bar shows before the page loads: the page is laid out below it, at
  // its final size, from the start.
  hiddenNavBar(false);
  if (auto web = WebView()) web->layoutIfNeeded();
  loadurl(SDPPlatformAPIBaseURL() + AgreementPath);
  SetBarTitleViewWithTitle("用户协议", kit::imageNamed(NSStringURLEncode::getImagePath(kTitleImage)));
}

void KTShowHTMLVC::loadurl(const std::string& url) {
  KIT_CHECK_MAIN_THREAD();
  auto request = kit::URLRequest::make(kit::URL::URLWithString(url));
  auto spinner = kit::ActivityIndicatorView::make(kit::ActivityIndicatorStyle::WhiteLarge);
  spinner->startAnimating();
  const kit::Size screen = kit::Screen::main()->bounds().size;
  spinner->setFrame({screen.width / 2 - SpinnerLeft, screen.height / 2 - SpinnerUp, SpinnerSide, SpinnerSide});
  spinner->setTag(SpinnerTag);
  spinner->setColor(kit::Color::redColor());
  view()->addSubview(spinner);
  if (auto web = WebView()) web->loadRequest(request);
}

bool KTShowHTMLVC::shouldStartLoadWithRequest(kit::LegacyWebView&, const kit::Ref<kit::URLRequest>&,
                                              kit::LegacyNavigationType) {
  return true;
}

void KTShowHTMLVC::webViewDidStartLoad(kit::LegacyWebView&) {}

void KTShowHTMLVC::webViewDidFinishLoad(kit::LegacyWebView&) { stopSpinner(); }

void KTShowHTMLVC::didFailLoadWithError(kit::LegacyWebView&, const kit::Ref<kit::Error>&) { stopSpinner(); }

void KTShowHTMLVC::stopSpinner() {
  if (auto spinner = std::dynamic_pointer_cast<kit::ActivityIndicatorView>(view()->viewWithTag(SpinnerTag))) {
    spinner->stopAnimating();
  }
}
