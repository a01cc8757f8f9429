// The login card's login chain: the login, the 1.5 s pause, the real-name
// prompt, the notice, the sub-account chooser and the report of the chosen
// sub-account. See kt_login_view.h.
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/values.h"
#include "kit/ui/alert_controller.h"
#include "platform/account/cxr_message.h"
#include "platform/account/kt_login_api.h"
#include "platform/account/kt_login_view.h"
#include "platform/account/kt_notice_vc.h"
#include "platform/base/share_vale.h"

void KTLoginView::postLogin() {
  KIT_CHECK_MAIN_THREAD();
  // A login started again replaces the one on its way.
  stopLogin();
  setUsingStyle(LoggingIn);
  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  login_ = KTLoginAPI::LonginWithUsername(
      currentUserName_, currenPwd_,
      [weak](const kit::Ref<LoginResult>& result) {
        auto self = weak.lock();
        if (!self) return;
        self->login_.reset();
        auto share = ShareVale::sharedInstance();
        share->setUserName(result->userName());
        share->setPassWord(result->urserPwd());
        share->setSid(result->sid());
        share->setIsRz(result->isck());
        share->setLoginStyle(KTLoginStyleAutoLogin);
        self->loginData_ = result;
        // A delayed call on the card: change-account and a touch outside
        // the card cancel it.
        kit::RunLoop::main().performAfter(self.get(), InitGameViewSelector, result, LoginPause, [weak, result] {
          if (auto card = weak.lock()) card->initGameView(result);
        });
      },
      [weak](const kit::Ref<kit::String>& refusal, const kit::Ref<kit::String>& code) {
        auto self = weak.lock();
        if (!self) return;
        self->login_.reset();
        // Shown and handed on only when a player can read it.
        const kit::Ref<kit::String> message = KTReadableText(refusal);
        CXRMessage::showMessage(message, std::static_pointer_cast<kit::View>(self));
        self->setUsingStyle(Login);
        self->loginFailedMessage(message, code);
      });
}

void KTLoginView::stopLogin() {
  ++chain_;
  if (login_) login_->cancel();
  login_.reset();
  dropHUD();
}

void KTLoginView::initGameView(const kit::Ref<LoginResult>& result) {
  if (result && kit::describe(result->rz()) == "1") {
    setUpRealNameViewWithResponse(result);
  } else {
    goNoticeViewWithResponse(result);
  }
}

void KTLoginView::setUpRealNameViewWithResponse(const kit::Ref<LoginResult>& result) {
  // The platform's alert styles its title and message through private
  // keys; this one shows them plain.
  auto alert = kit::AlertController::make("提示", "根据国家相关规定，需要用户进行实名认证",
                                          kit::AlertControllerStyle::Alert);
  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  alert->addAction(kit::AlertAction::make("确定", kit::AlertActionStyle::Default, [weak, result](auto&) {
    auto self = weak.lock();
    if (!self) return;
    auto form = CXRRealNameView::realNameView();
    form->setTag(RealNameTag);
    form->setReponse(result);
    form->delegate = weak.lock();
    self->addSubview(form);
  }));
  if (auto controller = viewController()) controller->presentViewController(alert, true);
}

void KTLoginView::CXRRealNameView(::CXRRealNameView&, const kit::Ref<LoginResult>& response) {
  goNoticeViewWithResponse(response);
}

void KTLoginView::goNoticeViewWithResponse(const kit::Ref<LoginResult>& result) {
  // One notice step per login: the real-name form reports twice when it is
  // skipped while its check is on its way (the skip, then the check's
  // answer). A second step would put a second HUD over the first while the
  // first waits, or later stack a second notice and a second chooser.
  if (noticeChain_ == chain_) return;
  noticeChain_ = chain_;
  loginData_ = result;
  hud_ = PHProgressHUD::showHUDAddedTo(std::static_pointer_cast<kit::View>(shared_from_this()), true);
  hud_->backgroundView()->setStyle(PHProgressHUDBackgroundStyleSolidColor);
  hud_->backgroundView()->setColor(kit::Color::white(0, 0.1));
  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  const unsigned long chain = chain_;
  KTLoginAPI::GetNoticeWithSuccess(
      [weak, chain](const kit::Ref<GetNotice>& notice) {
        auto self = weak.lock();
        if (!self || self->chain_ != chain) return;
        self->dropHUD();
        self->showNotice(notice);
      },
      [weak, chain](const kit::Ref<kit::String>&, const kit::Ref<kit::String>&) {
        auto self = weak.lock();
        if (!self || self->chain_ != chain) return;
        self->dropHUD();
        self->initSubNameVC();
      });
}

