// The login card's styles, field checks, registration, SMS code and saved
// accounts. See kt_login_view.h; the login chain is in kt_login_chain.cc.
#include "platform/account/kt_login_view.h"

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/format.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/navigation_controller.h"
#include "kit/ui/scene_registry.h"
#include "platform/account/cxr_message.h"
#include "platform/account/kt_forget_password_vc.h"
#include "platform/account/kt_login_api.h"
#include "platform/account/kt_show_html_vc.h"
#include "platform/base/ns_string_url_encode.h"

namespace {

// The UTF-16 length of a field's text.
long lengthOf(const kit::Ref<kit::TextField>& field) {
  return field ? static_cast<long>(kit::str(field->text())->length()) : 0;
}

kit::Ref<kit::String> textOf(const kit::Ref<kit::TextField>& field) {
  return kit::str(field ? field->text() : std::string());
}

void setText(const kit::Ref<kit::TextField>& field, std::string_view text) {
  if (field) field->setText(text);
}

}  // namespace

// ---- Styles ----------------------------------------------------------------------

void KTLoginView::setUsingStyle(long style) {
  KIT_CHECK_MAIN_THREAD();
  usingStyle_ = style;
  if (auto send = outlets_.sendCodeBtn.lock()) send->stop();
  if (style < Login || style > Registering) return;

  struct Heights {
    double loginViewH, registerH, welcomeTitleH, progressH, changeBtnH;
  };
  static constexpr Heights table[] = {
      {310, 0, 0, 0, 0}, {0, 310, 0, 0, 0}, {0, 310, 0, 0, 0}, {0, 0, 30, 85, 40}, {0, 0, 30, 85, 0}};
  const Heights& h = table[style];
  Constraints& c = constraints_;
  c.loginViewH->setConstant(h.loginViewH);
  c.registerH->setConstant(h.registerH);
  c.welcomeTitleH->setConstant(h.welcomeTitleH);
  c.progressH->setConstant(h.progressH);
  c.changeBtnH->setConstant(h.changeBtnH);

  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  auto wire = [weak](const kit::Weak<kit::Button>& outlet, void (KTLoginView::*action)()) {
    auto button = outlet.lock();
    if (!button) return;
    button->removeAllActions();
    button->addAction(kit::ControlEvent::TouchUpInside, [weak, action] {
      if (auto self = weak.lock()) ((*self).*action)();
    });
  };
  const Outlets& o = outlets_;
  switch (style) {
    case Login:
      wire(o.accuntChange, &KTLoginView::btnUpOrDown);
      wire(o.showOrHiddenBtn, &KTLoginView::btnShowOrHidden);
      dismissProgress();
      break;
    case AccountRegister:
    case PhoneRegister: {
      const bool phone = style == PhoneRegister;
      c.signCodeH->setConstant(phone ? 45 : 0);
      c.distace->setConstant(phone ? 20 : 50);
      c.accountViewH->setConstant(phone ? 0 : 30);
      c.iphoneViewH->setConstant(phone ? 30 : 0);
      if (auto state = o.state.lock()) state->setText(phone ? "手机注册" : "账号注册");
      if (auto name = o.registerName.lock()) {
        name->setPlaceholder(phone ? "请输入手机号码" : "6-12位字母或数字");
        name->setKeyboardType(phone ? kit::KeyboardType::NumberPad : kit::KeyboardType::Default);
        name->setText("");
      }
      if (auto icon = o.registerNameIconView.lock()) {
        icon->setImage(kit::imageNamed(NSStringURLEncode::getImagePath(phone ? "tol_new_phone.png" : "tol_new_user.png")));
      }
      if (phone) {
        if (auto code = o.signCode.lock()) {
          code->setKeyboardType(kit::KeyboardType::NumberPad);
          code->setText("");
        }
      }
      setText(o.registerpwd.lock(), "");
      wire(o.selectBtn, &KTLoginView::btnSelectedOrUnselected);
      dismissProgress();
      break;
    }
    case LoggingIn:
      showProgress("正在登陆");
      // Greeted by name when one is known (a registration's answer may
      // come without one), else plainly.
      if (auto title = o.tishiTitle.lock()) {
        const std::string name = kit::nameText(currentUserName_);
        title->setText(name.empty() ? std::string(WelcomeBack) : name + ", " + WelcomeBack);
      }
      break;
    case Registering:
      showProgress("正在注册");
      if (auto title = o.tishiTitle.lock()) title->setText("");
      break;
  }
  setNeedsLayout();
}

void KTLoginView::showProgress(const char* title) {
  dismissProgress();
  auto container = outlets_.progressView.lock();
  if (!container) return;
  auto dialog = KTProgressDP::make({0, 0, ProgressSize.width, ProgressSize.height});
  container->addSubview(dialog);
  dialog->showWithTitle(title);
  dp_ = dialog;
}

void KTLoginView::dismissProgress() {
  if (auto dialog = dp_.lock()) {
    dialog->dismiss();
    dialog->removeFromSuperview();
  }
  dp_.reset();
}

