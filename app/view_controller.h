// ViewController: the application's one screen, a full-screen web view
// showing the H5 game page. The page posts the script message
// "eventComplete" with a JSON text naming an action; the controller hands
// each action to the channel core and, as the core's listener, answers the
// page by evaluating "CallbackFromIOS('...')" with a JSON text.
//
// A role report is accepted only once the page has finished loading; every
// other action in any state. A page that cannot be reached before it
// commits shows "连接服务器失败" with "重试", which loads it again.
#pragma once

#include <memory>

#include "channel/core/jhl_core_entity.h"
#include "kit/ui/image_view.h"
#include "kit/ui/view_controller.h"
#include "kit/web/web_view.h"

class ViewController : public kit::ViewController,
                       public kit::NavigationDelegate,
                       public kit::UIDelegate,
                       public kit::ScriptMessageHandler,
                       public JHLCoreEntityDelegate {
 public:
  // The name of the page's script message.
  static constexpr const char* kMessageName = "eventComplete";
  // How long the splash stays before it fades, and the fade.
  static constexpr double kSplashSeconds = 2.0;
  static constexpr double kSplashFadeSeconds = 0.5;

  // A controller talking to the shared channel core; tests may give it a
  // core of its own.
  explicit ViewController(kit::Ref<JHLCoreEntity> core = JHLCoreEntity::sharedInstance());

  // ---- State
  // NO while the page (re)loads; YES once a navigation has finished.
  bool pageFinished() const { return pageFinished_; }
  const kit::Ref<kit::WebView>& wkWebView() const { return wkWebView_; }
  // The channel user and token of the last "loginNotify"; kept across logout.
  const kit::Ref<kit::String>& super_user_id() const { return super_user_id_; }
  const kit::Ref<kit::String>& serviceToken() const { return serviceToken_; }
  // The page address: the configured game page.
  static kit::Ref<kit::URLRequest> pageRequest();
  // The splash over the page until it fades.
  const kit::Ref<kit::ImageView>& splashView() const { return splash_; }

  // ---- Screen
  void viewDidLoad() override;
  void viewWillLayoutSubviews() override;
  bool prefersStatusBarHidden() const override { return true; }
  void didReceiveMemoryWarning() override { kit::ViewController::didReceiveMemoryWarning(); }

  // ---- Navigation and page dialogs
  void didFinishNavigation(kit::WebView& webView, const kit::Ref<kit::Navigation>& navigation) override;
  void didFailProvisionalNavigation(kit::WebView& webView, const kit::Ref<kit::Navigation>& navigation,
                                    const kit::Ref<kit::Error>& error) override;
  void runJavaScriptConfirmPanel(kit::WebView& webView, const std::string& message, const kit::FrameInfo& frame,
                                 std::function<void(bool)> completionHandler) override;
  void runJavaScriptAlertPanel(kit::WebView& webView, const std::string& message, const kit::FrameInfo& frame,
                               std::function<void()> completionHandler) override;
  void runJavaScriptTextInputPanel(kit::WebView& webView, const std::string& prompt,
                                   const std::optional<std::string>& defaultText, const kit::FrameInfo& frame,
                                   std::function<void(std::optional<std::string>)> completionHandler) override;

  // ---- The page's messages and the answers
  void didReceiveScriptMessage(kit::UserContentController& controller,
                               const kit::Ref<kit::ScriptMessage>& message) override;
  // Answers the page with a JSON object; the page runs it after the current
  // main-queue work, answers in the order given.
  void callJS(const kit::Ref<kit::Dictionary>& message);

  // ---- The channel core's listener
  void nuva_LightGetChannelLoginCallBack(const kit::Ref<kit::Dictionary>& login) override;
  void getUpdateRoleCallBack(const kit::Ref<kit::Dictionary>& reply) override;
  void canEnterListenCallBack(const kit::Ref<kit::String>& canEnter) override;
  void getPaySuccessCallBack(const kit::Ref<kit::Dictionary>& order) override;
  void getPayFailCallBack(const kit::Ref<kit::Dictionary>& order) override;
  void logOutCallBack(const kit::Ref<kit::String>& result) override;
  void rechargeCallBack(const kit::Id& request) override;

 private:
  void loadPage();
  void sendPayNotify(const kit::Ref<kit::Dictionary>& order, const char* status);

  kit::Ref<JHLCoreEntity> core_;
  bool pageFinished_ = false;
  kit::Ref<kit::WebView> wkWebView_;
  kit::Ref<kit::String> super_user_id_;
  kit::Ref<kit::String> serviceToken_;
  kit::Ref<kit::ImageView> splash_;
};
