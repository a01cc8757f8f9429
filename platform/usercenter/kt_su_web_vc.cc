// The user centre's web page. See kt_su_web_vc.h.
#include "platform/usercenter/kt_su_web_vc.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/user_defaults.h"
#include "kit/graphics/image_named.h"
#include "kit/net/url_cache.h"
#include "kit/ui/application.h"
#include "kit/ui/scene_registry.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/usercenter/kt_suspend_vc.h"

namespace {

constexpr double ButtonSide = 44;
constexpr const char* BackIcon = "KT_nav_back.png";
constexpr const char* CloseIcon = "KT_su_close.png";

// The slide of a page's view: in to identity, out to 300 points right.
void slide(const kit::Ref<kit::View>& view, bool in, std::function<void(bool)> completion = {}) {
  kit::View::animateSpring(
      KTSuWebVC::SlideDuration, 0, 1.0, 0, 0,
      [view, in] {
        view->setTransform(in ? kit::AffineTransform::identity()
                              : kit::AffineTransform::makeTranslation(KTSuWebVC::SlideOffset, 0));
      },
      std::move(completion));
}

}  // namespace

namespace KTSuWebPages {

bool isQQLink(const std::string& address) {
  return address.find("mqq://") != std::string::npos || address.find("mqqapi://") != std::string::npos;
}

kit::Ref<KTWebProgressLayer> startProgress(kit::View& view, const kit::Ref<KTWebProgressLayer>& previous) {
  // A new load supersedes the one before: its bar is finished, not left
  // standing where it crept to.
  if (previous) previous->finishedLoad();
  auto layer = KTWebProgressLayer::layerWithFrame(kit::Rect{0, ProgressY, ProgressW, ProgressH});
  view.layer()->addSublayer(layer);
  layer->startLoad();
  return layer;
}

void writeCacheSettings() {
  auto defaults = kit::UserDefaults::standardUserDefaults();
  defaults->setInteger(0, "WebKitCacheModelPreferenceKey");
  defaults->setBool(false, "WebKitDiskImageCacheEnabled");
  defaults->setBool(false, "WebKitOfflineWebApplicationCacheEnabled");
  defaults->synchronize();
}

std::string addressOf(const kit::Ref<kit::URLRequest>& request) {
  return request && request->URL() ? request->URL()->absoluteString()->utf8() : std::string();
}

}  // namespace KTSuWebPages

void KTSuWebVC::registerScene() {
  kit::SceneRegistry::shared().registerController(KTSuspendVC::Storyboard, Identifier,
                                                  [] { return kit::make<KTSuWebVC>(); });
}

kit::Ref<KTSuWebVC> KTSuWebVC::loadWebVcWithUrl(kit::ViewController& opener, const std::string& url,
                                                const kit::Ref<kit::String>& name) {
  KIT_CHECK_MAIN_THREAD();
  registerScene();
  auto storyboard = kit::Storyboard::named(KTSuspendVC::Storyboard);
  auto page = storyboard ? std::dynamic_pointer_cast<KTSuWebVC>(storyboard->instantiateViewController(Identifier))
                         : nullptr;
  auto container = opener.parentViewController();
  auto area = container ? container->view()->viewWithTag(KTSuspendVC::SlideAreaTag) : nullptr;
  if (!page || !area) return nullptr;
  page->setUrl(url);
  page->setName(name);
  page->setRemoveBlock([](KTSuWebVC& closing) {
    auto keep = closing.selfAs<KTSuWebVC>();
    slide(closing.view(), false, [keep](bool) {
      keep->view()->removeFromSuperview();
      keep->removeFromParentViewController();
    });
  });
  page->view()->setFrame(area->bounds());
  page->view()->setTransform(kit::AffineTransform::makeTranslation(SlideOffset, 0));
  area->addSubview(page->view());
  container->addChildViewController(page);
  return page;
}

KTSuWebVC::~KTSuWebVC() {
  if (auto web = webView_.lock()) web->delegate.reset();
  kit::URLCache::sharedURLCache()->removeAllCachedResponses();
}