// ---- Field checks ----------------------------------------------------------------

bool KTLoginView::check() {
  const Outlets& o = outlets_;
  auto fail = [this](const char* message) {
    CXRMessage::showMessage(kit::str(message), std::static_pointer_cast<kit::View>(shared_from_this()));
    return false;
  };
  switch (usingStyle_) {
    case Login:
      if (lengthOf(o.loginPwd.lock()) == 0) return fail("密码不能为空");
      if (lengthOf(o.loginName.lock()) == 0) return fail("用户名不能为空");
      return true;
    case AccountRegister: {
      if (lengthOf(o.registerpwd.lock()) < 6) return fail("密码不少于6位");
      if (lengthOf(o.registerName.lock()) < 6) return fail("用户名不少于6位");
      auto agreed = o.selectBtn.lock();
      if (!agreed || !agreed->isSelected()) return fail("请确认协议");
      return true;
    }
    case PhoneRegister: {
      if (lengthOf(o.registerpwd.lock()) < 6) return fail("密码不少于6位");
      if (lengthOf(o.signCode.lock()) == 0) return fail("验证码不能为空");
      if (lengthOf(o.registerName.lock()) != 11) return fail("手机号码位数不对");
      auto agreed = o.selectBtn.lock();
      if (!agreed || !agreed->isSelected()) return fail("请确认协议");
      return true;
    }
    default:
      return true;
  }
}

// ---- The main button and registration --------------------------------------------

void KTLoginView::gotoLoginAndQuickRegister() {
  endEditing(true);
  const Outlets& o = outlets_;
  const long style = usingStyle_;
  if (style != Login && style != AccountRegister && style != PhoneRegister) return;
  if (!check()) return;
  if (style == Login) {
    currentUserName_ = textOf(o.loginName.lock());
    currenPwd_ = textOf(o.loginPwd.lock());
    postLogin();
    return;
  }
  setUsingStyle(Registering);
  currentUserName_ = textOf(o.registerName.lock());
  currenPwd_ = textOf(o.registerpwd.lock());
  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  auto success = [weak](const kit::Ref<RegisterResult>& result) {
    if (auto self = weak.lock()) self->registered(result);
  };
  auto failed = [weak, style](const kit::Ref<kit::String>& message) {
    if (auto self = weak.lock()) self->registrationFailed(message, style);
  };
  if (style == AccountRegister) {
    KTLoginAPI::registerNewWithUsername(currentUserName_, currenPwd_, success, failed);
  } else {
    KTLoginAPI::registerNewWithPhoneNumber(currentUserName_, textOf(o.signCode.lock()), currenPwd_, success, failed);
  }
}

void KTLoginView::registered(const kit::Ref<RegisterResult>& result) {
  CXRMessage::showMessage(kit::str("注册成功"), std::static_pointer_cast<kit::View>(shared_from_this()));
  // The answer's name and password where it gives readable ones; an answer
  // of its code alone, or of blanks or "<null>", leaves what the player
  // typed, which the account was made with, so the login goes out with the
  // account's own values.
  if (auto name = KTReadableText(result->userName())) currentUserName_ = name;
  if (auto password = KTReadableText(result->userPwd())) currenPwd_ = password;
  // Not cancellable: the registration's login follows whatever happens.
  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  kit::Queue::main().after(RegisterLoginDelay, [weak] {
    if (auto self = weak.lock()) self->postLogin();
  });
}

void KTLoginView::registrationFailed(const kit::Ref<kit::String>& refusal, long formStyle) {
  // Shown and handed on only when a player can read it.
  const kit::Ref<kit::String> message = KTReadableText(refusal);
  CXRMessage::showMessage(message, std::static_pointer_cast<kit::View>(shared_from_this()));
  setUsingStyle(formStyle);
  loginFailedMessage(message, kit::str("-8"));
}

// ---- SMS code --------------------------------------------------------------------

void KTLoginView::sendCode() {
  endEditing(true);
  auto card = std::static_pointer_cast<kit::View>(shared_from_this());
  if (lengthOf(outlets_.registerName.lock()) != 11) {
    CXRMessage::showMessage(kit::str("请填写正确的手机号"), card);
    return;
  }
  kit::Weak<KTLoginView> weak = weakSelf<KTLoginView>();
  KTLoginAPI::getAuthCodeWithPhoneNumber(
      textOf(outlets_.registerName.lock()),
      [weak](const kit::Ref<RegisterResult>& result) {
        auto self = weak.lock();
        if (!self) return;
        CXRMessage::showMessage(KTReadableText(result->mesage()), std::static_pointer_cast<kit::View>(self));
        auto button = self->outlets_.sendCodeBtn.lock();
        if (!button) return;
        button->setEnabled(false);
        button->setTitle(kit::formatString("剩余%d秒", CodeSeconds), kit::ControlStateNormal);
        button->didChange([](JXCountDownButton&, int second) { return kit::formatString("剩余%d秒", second); });
        button->didFinished([](JXCountDownButton& b, int) {
          b.setEnabled(true);
          return std::string("重新获取");
        });
        button->startWithSecond(CodeSeconds);
      },
      [weak](const kit::Ref<kit::String>& message) {
        auto self = weak.lock();
        if (!self) return;
        CXRMessage::showMessage(KTReadableText(message), std::static_pointer_cast<kit::View>(self));
        if (auto button = self->outlets_.sendCodeBtn.lock()) {
          button->setEnabled(true);
          button->setTitle("获取验证码", kit::ControlStateNormal);
        }
      });
}

