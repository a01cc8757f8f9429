// The forgotten-password page. See kt_forget_password_vc.h.
#include "platform/account/kt_forget_password_vc.h"

#include "config/client_configuration.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/format.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/navigation_controller.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "platform/base/ns_string_url_encode.h"

namespace {

constexpr const char* kTitleImage = "KT_ForgetPwd_Icon";

}  // namespace

void KTForgetPasswordVC::registerScene() {
  kit::SceneRegistry::shared().registerController(Storyboard, Identifier,
                                                  [] { return KTForgetPasswordVC::make(); });
}

void KTForgetPasswordVC::loadView() {
  auto root = kit::View::make(kit::Screen::main()->bounds());
  root->setBackgroundColor(kit::Color::whiteColor());
  root->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  auto page = kit::LegacyWebView::make(root->bounds());
  page->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  root->addSubview(page);
  web_ = page;
  setView(root);
}

void KTForgetPasswordVC::viewWillAppear(bool animated) {
  KTBaseVC::viewWillAppear(animated);
  hiddenNavBar(false);
}

void KTForgetPasswordVC::viewDidLoad() {
  KTBaseVC::viewDidLoad();
  SetBarTitleViewWithTitle("忘记密码", kit::imageNamed(NSStringURLEncode::getImagePath(kTitleImage)));
  const std::string host =
      kit::describe(ClientConfiguration::shared().valueForKey(ClientConfiguration::kPlatformWebHost));
  if (auto page = web()) {
    page->delegate = selfAs<KTForgetPasswordVC>();
    // The bar shows before the page loads: the page is laid out below it,
    // at its final size, from the start.
    hiddenNavBar(false);
    page->layoutIfNeeded();
    page->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(host + PagePath)));
  }
}

void KTForgetPasswordVC::popAction() {
  KIT_CHECK_MAIN_THREAD();
  if (auto* nav = navigationController()) nav->popViewController(false);
}
