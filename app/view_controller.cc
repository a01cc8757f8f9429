// The game page's screen and script bridge. See view_controller.h.

#include "app/view_controller.h"

#include "app/page_message.h"
#include "channel/core/nuva_log.h"
#include "config/client_configuration.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/screen.h"
#include "kit/ui/text_field.h"

ViewController::ViewController(kit::Ref<JHLCoreEntity> core) : core_(std::move(core)) {}

kit::Ref<kit::URLRequest> ViewController::pageRequest() {
  auto address = ClientConfiguration::shared().valueForKey(ClientConfiguration::kGamePage);
  auto url = address ? kit::URL::URLWithString(address) : nullptr;
  if (!url) {
    kit::log("game page: no usable address configured (%@)", address);
    url = kit::URL::URLWithString("http://invalid.invalid/");
  }
  return kit::MutableURLRequest::make(url);
}

void ViewController::loadPage() { wkWebView_->loadRequest(pageRequest()); }

// ---- Screen ----------------------------------------------------------------------

void ViewController::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  view()->setBackgroundColor(kit::Color::blackColor());
  auto self = selfAs<ViewController>();
  core_->nuva_setStartLoginListener(self);
  pageFinished_ = false;

  auto configuration = kit::WebViewConfiguration::make();
  configuration->setUserContentController(kit::UserContentController::make());
  configuration->userContentController()->addScriptMessageHandler(self, kMessageName);

  const kit::Rect screen = kit::Screen::main()->bounds();
  wkWebView_ = kit::WebView::make(screen, configuration);
  view()->addSubview(wkWebView_);
  wkWebView_->scrollView()->setContentInsetAdjustmentBehavior(kit::ScrollViewContentInsetAdjustmentBehavior::Never);
  wkWebView_->setBackgroundColor(kit::Color::clearColor());
  wkWebView_->setUIDelegate(self);
  wkWebView_->setNavigationDelegate(self);
  wkWebView_->scrollView()->setScrollEnabled(false);
  loadPage();

  splash_ = kit::ImageView::make(screen);
  if (auto path = kit::Bundle::main()->pathForResource("yxjkbg.png", "")) {
    splash_->setImage(kit::Image::withContentsOfFile(path->utf8()));
  }
  view()->addSubview(splash_);

  kit::Weak<ViewController> weak = self;
  kit::Queue::main().after(kSplashSeconds, [weak] {
    auto self = weak.lock();
    if (!self) return;
    kit::View::animate(
        kSplashFadeSeconds, [weak] { if (auto self = weak.lock()) self->view()->setAlpha(1.0); },
        [weak](bool) {
          if (auto self = weak.lock()) self->splash_->removeFromSuperview();
        });
  });
}

void ViewController::viewWillLayoutSubviews() {
  if (!wkWebView_) return;
  const kit::EdgeInsets insets = view()->safeAreaInsets();
  const kit::Rect guide = view()->safeAreaLayoutFrame();
  wkWebView_->setFrame(
      {insets.left, insets.top, guide.width(), view()->bounds().height() - insets.top - insets.bottom});
}

// ---- Navigation and page dialogs ----------------------------------------------------

void ViewController::didFinishNavigation(kit::WebView& webView, const kit::Ref<kit::Navigation>&) {
  pageFinished_ = true;
  kit::log("game page loaded: %@", webView.URL());
}

void ViewController::didFailProvisionalNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&,
                                                  const kit::Ref<kit::Error>& error) {
  kit::log("game page failed to load: %@", error);
  auto alert = kit::AlertController::make("提示", "连接服务器失败", kit::AlertControllerStyle::Alert);
  kit::Weak<ViewController> weak = selfAs<ViewController>();
  alert->addAction(kit::AlertAction::make("重试", kit::AlertActionStyle::Default, [weak](kit::AlertAction&) {
    if (auto self = weak.lock()) self->loadPage();
  }));
  presentViewController(alert, true);
}

void ViewController::runJavaScriptConfirmPanel(kit::WebView&, const std::string& message, const kit::FrameInfo&,
                                               std::function<void(bool)> completionHandler) {
  auto alert = kit::AlertController::make("提示", message, kit::AlertControllerStyle::Alert);
  alert->addAction(kit::AlertAction::make("取消", kit::AlertActionStyle::Cancel,
                                          [completionHandler](kit::AlertAction&) { completionHandler(false); }));
  alert->addAction(kit::AlertAction::make("确认", kit::AlertActionStyle::Default,
                                          [completionHandler](kit::AlertAction&) { completionHandler(true); }));
  presentViewController(alert, true);
}

void ViewController::runJavaScriptAlertPanel(kit::WebView&, const std::string&, const kit::FrameInfo&,
                                             std::function<void()> completionHandler) {
  completionHandler();
}