// A notice with status "1" shows at every login; another shows only when
// its id differs from the last one shown. A notice without content a
// player can read (none, blanks, a number, "<null>") never shows, and its
// id is not kept.
void KTLoginView::showNotice(const kit::Ref<GetNotice>& notice) {
  auto share = ShareVale::sharedInstance();
  const bool always = kit::describe(notice->status()) == "1";
  if (!always && kit::isEqual(notice->noticeId(), share->noticeId())) {
    initSubNameVC();
    return;
  }
  const std::string content = kit::readableText(notice->content());
  if (content.empty()) {
    initSubNameVC();
    return;
  }
  share->setNoticeId(notice->noticeId());
  setHidden(true);
  auto page = KTNoticeVC::instantiate();
  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  page->noticeHiddenBlock = [weak](const kit::Ref<KTNoticeVC>& shown) {
    shown->view()->removeFromSuperview();
    shown->removeFromParentViewController();
    if (auto self = weak.lock()) self->initSubNameVC();
  };
  if (auto parent = superview()) parent->addSubview(page->view());
  if (auto text = page->textView()) text->setText(content);
  if (auto controller = viewController()) controller->addChildViewController(page);
}

void KTLoginView::initSubNameVC() {
  auto chooser = CXRSubNameVC::instantiate();
  chooser->setModalPresentationStyle(kit::ModalPresentationStyle::FullScreen);
  chooser->delegate = weakSelf<KTLoginView>();
  if (auto controller = viewController()) controller->presentViewController(chooser, true);
  if (auto form = viewWithTag(RealNameTag)) form->removeFromSuperview();
}

void KTLoginView::slideOut(std::function<void()> then) {
  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  kit::View::animateSpring(
      0.6, 0, 0.75, 0, kit::AnimationOptionCurveEaseIn,
      [weak] {
        if (auto self = weak.lock()) self->setTransform(kit::AffineTransform::makeTranslation(0, SlideOut));
      },
      [then = std::move(then)](bool) { then(); });
}

void KTLoginView::didSelectedCXRSubNameVCTableViewWithResponse(const kit::Ref<CXRSubNameModel>& model) {
  if (!model || !model->hasUserName()) {
    // Nobody to log in as: the player chooses again, told why.
    initSubNameVC();
    auto controller = viewController();
    if (auto chooser = controller ? controller->presentedViewController() : nullptr) {
      CXRMessage::showMessage(kit::str(CXRSubNameVC::NoUserNameMessage), chooser->view());
    }
    return;
  }
  ShareVale::sharedInstance()->setSubUserName(model->username());
  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  slideOut([weak, model] {
    auto self = weak.lock();
    if (!self) return;
    if (auto delegate = self->delegate.lock()) {
      delegate->ktLoginViewLoginSuccessLogintime(model->login_time(), model->username(), model->sign(),
                                                 self->loginData_);
    }
    self->dismissProgress();
  });
}

void KTLoginView::goToGameWithResponse(const kit::Ref<LoginResult>& result) {
  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  slideOut([weak, result] {
    auto self = weak.lock();
    if (!self) return;
    self->dropHUD();
    if (auto delegate = self->delegate.lock()) {
      delegate->ktLoginViewLoginSuccessLogintime(result->sinceTime(), result->userName(), result->sign(), result);
    }
    self->dismissProgress();
  });
}

void KTLoginView::CXRSubNameVCLoginOut() {
  setHidden(false);
  setUsingStyle(Login);
  ShareVale::sharedInstance()->setLoginStyle(KTLoginStyleEmptyForm);
}

void KTLoginView::loginFailedMessage(const kit::Ref<kit::String>& message, const kit::Ref<kit::String>& code) {
  if (auto d = delegate.lock()) d->ktLoginViewLoginFaildeMessage(message, code);
}

kit::Ref<kit::ViewController> KTLoginView::viewController() const {
  for (auto view = superview(); view; view = view->superview()) {
    if (auto controller = std::dynamic_pointer_cast<kit::ViewController>(view->nextResponder())) return controller;
  }
  return nullptr;
}
