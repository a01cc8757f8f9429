// The customer-service page. See kt_su_service_vc.h.
#include "platform/usercenter/kt_su_service_vc.h"

#include "config/client_configuration.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/format.h"
#include "kit/foundation/number.h"
#include "kit/graphics/image_named.h"
#include "kit/net/url_cache.h"
#include "kit/ui/application.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/scene_registry.h"
#include "net/network_manager.h"
#include "platform/account/cxr_message.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/share_vale.h"
#include "platform/base/url_query_value.h"
#include "platform/usercenter/kt_suspend_vc.h"

namespace {

constexpr double BarH = 44, ButtonSide = 44, FeedbackW = 80;

std::string plistText(const char* key) {
  auto plist = ShareVale::sharedInstance()->getKTPlist();
  auto value = plist ? plist->objectForKey(key) : nullptr;
  return kit::as<kit::String>(value) || kit::as<kit::Number>(value) ? kit::describe(value) : std::string();
}

}  // namespace

void KTSuServiceVC::registerScene() {
  kit::SceneRegistry::shared().registerController(KTSuspendVC::Storyboard, Identifier,
                                                  [] { return kit::make<KTSuServiceVC>(); });
}

std::string KTSuServiceVC::chatPageURL() {
  auto host = ClientConfiguration::shared().urlForService(ClientConfiguration::kPlatformChatHost, ChatPath);
  return kit::describe(host) + "?sysNum=" + URLQueryValue::encode(plistText("TOLMIX_CHAT_SYSNUM")) +
         "&receiveId=&sourceId=" + URLQueryValue::encode(plistText("TOLMIX_CHAT_SOURCEID"));
}

std::string KTSuServiceVC::feedbackURL() {
  return SDPPlatformAPIBaseURL() + FeedbackPath + NSStringURLEncode::getWebViewURLArgument();
}

std::string KTSuServiceVC::copiedText(const std::string& link) {
  const size_t mark = link.rfind('?');
  return mark == std::string::npos ? link : link.substr(mark + 1);
}

KTSuServiceVC::~KTSuServiceVC() {
  if (auto web = webView_.lock()) web->delegate.reset();
  kit::URLCache::sharedURLCache()->removeAllCachedResponses();
}

void KTSuServiceVC::loadView() {
  auto root = kit::View::make(kit::Rect{0, 0, 300, 600});
  root->setBackgroundColor(kit::Color::whiteColor());
  const double W = root->bounds().size.width;
  auto bar = kit::View::make(kit::Rect{0, 0, W, BarH});
  bar->setAutoresizingMask(kit::AutoresizingFlexibleWidth);
  root->addSubview(bar);
  auto back = kit::Button::make(kit::Rect{0, 0, ButtonSide, ButtonSide});
  back->setImage(kit::imageNamed(NSStringURLEncode::getImagePath("KT_nav_back.png")));
  bar->addSubview(back);
  auto title = kit::Label::make(kit::Rect{ButtonSide, 0, W - ButtonSide - FeedbackW, BarH});
  title->setAutoresizingMask(kit::AutoresizingFlexibleWidth);
  title->setTextAlignment(kit::TextAlignment::Center);
  title->setFont(kit::Font::boldSystemFont(16));
  title->setText("客服");
  bar->addSubview(title);
  auto feedback = kit::Button::make(kit::Rect{W - FeedbackW, 0, FeedbackW, BarH});
  feedback->setAutoresizingMask(kit::AutoresizingFlexibleLeftMargin);
  feedback->setTitle(FeedbackTitle);
  feedback->setTitleColor(kit::Color::hex(0xFF7F00));
  feedback->titleLabel()->setFont(kit::Font::systemFont(14));
  bar->addSubview(feedback);
  auto web = kit::LegacyWebView::make(kit::Rect{0, BarH, W, root->bounds().size.height - BarH});
  web->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  root->addSubview(web);

  kit::Weak<KTSuServiceVC> weak = weakSelf<KTSuServiceVC>();
  back->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->goBack();
  });
  feedback->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->goToFeedBackVC();
  });
  webView_ = web;
  backBtn_ = back;
  feedbackBtn_ = feedback;
  setView(root);
}

void KTSuServiceVC::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  backBtn()->setHidden(true);
  auto web = webView();
  web->delegate = weakSelf<KTSuServiceVC>();
  web->scrollView()->setBounces(false);
  loadUrlWithStr(chatPageURL());
}

void KTSuServiceVC::goBack() {
  auto web = webView();
  if (!web || !web->canGoBack()) return;
  web->goBack();
  backBtn()->setHidden(true);
}

void KTSuServiceVC::goToFeedBackVC() { loadWebVcWithUrl(feedbackURL(), kit::str(FeedbackTitle)); }

void KTSuServiceVC::loadUrlWithStr(const std::string& url) {
  auto address = kit::URL::URLWithString(url);
  auto web = webView();
  if (address && web) web->loadRequest(kit::URLRequest::make(address));
}

kit::Ref<KTSuWebVC> KTSuServiceVC::loadWebVcWithUrl(const std::string& url, const kit::Ref<kit::String>& name) {
  return KTSuWebVC::loadWebVcWithUrl(*this, url, name);
}

bool KTSuServiceVC::shouldStartLoadWithRequest(kit::LegacyWebView&, const kit::Ref<kit::URLRequest>& request,
                                               kit::LegacyNavigationType) {
  const std::string address = KTSuWebPages::addressOf(request);
  if (address.find("tolcopy://") != std::string::npos) {
    const std::string piece = copiedText(address);
    CXRMessage::showMessage(kit::str(CopiedToast), view());
    kit::Pasteboard::general()->setString(piece);
  } else if (KTSuWebPages::isQQLink(address)) {
    kit::Application::shared()->openURL(address);
  }
  return true;
}

void KTSuServiceVC::webViewDidStartLoad(kit::LegacyWebView&) {
  progressLayer_ = KTSuWebPages::startProgress(*view(), progressLayer());
}

void KTSuServiceVC::webViewDidFinishLoad(kit::LegacyWebView&) {
  if (auto progress = progressLayer()) progress->finishedLoad();
  KTSuWebPages::writeCacheSettings();
}

void KTSuServiceVC::didFailLoadWithError(kit::LegacyWebView&, const kit::Ref<kit::Error>&) {
  if (auto progress = progressLayer()) progress->finishedLoad();
}