// ---- Switching forms -------------------------------------------------------------

void KTLoginView::regist() {
  endEditing(true);
  setUsingStyle(PhoneRegister);
}

void KTLoginView::phoneRegister() {
  endEditing(true);
  setUsingStyle(PhoneRegister);
}

void KTLoginView::accountRegister() {
  endEditing(true);
  setUsingStyle(AccountRegister);
}

void KTLoginView::backLogin() {
  endEditing(true);
  setUsingStyle(Login);
}

void KTLoginView::changeBtn() {
  setUsingStyle(Login);
  stopLogin();
  kit::RunLoop::main().cancelPreviousPerformRequests(this);
}

void KTLoginView::dropHUD() {
  if (hud_) hud_->hideAnimated(true);
  hud_.reset();
}

// ---- The agreement and forgotten-password pages ----------------------------------

void KTLoginView::protocalBtnClick() {
  endEditing(true);
  pushPage<KTShowHTMLVC>();
}

void KTLoginView::forgetPwdBtnClick() {
  endEditing(true);
  pushPage<KTForgetPasswordVC>();
}

template <class Page>
void KTLoginView::pushPage() {
  KIT_CHECK_MAIN_THREAD();
  auto controller = viewController();
  kit::NavigationController* nav = controller ? controller->navigationController() : nullptr;
  if (!nav) return;
  auto scene = kit::SceneRegistry::shared().instantiate(Page::Storyboard, Page::Identifier);
  auto page = std::dynamic_pointer_cast<Page>(scene);
  if (page) nav->pushViewController(page, true);
}

// ---- Saved accounts and the small buttons ----------------------------------------

void KTLoginView::btnUpOrDown() {
  auto button = outlets_.accuntChange.lock();
  if (!button) return;
  if (button->isSelected()) {
    removeAccountList();
  } else {
    auto list = AccountTableView::make(AccountListFrame);
    list->setBackgroundColor(kit::Color::rgba(240 / 255.0, 240 / 255.0, 240 / 255.0, 1));
    list->setDelegate(weakSelf<KTLoginView>());
    addSubview(list);
    tableView_ = list;
  }
  button->setSelected(!button->isSelected());
}

void KTLoginView::removeAccountList() {
  if (auto list = tableView_.lock()) list->removeFromSuperview();
  tableView_.reset();
}

void KTLoginView::didSelectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) {
  table.deselectRowAtIndexPath(indexPath, true);
  if (auto cell = table.cellForRowAtIndexPath(indexPath)) cell->textLabel()->setTextColor(kit::Color::redColor());
  auto list = tableView_.lock();
  if (list && static_cast<size_t>(indexPath.row) < list->dataArray()->count()) {
    auto entry = kit::as<kit::Array>(list->dataArray()->objectAtIndex(static_cast<size_t>(indexPath.row)));
    if (entry && entry->count() > 0) {
      setText(outlets_.loginName.lock(), kit::nameText(entry->objectAtIndex(0)));
      setText(outlets_.loginPwd.lock(), kit::nameText(entry->objectAtIndex(entry->count() - 1)));
    }
  }
  if (auto button = outlets_.accuntChange.lock()) button->setSelected(false);
  removeAccountList();
}

void KTLoginView::btnShowOrHidden() {
  auto button = outlets_.showOrHiddenBtn.lock();
  if (!button) return;
  if (auto pwd = outlets_.loginPwd.lock()) pwd->setSecureTextEntry(button->isSelected());
  button->setSelected(!button->isSelected());
}

void KTLoginView::btnSelectedOrUnselected() {
  if (auto box = outlets_.selectBtn.lock()) box->setSelected(!box->isSelected());
}

bool KTLoginView::textFieldShouldReturn(kit::TextField& field) {
  field.resignFirstResponder();
  const Outlets& o = outlets_;
  auto is = [&field](const kit::Weak<kit::TextField>& outlet) { return outlet.lock().get() == &field; };
  auto focus = [](const kit::Weak<kit::TextField>& outlet) {
    if (auto next = outlet.lock()) next->becomeFirstResponder();
  };
  if (is(o.loginName)) {
    focus(o.loginPwd);
  } else if (is(o.registerName)) {
    if (usingStyle_ == PhoneRegister) focus(o.signCode);
    if (usingStyle_ == AccountRegister) focus(o.registerpwd);
  } else if (is(o.signCode)) {
    focus(o.registerpwd);
  }
  return true;
}

void KTLoginView::touchesBegan(const kit::TouchSet&, const kit::Event*) { endEditing(true); }