void ViewController::runJavaScriptTextInputPanel(kit::WebView&, const std::string& prompt,
                                                 const std::optional<std::string>& defaultText,
                                                 const kit::FrameInfo&,
                                                 std::function<void(std::optional<std::string>)> completionHandler) {
  auto alert = kit::AlertController::make(prompt, "", kit::AlertControllerStyle::Alert);
  std::string preset = defaultText.value_or("");
  alert->addTextField([preset](kit::TextField& field) { field.setText(preset); });
  kit::Weak<kit::AlertController> weakAlert = alert;
  alert->addAction(kit::AlertAction::make("完成", kit::AlertActionStyle::Default,
                                          [weakAlert, completionHandler](kit::AlertAction&) {
                                            std::string text;
                                            if (auto alert = weakAlert.lock(); alert && !alert->textFields().empty()) {
                                              text = alert->textFields().front()->text();
                                            }
                                            completionHandler(text);
                                          }));
  presentViewController(alert, true);
}

// ---- The page's messages ---------------------------------------------------------------

void ViewController::didReceiveScriptMessage(kit::UserContentController&, const kit::Ref<kit::ScriptMessage>& message) {
  KIT_CHECK_MAIN_THREAD();
  if (!message || message->name() != kMessageName) return;
  PageMessage page = PageMessage::parse(message->body());
  const std::string action = page.action()->utf8();

  // Each message reaches the core while it is handled, so the core takes
  // the page's messages in the order the page posted them.
  if (action == "pay") {
    core_->nuva_superOrder(page.orderJSON(super_user_id_));
  } else if (action == "login") {
    core_->nuva_lightLoginStart();
  } else if (action == "uploadGameRoleInfo") {
    if (!pageFinished_) return;
    if (auto role = page.roleJSON(super_user_id_)) core_->nuva_superRoleUpdate(role);
  } else if (action == "logout") {
    core_->nuva_logout();
  } else if (action == "openStore") {
    core_->nuva_openGmShop();
  } else if (action == "openResourseStore") {
    core_->nuva_openResourceStore();
  }
}

void ViewController::callJS(const kit::Ref<kit::Dictionary>& message) {
  KIT_CHECK_MAIN_THREAD();
  if (!wkWebView_) return;
  // The web view runs the script on its next pass, after the main-queue work
  // running now; answers reach the page in the order they are given here.
  wkWebView_->evaluateJavaScript(PageMessage::callbackScript(message)->utf8(),
                                 [](kit::Id result, kit::Ref<kit::Error> error) {
                                   if (error) kit::log("CallbackFromIOS failed: %@", error);
                                   else if (result) kit::log("CallbackFromIOS answered %@", result);
                                 });
}

// ---- The channel core's listener ----------------------------------------------------------

// What the page hears of a value the channel handed on: its shown text,
// empty where there is none (never "(null)" or "<null>").
static kit::Ref<kit::String> heard(const kit::Id& value) { return kit::str(kit::shownText(value)); }

void ViewController::nuva_LightGetChannelLoginCallBack(const kit::Ref<kit::Dictionary>& login) {
  kit::Id values = login;
  super_user_id_ = heard(values["super_user_id"]);
  serviceToken_ = heard(values["token"]);
  callJS(kit::dict({{"action", "loginNotify"},
                    {"data", kit::dict({{"super_user_id", super_user_id_}, {"token", serviceToken_}})}}));
}

void ViewController::getUpdateRoleCallBack(const kit::Ref<kit::Dictionary>&) {
  callJS(kit::dict({{"action", "uploadGameRoleInfo"}, {"data", ""}}));
}

void ViewController::canEnterListenCallBack(const kit::Ref<kit::String>&) {}

void ViewController::sendPayNotify(const kit::Ref<kit::Dictionary>& order, const char* status) {
  kit::Id values = order;
  auto orderId = heard(values["order_id"]);
  callJS(kit::dict({{"action", "payNotify"},
                    {"data", kit::dict({{"status", status},
                                        {"order_id", orderId},
                                        {"channel_order", orderId},
                                        {"cp_order", heard(values["cpOrder"])}})}}));
}

void ViewController::getPaySuccessCallBack(const kit::Ref<kit::Dictionary>& order) { sendPayNotify(order, "1"); }

void ViewController::getPayFailCallBack(const kit::Ref<kit::Dictionary>& order) { sendPayNotify(order, "2"); }

void ViewController::logOutCallBack(const kit::Ref<kit::String>&) {
  callJS(kit::dict({{"action", "clientlogout"}, {"data", ""}}));
  pageFinished_ = false;
  loadPage();
}

void ViewController::rechargeCallBack(const kit::Id&) { callJS(kit::dict({{"action", "goPay"}})); }
