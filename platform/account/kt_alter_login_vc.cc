// The login window and its storyboard scene. See kt_alter_login_vc.h.
#include "platform/account/kt_alter_login_vc.h"

#include "config/client_configuration.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/format.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "net/mutable_dictionary_fields.h"
#include "net/network_manager.h"
#include "platform/account/cxr_helper_btn_port.h"
#include "platform/account/cxr_message.h"
#include "platform/account/kt_base_nav.h"
#include "platform/account/kt_forget_password_vc.h"
#include "platform/account/kt_show_html_vc.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/share_vale.h"
#include "speedup/acc.h"
#include "ui/images/kt_web_image_view.h"

namespace {

// Whether a stored name came from a third-party login (those are not
// prefilled).
bool isThirdPartyName(const std::string& name) {
  return name.find("weixin") != std::string::npos || name.find("qq") != std::string::npos;
}

}  // namespace

void KTAlterLoginVC::registerScene() {
  kit::SceneRegistry::shared().registerController(Storyboard, Identifier, [] { return kit::make<KTAlterLoginVC>(); });
  KTShowHTMLVC::registerScene();
  KTForgetPasswordVC::registerScene();
}

kit::Ref<KTAlterLoginVC> KTAlterLoginVC::instantiate() {
  registerScene();
  return std::dynamic_pointer_cast<KTAlterLoginVC>(kit::SceneRegistry::shared().instantiate(Storyboard, Identifier));
}

void KTAlterLoginVC::loadAlterLoginVCResultSuccess(SuccessBlock success, FailedBlock failed) {
  KIT_CHECK_MAIN_THREAD();
  if (auto* ball = CXRHelperBtnPort::shared(); ball && ball->isCreate()) ball->hide();
  auto controller = instantiate();
  controller->setSuccessBlock(std::move(success));
  controller->setFailedBlock(std::move(failed));
  auto window = kit::Window::make(kit::Screen::main()->bounds());
  window->setRootViewController(KTBaseNav::withRoot(controller));
  controller->setKeyWindow(window);
  window->setHidden(false);
  window->setBackgroundColor(kit::Color::white(0, 0));
  kit::Weak<KTAlterLoginVC> weak = controller;
  kit::View::animate(FadeDuration, [weak] {
    auto self = weak.lock();
    if (self && self->keyWindow()) self->keyWindow()->setBackgroundColor(kit::Color::white(0, DimAlpha));
  });
}

KTAlterLoginVC::~KTAlterLoginVC() { kit::log("loginVC已销毁"); }

void KTAlterLoginVC::loadView() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  auto root = kit::View::make(screen);
  root->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  auto card = KTLoginView::make();
  card->setCenter({screen.size.width / 2, screen.size.height / 2});
  root->addSubview(card);
  loginView_ = card;
  setView(root);
}

void KTAlterLoginVC::viewDidLayoutSubviews() {
  KTBaseVC::viewDidLayoutSubviews();
  const kit::Rect bounds = view()->bounds();
  if (auto card = loginView()) card->setCenter({bounds.size.width / 2, bounds.size.height / 2});
}

void KTAlterLoginVC::viewWillAppear(bool animated) {
  KTBaseVC::viewWillAppear(animated);
  hiddenNavBar(true);
}

void KTAlterLoginVC::viewDidLoad() {
  KTBaseVC::viewDidLoad();
  kit::log("%@", Version);
  view()->setBackgroundColor(kit::Color::clearColor());
  auto card = loginView();
  if (!card) return;
  card->delegate = weakSelf<KTAlterLoginVC>();
  card->setTransform(kit::AffineTransform::makeTranslation(0, -CardDrop));
  card->layer()->setCornerRadius(CardCornerRadius);
  card->setClipsToBounds(true);
  card->setUsingStyle(KTLoginView::Login);

  auto share = ShareVale::sharedInstance();
  const std::string host =
      kit::describe(ClientConfiguration::shared().valueForKey(ClientConfiguration::kPlatformWebHost));
  const std::string logo =
      host + kit::formatString(LogoPath, share->chanelid(), kit::str(NSStringURLEncode::getNowTimeTimestamp()));
  if (auto picture = KTLoginView::get(card->outlets().loginPic)) KT_setImageWithURL(*picture, kit::str(logo), nullptr);

  askSpeedUp();
  applyLoginStyle();
}