void KTSuWebVC::loadView() {
  auto root = kit::View::make(kit::Rect{0, 0, 300, 600});
  root->setBackgroundColor(kit::Color::whiteColor());
  const double W = root->bounds().size.width;

  auto bar = kit::View::make(kit::Rect{0, 0, W, TitleBarH});
  bar->setAutoresizingMask(kit::AutoresizingFlexibleWidth);
  bar->setBackgroundColor(kit::Color::whiteColor());
  root->addSubview(bar);
  auto back = kit::Button::make(kit::Rect{0, 0, ButtonSide, ButtonSide});
  back->setImage(kit::imageNamed(NSStringURLEncode::getImagePath(BackIcon)));
  bar->addSubview(back);
  auto title = kit::Label::make(kit::Rect{ButtonSide, 0, W - 2 * ButtonSide, TitleBarH});
  title->setAutoresizingMask(kit::AutoresizingFlexibleWidth);
  title->setTextAlignment(kit::TextAlignment::Center);
  title->setFont(kit::Font::boldSystemFont(16));
  title->setTextColor(kit::Color::hex(0x333333));
  bar->addSubview(title);
  auto close = kit::Button::make(kit::Rect{W - ButtonSide, 0, ButtonSide, ButtonSide});
  close->setAutoresizingMask(kit::AutoresizingFlexibleLeftMargin);
  close->setImage(kit::imageNamed(NSStringURLEncode::getImagePath(CloseIcon)));
  bar->addSubview(close);

  auto web = kit::LegacyWebView::make(kit::Rect{0, TitleBarH, W, root->bounds().size.height - TitleBarH});
  web->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  root->addSubview(web);

  kit::Weak<KTSuWebVC> weak = weakSelf<KTSuWebVC>();
  back->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->goBack();
  });
  close->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->removeClick();
  });
  webView_ = web;
  titleL_ = title;
  backBtn_ = back;
  closeBtn_ = close;
  setView(root);
}

void KTSuWebVC::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  auto web = webView();
  web->delegate = weakSelf<KTSuWebVC>();
  web->scrollView()->setBounces(false);
  if (name_ && !name_->utf8().empty()) titleL()->setText(name_->utf8());
  auto address = kit::URL::URLWithString(url_);
  if (address) web->loadRequest(kit::URLRequest::make(address));
}

void KTSuWebVC::viewDidAppear(bool animated) {
  kit::ViewController::viewDidAppear(animated);
  slide(view(), true);
}

void KTSuWebVC::goBack() {
  auto web = webView();
  if (web && web->canGoBack()) {
    web->goBack();
  } else if (removeBlock_) {
    removeBlock_(*this);
  }
}

void KTSuWebVC::removeClick() {
  if (removeBlock_) removeBlock_(*this);
}

bool KTSuWebVC::shouldStartLoadWithRequest(kit::LegacyWebView&, const kit::Ref<kit::URLRequest>& request,
                                           kit::LegacyNavigationType) {
  const std::string address = KTSuWebPages::addressOf(request);
  if (KTSuWebPages::isQQLink(address)) {
    kit::Application::shared()->openURL(address);
  } else if (address.find("identifySuccess") != std::string::npos) {
    kit::NotificationCenter::defaultCenter()->postNotificationName(RealNameNotification);
  }
  return true;
}

void KTSuWebVC::webViewDidStartLoad(kit::LegacyWebView&) {
  progressLayer_ = KTSuWebPages::startProgress(*view(), progressLayer());
}

void KTSuWebVC::webViewDidFinishLoad(kit::LegacyWebView& web) {
  if (auto progress = progressLayer()) progress->finishedLoad();
  if (auto title = titleL()) {
    title->setText(name_ && !name_->utf8().empty() ? name_->utf8()
                                                   : web.stringByEvaluatingJavaScriptFromString("document.title"));
  }
  KTSuWebPages::writeCacheSettings();
}

void KTSuWebVC::didFailLoadWithError(kit::LegacyWebView&, const kit::Ref<kit::Error>&) {
  if (auto progress = progressLayer()) progress->finishedLoad();
}
