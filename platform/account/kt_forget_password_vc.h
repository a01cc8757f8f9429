// KTForgetPasswordVC: the platform's forgotten-password web page
// ("appview/User/forgetpwd" on the platform's web host) on the login
// window's navigation stack, under the title "忘记密码" with the bar shown.
// Its back arrow pops the page without animation. Main thread.
#pragma once

#include "kit/web/legacy_web_view.h"
#include "platform/account/kt_base_vc.h"

class KTForgetPasswordVC : public KTBaseVC, public kit::LegacyWebViewDelegate {
 public:
  static constexpr const char* Storyboard = "KTUserShow";
  static constexpr const char* Identifier = "KTForgetPasswordVC";
  static constexpr const char* PagePath = "appview/User/forgetpwd";

  static kit::Ref<KTForgetPasswordVC> make() { return kit::make<KTForgetPasswordVC>(); }
  // Registers the scene with the scene registry (once; also done when the
  // program starts).
  static void registerScene();

  // The scene's outlet: the web view over the whole page.
  kit::Ref<kit::LegacyWebView> web() const { return web_.lock(); }

  void loadView() override;
  // Shows the navigation bar.
  void viewWillAppear(bool animated) override;
  // The title view and the page.
  void viewDidLoad() override;
  // Pops the page without animation.
  void popAction() override;

 private:
  kit::Weak<kit::LegacyWebView> web_;
};