void KTAlterLoginVC::askSpeedUp() {
  auto parameters = kit::MutableDictionary::make();
  setObjectForField(*parameters, ShareVale::sharedInstance()->gameID(), "g");
  NetWorkManager::sharedInstance()->PostCouponURL(
      SpeedUpPath, parameters,
      [](const kit::Id& reply) {
        const kit::Id b = reply["b"];
        long value = 0;
        if (auto number = kit::as<kit::Number>(b)) value = number->integerValue();
        if (auto text = kit::as<kit::String>(b)) value = text->integerValue();
        if (value == 1) acc::acc_showTouch();
      },
      [](const kit::Ref<kit::Error>&) {});
}

void KTAlterLoginVC::applyLoginStyle() {
  auto card = loginView();
  auto share = ShareVale::sharedInstance();
  const auto& o = card->outlets();
  auto name = KTLoginView::get(o.loginName);
  auto pwd = KTLoginView::get(o.loginPwd);
  switch (share->loginStyle()) {
    case KTLoginStyleAutoLogin: {
      auto user = share->userName();
      auto password = share->passWord();
      if (name) name->setText(user ? user->utf8() : "");
      if (pwd) pwd->setText(password ? password->utf8() : "");
      card->setCurrentUserName(user);
      card->setCurrenPwd(password);
      card->postLogin();
      break;
    }
    case KTLoginStyleSavedName: {
      auto user = share->userName();
      const std::string saved = user ? user->utf8() : "";
      if (name) name->setText(isThirdPartyName(saved) ? "" : saved);
      break;
    }
    default:
      break;
  }
}

void KTAlterLoginVC::viewDidAppear(bool animated) {
  KTBaseVC::viewDidAppear(animated);
  kit::Weak<KTAlterLoginVC> weak = weakSelf<KTAlterLoginVC>();
  kit::View::animateSpring(DropDuration, 0, DropDamping, DropVelocity, 0, [weak] {
    auto self = weak.lock();
    if (auto card = self ? self->loginView() : nullptr) card->setTransform(kit::AffineTransform::identity());
  });
}

void KTAlterLoginVC::touchesBegan(const kit::TouchSet& touches, const kit::Event* event) {
  KTBaseVC::touchesBegan(touches, event);
  view()->endEditing(true);
  if (auto card = loginView()) kit::RunLoop::main().cancelPreviousPerformRequests(card.get());
}

void KTAlterLoginVC::ktLoginViewLoginSuccessLogintime(const kit::Ref<kit::String>& loginTime,
                                                      const kit::Ref<kit::String>& userName,
                                                      const kit::Ref<kit::String>& sign,
                                                      const kit::Ref<LoginResult>& loginData) {
  CXRMessage::showMessage("登录成功");
  kit::Ref<kit::String> rzStatus = loginData ? loginData->rzStatus() : nullptr;
  ShareVale::sharedInstance()->setIsRz(rzStatus);
  if (successBlock_) successBlock_(loginTime, userName, sign, rzStatus);
  if (auto* ball = CXRHelperBtnPort::shared()) {
    if (ball->isCreate()) {
      ball->show();
    } else {
      ball->create();
    }
    FailedBlock failed = failedBlock_;
    ball->setFailedBlock([failed](const kit::Id& message, const kit::Id& code) {
      if (failed) failed(kit::as<kit::String>(message), kit::as<kit::String>(code));
    });
    ball->setLoginData(loginData);
    ball->startTimer();
  }
  goBackToPreviousWindow();
}

void KTAlterLoginVC::ktLoginViewLoginFaildeMessage(const kit::Ref<kit::String>& message,
                                                   const kit::Ref<kit::String>& code) {
  if (failedBlock_) failedBlock_(message, code);
}

void KTAlterLoginVC::goBackToPreviousWindow() {
  kit::Weak<KTAlterLoginVC> weak = weakSelf<KTAlterLoginVC>();
  kit::View::animate(
      FadeDuration,
      [weak] {
        auto self = weak.lock();
        if (self && self->keyWindow()) self->keyWindow()->setBackgroundColor(kit::Color::clearColor());
      },
      [weak](bool) {
        auto self = weak.lock();
        if (!self || !self->keyWindow()) return;
        self->keyWindow()->setHidden(true);
        // Releases the window, its navigation stack and this controller.
        kit::Ref<kit::Window> window = std::move(self->keyWindow_);
        self.reset();
        window.reset();
      });
}
